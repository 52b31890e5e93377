#pragma once

#include "pipeline/ProjectStore.h"
#include "support/Desktop.h"
#include "support/FilePicker.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace vl::screens {

// What every screen model works with: the store, and the platform pieces a screen may
// need (file dialogs, the file manager and the browser). The shell hands one to the QML
// as `screenServices`; tests build one over their own store and fakes.
class ScreenServices final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The shell hands the screens their services.")
    Q_PROPERTY(vl::ProjectStore* store READ store CONSTANT)

public:
    ScreenServices(ProjectStore& store, support::FilePicker& filePicker, support::Desktop& desktop,
                   QObject* parent = nullptr)
        : QObject(parent), store_(&store), filePicker_(filePicker), desktop_(desktop)
    {
    }

    // Null once the store is gone (at teardown); models check before acting.
    ProjectStore* store() const { return store_.data(); }
    support::FilePicker& filePicker() const { return filePicker_; }
    support::Desktop& desktop() const { return desktop_; }

private:
    QPointer<ProjectStore> store_;
    support::FilePicker& filePicker_;
    support::Desktop& desktop_;
};

} // namespace vl::screens
