#pragma once

#include "installer/view/InstallerController.h"

#include <QUrl>

#include <memory>

class QQmlApplicationEngine;
class QQuickWindow;

namespace vl::support {
class QmlFilePicker;
}

namespace vl::installer {

// Puts the installer window on screen over a model: the controller as the window's
// required property, the folder dialog in the window's engine. Tests load the same way.
class InstallerShell {
public:
    InstallerShell(InstallerModel& model, support::Desktop& desktop, InstallerController::Quit quit);
    ~InstallerShell();

    static QUrl mainWindowUrl();
    QQuickWindow* load(QQmlApplicationEngine& engine);

    InstallerController& controller() { return controller_; }
    // Replaces the folder dialog (tests answer for the user).
    void setFilePicker(support::FilePicker* picker) { controller_.setFilePicker(picker); }

private:
    InstallerController controller_;
    std::unique_ptr<support::QmlFilePicker> picker_;
};

} // namespace vl::installer
