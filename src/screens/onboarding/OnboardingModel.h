#pragma once

#include "cloud/SecretStore.h"
#include "model/Settings.h"
#include "pipeline/ProjectStore.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vl::screens {

// One showing of the onboarding sheet: its page machine (three pages, "Back" and
// "Next" or "Start Creating"), the export folder the installer recorded, and the key
// flag after the key sheet closes. `start()` begins each showing afresh.
class OnboardingModel final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application builds the onboarding model.")
    Q_PROPERTY(int page READ page NOTIFY pageChanged)
    Q_PROPERTY(QString stepText READ stepText NOTIFY pageChanged)
    Q_PROPERTY(bool showsBack READ showsBack NOTIFY pageChanged)
    Q_PROPERTY(bool isLastPage READ isLastPage NOTIFY pageChanged)
    Q_PROPERTY(QString nextText READ nextText NOTIFY pageChanged)
    Q_PROPERTY(bool hasKey READ hasKey NOTIFY hasKeyChanged)
    Q_PROPERTY(QString keyPageKicker READ keyPageKicker CONSTANT)

public:
    static constexpr int kPageCount = 3;
    static constexpr const char* kExportDestinationKey = "defaultExportDestination";

    // `shared` is the installer's suite; none reads the standard defaults instead.
    OnboardingModel(ProjectStore* store, SecretStore* secrets, Settings* defaults, Settings* shared,
                    QObject* parent = nullptr);

    int page() const { return page_; }
    QString stepText() const;
    bool showsBack() const { return page_ >= 1; }
    bool isLastPage() const { return page_ >= 2; }
    QString nextText() const;
    bool hasKey() const;
    QString keyPageKicker() const;

    // A new showing: the first page, and the installer's export folder copied in.
    Q_INVOKABLE void start();
    Q_INVOKABLE void next();
    // The forward button: the next page, or on the last one `finished`.
    Q_INVOKABLE void advance();
    Q_INVOKABLE void back();
    // The key sheet went away: the flag follows the keyring.
    Q_INVOKABLE void keySheetClosed();

    // An open project without an export folder takes the one the installer recorded,
    // and is saved at once; a failed save says nothing (the edit stays in memory).
    void applySharedExportDestination();

signals:
    void pageChanged();
    // "Start Creating" on the last page: the guide is done.
    void finished();
    void hasKeyChanged();

private:
    void setPage(int page);

    QPointer<ProjectStore> store_;
    SecretStore* secrets_;
    Settings* defaults_;
    Settings* shared_;
    int page_ = 0;
};

} // namespace vl::screens
