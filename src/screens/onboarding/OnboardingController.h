#pragma once

#include "model/Settings.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace vl::screens {

// Whether the first-run guide is shown, and the record that it was finished. The guide
// shows while the finished version stored under "sharewareOnboardingVersion" is below
// the current one; the settings window can ask for it again.
class OnboardingController final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application builds the onboarding controller.")
    Q_PROPERTY(bool isPresented READ isPresented WRITE setPresented NOTIFY isPresentedChanged)

public:
    static constexpr const char* kVersionKey = "sharewareOnboardingVersion";
    static constexpr long long kCurrentVersion = 2;

    explicit OnboardingController(Settings& defaults, QObject* parent = nullptr);

    bool isPresented() const { return isPresented_; }
    void setPresented(bool value);

    // Records the finished version first, then hides the guide.
    Q_INVOKABLE void complete();

signals:
    void isPresentedChanged();

private:
    Settings& defaults_;
    bool isPresented_ = false;
};

} // namespace vl::screens
