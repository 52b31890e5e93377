#include "installer/view/InstallerShell.h"

#include "support/FilePicker.h"

#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>

namespace vl::installer {

InstallerShell::InstallerShell(InstallerModel& model, support::Desktop& desktop, InstallerController::Quit quit)
    : controller_(model, desktop, std::move(quit))
{
}

InstallerShell::~InstallerShell() = default;

QUrl InstallerShell::mainWindowUrl() { return QUrl(QStringLiteral("qrc:/Verseloom/Installer/Main.qml")); }

QQuickWindow* InstallerShell::load(QQmlApplicationEngine& engine)
{
    // Fusion follows the window's palette, so scroll bars and dialogs can be dark; the style
    // is fixed once per process, before the first QML that uses the controls.
    static const bool styled = [] {
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        return true;
    }();
    Q_UNUSED(styled);
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.setInitialProperties({{QStringLiteral("controller"), QVariant::fromValue(&controller_)}});

    engine.load(mainWindowUrl());
    const auto roots = engine.rootObjects();
    auto* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
    if (window && !picker_) {
        picker_ = std::make_unique<support::QmlFilePicker>(engine, window);
        controller_.setFilePicker(picker_.get());
    }
    return window;
}

} // namespace vl::installer
