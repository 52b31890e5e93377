#include "InstallerTestSupport.h"

#include "design/Fonts.h"
#include "fakes/FakeDesktop.h"
#include "installer/view/InstallerController.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include <memory>
#include <vector>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_InstallerPlugin)

namespace {

using namespace vl::installer;

// One installer per test: a sandbox, its model and the controller the view is given.
struct Session {
    test::Sandbox box;
    vl::test::FakeDesktop desktop;
    vl::test::FakeFilePicker picker;
    std::unique_ptr<InstallerModel> model;
    std::unique_ptr<InstallerController> controller;
};

class Harness : public QObject {
    Q_OBJECT
public:
    // A controller over a fresh model; with `whisper`, a Whisper command line waits in the
    // sandbox's home folder for the detection to find.
    Q_INVOKABLE QObject* newController(bool whisper)
    {
        auto session = std::make_unique<Session>();
        session->box.makePayload();
        if (whisper)
            test::writeScript(session->box.home / ".local/bin/whisper", "#!/bin/sh\n");
        session->model = std::make_unique<InstallerModel>(session->box.context);
        session->controller = std::make_unique<InstallerController>(*session->model, session->desktop, [] {});
        session->controller->setFilePicker(&session->picker);
        QObject* controller = session->controller.get();
        QQmlEngine::setObjectOwnership(controller, QQmlEngine::CppOwnership);
        QQmlEngine::setObjectOwnership(session->model.get(), QQmlEngine::CppOwnership);
        sessions_.push_back(std::move(session));
        return controller;
    }

private:
    std::vector<std::unique_ptr<Session>> sessions_;
};

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        vl::design::registerBundledFonts();
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("harness"), &harness_);
    }

private:
    Harness harness_;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(installer, Setup)

#include "main.moc"
