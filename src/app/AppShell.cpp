#include "app/AppShell.h"

#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>

namespace vl::app {

AppShell::AppShell(ProjectStore& store)
    : store_(store)
    , workspace_(&store)
    , menuCommands_(&store)
    , chunks_(&store)
    , characters_(&store)
    , transcript_(&store)
    , elements_(&store)
{
}

QUrl AppShell::mainWindowUrl()
{
    return QUrl(QStringLiteral("qrc:/Verseloom/App/Main.qml"));
}

QQuickWindow* AppShell::load(QQmlApplicationEngine& engine)
{
    // Fusion follows the window's palette, so menus and dialogs can be made dark. The
    // style is fixed once per process, before the first QML that uses the controls.
    static const bool styled = [] {
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
        return true;
    }();
    Q_UNUSED(styled);
    engine.addImportPath(QStringLiteral("qrc:/"));

    QQmlContext* context = engine.rootContext();
    context->setContextProperty(QStringLiteral("store"), &store_);
    context->setContextProperty(QStringLiteral("workspace"), &workspace_);
    context->setContextProperty(QStringLiteral("menuCommands"), &menuCommands_);
    context->setContextProperty(QStringLiteral("projectChunks"), &chunks_);
    context->setContextProperty(QStringLiteral("projectCharacters"), &characters_);
    context->setContextProperty(QStringLiteral("projectTranscript"), &transcript_);
    context->setContextProperty(QStringLiteral("projectElements"), &elements_);
    // Dialogs are made in this engine; they sit over the window once it exists.
    filePicker_ = std::make_unique<support::QmlFilePicker>(engine);
    screenServices_ = std::make_unique<screens::ScreenServices>(store_, *filePicker_, support::systemDesktop());
    context->setContextProperty(QStringLiteral("screenServices"), screenServices_.get());

    engine.load(mainWindowUrl());
    const auto roots = engine.rootObjects();
    QQuickWindow* window = roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
    filePicker_->setParentWindow(window);
    return window;
}

} // namespace vl::app
