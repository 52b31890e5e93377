// The Verseloom program: sets up the application, builds the store and opens the
// main window. Everything it shows lives in the libraries.

#include "app/AppShell.h"
#include "app/DialogTour.h"
#include "app/PolishWatch.h"
#include "app/ProgramContext.h"
#include "app/SessionEnd.h"
#include "app/SingleInstance.h"
#include "app/StartProblem.h"
#include "design/Fonts.h"
#include "pipeline/PipelineServices.h"
#include "pipeline/ProjectStore.h"
#include "pipeline/QtSettings.h"
#include "screens/frames/PictureCopies.h"
#include "model/Log.h"

#include <QGuiApplication>
#include <QMessageLogContext>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QStandardPaths>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_AppPlugin)

#if defined(__SANITIZE_ADDRESS__)
// Sanitized (debug) builds: Chromium inside Qt WebEngine frees some objects through a
// base of another size. That is its own code, and it would stop the program whenever a
// sheet with the vendor's page closes.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}
#endif

namespace {

// How long a second start waits for the running copy to answer: it may itself be
// starting up on a loaded machine.
constexpr int kHandOnWaitMs = 60000;

// Smoke runs (VL_QUIT_AFTER_FIRST_FRAME set) quit once the window has drawn and every
// dialog it declares has been opened and cancelled, and fail when the QML warned about
// anything on the way (a module missing at run time among them).
int warningsSeen = 0;
QtMessageHandler previousHandler = nullptr;

void countingHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    const QByteArrayView category(context.category ? context.category : "");
    // A web page's own console (the vendor's page in the key sheet, or Chromium's page
    // when offline) logs as "js" too, under the page's address: not ours to judge.
    const QString file = QString::fromUtf8(context.file ? context.file : "");
    const bool fromWebPage = category == "js" && file.contains(QLatin1String("://")) &&
                             !file.startsWith(QLatin1String("qrc:")) && !file.startsWith(QLatin1String("file:"));
    const bool fromQml = (category == "qml" || (category == "js" && !fromWebPage) ||
                          message.contains(QLatin1String(".qml:")) || message.contains(QLatin1String("is not installed")) ||
                          message.contains(QLatin1String("Binding loop detected")));
    if (fromQml && type != QtDebugMsg && type != QtInfoMsg)
        ++warningsSeen;
    previousHandler(type, context, message);
}

// A start that cannot go on (no projects folder, a running copy that does not answer)
// says why in a window of its own, and stops once it is closed.
int showStartProblem(const QString& message)
{
    std::fprintf(stderr, "Verseloom cannot start: %s\n", message.toLocal8Bit().constData());
    QQmlEngine engine;
    const std::unique_ptr<QQuickWindow> window = vl::app::makeStartProblemWindow(engine, message);
    if (!window)
        return 1;
    window->show();
    QGuiApplication::exec();
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    // Qt Multimedia's default backend cannot play H.264 here.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "ffmpeg");
    const bool smokeRun = qEnvironmentVariableIsSet("VL_QUIT_AFTER_FIRST_FRAME");
    if (smokeRun)
        previousHandler = qInstallMessageHandler(countingHandler);

    // The key sheet's web view needs its engine set up before the application exists.
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("Verseloom"));
    QGuiApplication::setOrganizationName(QStringLiteral("pro.quillmarsh.verseloom"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Verseloom"));

    // One copy per user: a second start hands its arguments to the running one, which
    // comes forward, and goes before it opens any project.
    vl::app::SingleInstance instance(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
    switch (instance.start(QCoreApplication::arguments().mid(1), kHandOnWaitMs)) {
    case vl::app::SingleInstance::Role::first:
        break;
    case vl::app::SingleInstance::Role::handedOn:
        return 0;
    case vl::app::SingleInstance::Role::noAnswer:
        return showStartProblem(vl::app::SingleInstance::noAnswerMessage());
    case vl::app::SingleInstance::Role::unguarded:
        vl::logLine("Instance", "the runtime folder cannot hold the instance lock or its socket; running without it");
        break;
    }

    vl::design::registerBundledFonts();
    // Reduced copies of large pictures, so a card does not decode a huge one each time.
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (!cache.isEmpty())
        vl::screens::usePictureCopies(std::make_shared<vl::screens::PictureCopies>(
            std::filesystem::path(cache.toStdString()) / "Verseloom" / "pictures"));

    vl::QtSettings settings(QGuiApplication::organizationName(), QGuiApplication::applicationName());
    vl::StoreContext context;
    try {
        context = vl::app::programStoreContext(settings);
    } catch (const std::exception& e) {
        return showStartProblem(QString::fromUtf8(e.what()));
    }

    vl::ProjectStore store(std::nullopt, vl::PipelineServices::standard(), context);
    vl::app::SessionEnd sessionEnd(store);

    // The shell outlives the engine: bindings must never see its objects gone.
    // The suite the installer writes: subscriber e-mail and the default export folder.
    vl::QtSettings sharedSuite(QStringLiteral("pro.quillmarsh.verseloom"), QStringLiteral("shared"));
    vl::app::ShellContext shellContext;
    shellContext.sharedSuite = &sharedSuite;
    vl::app::AppShell shell(store, shellContext);
    QQmlApplicationEngine engine;
    QQuickWindow* window = shell.load(engine);
    if (window == nullptr)
        return 1;
    // The smoke run opens the window a start shows when it cannot go on, too.
    std::unique_ptr<QQuickWindow> startProblem;
    if (smokeRun)
        startProblem = vl::app::makeStartProblemWindow(engine, vl::app::SingleInstance::noAnswerMessage());
    QObject::connect(&instance, &vl::app::SingleInstance::activationRequested, window,
                     [window](const QStringList& arguments) {
                         vl::logLine("Instance", "a second start came here (" + std::to_string(arguments.size())
                                                     + " arguments)");
                         window->show();
                         window->raise();
                         window->requestActivate();
                     });

    // Each window the start shows reaches its first frame with every item laid out at
    // most this often: more means some item lays itself out again and again. Windows
    // opened later (the dialog tour) are left out: data they fetch as they open (the
    // engine, the key) may land before their first frame on a busy machine, and every
    // landing lays the page out once more, rightly.
    constexpr int polishLimit = 4;
    std::vector<std::unique_ptr<vl::app::PolishWatch>> polishWatches;
    if (smokeRun) {
        for (QWindow* each : QGuiApplication::topLevelWindows())
            if (auto* quick = qobject_cast<QQuickWindow*>(each); quick && quick->isVisible())
                polishWatches.push_back(std::make_unique<vl::app::PolishWatch>(quick));
        // The start is shown once every window it opens has drawn (the first-run guide
        // with the main window) and the program answers again: a timer due 100 ms
        // later runs only when no frame keeps the thread busy. A benchmark times it.
        auto unshown = std::make_shared<int>(0);
        for (const auto& watch : polishWatches) {
            ++*unshown;
            QObject::connect(watch->window(), &QQuickWindow::frameSwapped, &app, [unshown] {
                if (--*unshown == 0)
                    QTimer::singleShot(100, [] {
                        std::printf("first frame, answering 100 ms later\n");
                        std::fflush(stdout);
                    });
            }, Qt::SingleShotConnection);
        }
        QObject::connect(window, &QQuickWindow::frameSwapped, &app, [window, &polishWatches, &startProblem] {
            // Let queued work of the first frame finish before judging it; say which
            // windows are up, so a test can tell what a start showed.
            QTimer::singleShot(200, window, [window, &polishWatches, &startProblem] {
                for (QWindow* shown : QGuiApplication::topLevelWindows())
                    if (shown->isVisible() && !shown->objectName().isEmpty())
                        std::printf("shown: %s\n", shown->objectName().toUtf8().constData());
                std::fflush(stdout);
                vl::app::tourDialogs(window, [&polishWatches](const QStringList& visited, const QStringList& problems) {
                    for (const QString& name : visited)
                        std::fprintf(stderr, "Smoke run: opened and cancelled %s\n", qPrintable(name));
                    QStringList found = problems;
                    for (const auto& watch : polishWatches)
                        for (const QString& item : watch->itemsPolishedMoreThan(polishLimit))
                            found << item + QStringLiteral(" before its window's first frame");
                    for (const QString& problem : found)
                        std::fprintf(stderr, "Smoke run: %s\n", qPrintable(problem));
                    // Let queued work of the last dialog finish before judging the run.
                    QTimer::singleShot(200, [failed = !found.isEmpty()] {
                        QCoreApplication::exit(failed ? 4 : warningsSeen == 0 ? 0 : 3);
                    });
                }, {startProblem.get()});
            });
        }, Qt::SingleShotConnection);
    }
    return app.exec();
}
