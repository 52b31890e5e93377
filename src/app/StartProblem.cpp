#include "app/StartProblem.h"

#include "model/Log.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>

namespace vl::app {

std::unique_ptr<QQuickWindow> makeStartProblemWindow(QQmlEngine& engine, const QString& message)
{
    engine.addImportPath(QStringLiteral("qrc:/"));
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Verseloom/App/StartProblemWindow.qml")));
    std::unique_ptr<QObject> object(component.createWithInitialProperties({{QStringLiteral("message"), message}}));
    if (!object) {
        logLine("Start", "cannot show why the start stopped: " + component.errorString().toStdString());
        return nullptr;
    }
    std::unique_ptr<QQuickWindow> window(qobject_cast<QQuickWindow*>(object.get()));
    if (window)
        object.release();
    return window;
}

} // namespace vl::app
