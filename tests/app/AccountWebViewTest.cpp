#include "fakes/WindowHarness.h"
#include "pipeline/StoreHarness.h"

#include <QQmlComponent>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtQml/qqmlextensionplugin.h>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using namespace vl;

namespace {

// The vendor's page in a window of its own, as the key sheet holds it.
const char* const kAccountPage = R"qml(
    import QtQuick
    import Verseloom.Screens

    Window {
        width: 640
        height: 480
        visible: true
        property alias view: view
        FalAccountWebView {
            id: view
            objectName: "accountWebView"
            anchors.fill: parent
        }
    }
)qml";

} // namespace

// A server that takes the connection and never answers must not keep the page loading:
// the view stops at its deadline, as after any failed load.
TEST(AccountWebView, APageThatNeverAnswersIsStoppedAtTheDeadline)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost));
    std::vector<std::unique_ptr<QTcpSocket>> held; // accepted, read, never answered
    QObject::connect(&silent, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = silent.nextPendingConnection())
            held.emplace_back(socket);
    });

    test::WindowHarness w;
    w.load([](QQmlApplicationEngine& e) {
        e.addImportPath(QStringLiteral("qrc:/"));
        e.loadData(kAccountPage);
        const auto roots = e.rootObjects();
        return roots.isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(roots.constFirst());
    });
    ASSERT_NE(w.window, nullptr) << w.warnings.join('\n').toStdString();
    QObject* view = w.object("accountWebView");
    ASSERT_NE(view, nullptr);
    // A deadline long enough for the browser to start however busy the machine is; once
    // the server holds the request, a short one, which starts the wait over.
    view->setProperty("loadTimeLimit", 120000);
    view->setProperty("url", QUrl(QStringLiteral("http://127.0.0.1:%1/keys").arg(silent.serverPort())));

    ASSERT_TRUE(vl::testing::waitUntil([&] { return view->property("loading").toBool(); }, 60000))
        << "the page never started loading";
    ASSERT_TRUE(vl::testing::waitUntil([&] { return !held.empty(); }, 60000)) << "the view never reached the server";
    ASSERT_TRUE(view->property("loading").toBool()) << "a page that never answers cannot have loaded";
    view->setProperty("loadTimeLimit", 500);
    EXPECT_TRUE(vl::testing::waitUntil([&] { return !view->property("loading").toBool(); }, 60000))
        << "the page kept loading past its deadline";
    w.unload();
}
