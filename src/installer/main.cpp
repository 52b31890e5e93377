// The Verseloom installer: sets up the process, the model over this user's machine and
// the window. Everything it shows lives in the libraries.

#include "cloud/HttpClient.h"
#include "design/Fonts.h"
#include "installer/AppCopy.h"
#include "installer/InstallerModel.h"
#include "installer/view/InstallerShell.h"
#include "pipeline/QtSettings.h"
#include "support/Desktop.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QGuiApplication>
#include <QMessageLogContext>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QSettings>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <filesystem>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_InstallerPlugin)

namespace {

// Smoke runs (VL_QUIT_AFTER_FIRST_FRAME set) quit once the window has drawn and fail
// when the QML warned about anything on the way.
int warningsSeen = 0;
QtMessageHandler previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArrayView category(context.category ? context.category : "");
    const bool fromQml = category == "qml" || category == "js" || message.contains(QLatin1String(".qml:"));
    if (fromQml && type != QtDebugMsg && type != QtInfoMsg)
        ++warningsSeen;
    previousHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv)
{
    const bool smokeRun = qEnvironmentVariableIsSet("VL_QUIT_AFTER_FIRST_FRAME");
    if (smokeRun)
        previousHandler = qInstallMessageHandler(countingHandler);

    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Verseloom Installer"));
    QGuiApplication::setOrganizationName(QStringLiteral("pro.quillmarsh.verseloom"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Install Verseloom"));

    // Where Verseloom goes: /opt, or a folder of the user's own when pkexec is not at hand.
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption destinationOption(
        QStringLiteral("destination"), QStringLiteral("Install Verseloom into <folder>/verseloom instead of /opt."),
        QStringLiteral("folder"));
    parser.addOption(destinationOption);
    parser.process(app);

    vl::design::registerBundledFonts();

    // The suite the application reads: subscriber name and e-mail, default export folder.
    const QString organisation = QStringLiteral("pro.quillmarsh.verseloom");
    vl::QtSettings sharedSuite(organisation, QStringLiteral("shared"));
    auto context = vl::installer::InstallerContext::forThisUser(QCoreApplication::applicationDirPath().toStdString());
    context.http = &vl::sharedHttpClient();
    context.sharedSuite = &sharedSuite;
    context.sharedSuiteFile = QSettings(organisation, QStringLiteral("shared")).fileName().toStdString();
    context.ownFolders.emplace_back(VL_SOURCE_DIR);
    if (parser.isSet(destinationOption)) {
        try {
            context.destination = vl::installer::destinationFromArgument(
                parser.value(destinationOption).toStdString(), std::filesystem::current_path(),
                qEnvironmentVariable("HOME").toStdString());
            // Said now, on the terminal the user typed into, rather than at the end of the run.
            if (const auto payload = context.payloadFolder / vl::installer::kAppFolderName;
                std::filesystem::is_directory(payload))
                vl::installer::checkInstallTarget(payload, context.destination, context.ownFolders,
                                                  context.legacyDestination);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "verseloom-installer: %s\n", e.what());
            return 2;
        }
    }

    vl::installer::InstallerModel model(context);
    // The shell outlives the engine: bindings must never see its objects gone.
    vl::installer::InstallerShell shell(model, vl::support::systemDesktop(), [] { QCoreApplication::quit(); });
    QQmlApplicationEngine engine;
    QQuickWindow* window = shell.load(engine);
    if (window == nullptr)
        return 1;

    if (smokeRun) {
        QObject::connect(window, &QQuickWindow::frameSwapped, &app, [] {
            QTimer::singleShot(200, [] { QCoreApplication::exit(warningsSeen == 0 ? 0 : 3); });
        }, Qt::SingleShotConnection);
    }
    return app.exec();
}
