// Application benchmark: how fast the window answers. The real program's first frame
// (fresh profile, offscreen, its sample project) against a bare Qt Quick window with
// the same fonts and design module, each a process of its own started in the same
// run; then stage switches in the main window over a 200-chunk project with frames,
// against one frame of a 60 Hz display. Prints "BENCH app.<name> <value> <unit>" lines.
//
// `bench_app bare` is the reference window itself: it prints "first frame" and quits.

#include "BenchReport.h"
#include "app/AppShell.h"
#include "design/Fonts.h"
#include "model/Files.h"
#include "model/Settings.h"
#include "pipeline/PipelineServices.h"
#include "pipeline/ProjectStore.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_AppPlugin)

using namespace vl;
namespace fs = std::filesystem;

namespace {

constexpr double frameMs = 1000.0 / 60.0;
constexpr int runs = 5;
constexpr double answerDelay = 0.1; // s: see firstFrameSeconds()

// The reference: a window with the fonts and the design module's backdrop and text.
int bareWindow(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    design::registerBundledFonts();
    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.loadData(R"qml(
        import QtQuick
        import Verseloom.Design
        Window {
            width: 1200; height: 800; visible: true; color: Theme.night
            Backdrop { anchors.fill: parent }
            Column {
                x: 18; y: 18; spacing: 2
                Text { text: "VERSELOOM"; font.family: "Anton"; font.pixelSize: 19; color: Theme.coral }
                Text { text: "Bare window"; font.family: "Permanent Marker"; font.pixelSize: 13; color: Theme.cream }
            }
        }
    )qml");
    if (engine.rootObjects().isEmpty())
        return 1;
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    QObject::connect(window, &QQuickWindow::frameSwapped, &app, [] {
        QTimer::singleShot(100, [] {
            std::printf("first frame, answering 100 ms later\n");
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    }, Qt::SingleShotConnection);
    return app.exec();
}

// Seconds from starting `program` until its first frame is up and it answers again
// (it says so from a timer due 100 ms after that frame, which runs late while a long
// frame keeps the thread busy); each start on a fresh profile of its own. Negative
// when it never says so.
double firstFrameSeconds(const QString& program, const QStringList& arguments)
{
    files::TemporaryDirectory home("bench-app-home");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"data", "config", "runtime"}) {
        fs::create_directories(home.path() / name);
        fs::permissions(home.path() / name, fs::perms::owner_all);
    }
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_DATA_HOME", QString::fromStdString((home.path() / "data").string()));
    env.insert("XDG_CONFIG_HOME", QString::fromStdString((home.path() / "config").string()));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString((home.path() / "runtime").string()));
    env.insert("VL_QUIT_AFTER_FIRST_FRAME", "1");
    env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    process.start(program, arguments);
    double seconds = -1;
    QByteArray seen;
    while (seconds < 0 && process.waitForReadyRead(120000)) {
        seen += process.readAllStandardOutput();
        if (seen.contains("first frame"))
            seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9 - answerDelay;
    }
    process.kill();
    process.waitForFinished(30000);
    return seconds;
}

// A project of `chunks` chunks, each with a frame picture of a generated frame's shape.
Project framedProject(const fs::path& folder, int chunks)
{
    QImage picture(720, 1280, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb((x * 3 + y) % 256, (y / 5) % 256, (x ^ y) % 256));
    Project p = ProjectStore::defaultNewProject();
    p.title = "Benchmark Song";
    p.artist = "Bench";
    for (int i = 0; i < chunks; ++i) {
        const fs::path file = folder / ("frame-" + std::to_string(i) + ".png");
        if (i < 8)
            picture.save(QString::fromStdString(file.string()));
        else
            fs::copy_file(folder / ("frame-" + std::to_string(i % 8) + ".png"), file);
        StoryboardChunk c;
        c.index = i;
        c.chunkNumber = i + 1;
        c.start = i * 3.0;
        c.end = c.start + 3.0;
        c.lyricExcerpt = "line " + std::to_string(i + 1) + " of the benchmark song";
        c.renderedText = "LINE " + std::to_string(i + 1);
        GeneratedFrame f;
        f.localPath = file.string();
        c.frame = f;
        p.chunks.push_back(c);
        TranscriptSegment segment;
        segment.text = c.lyricExcerpt;
        segment.start = c.start;
        segment.end = c.end;
        p.transcript.push_back(segment);
    }
    return p;
}

// Waits for the window's next frame; its time in ms, or -1 after the ceiling.
double msToNextFrame(QQuickWindow* window)
{
    bool swapped = false;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&swapped] { swapped = true; }, Qt::SingleShotConnection);
    window->update();
    if (!QTest::qWaitFor([&] { return swapped; }, 60000))
        return -1;
    return static_cast<double>(clock.nsecsElapsed()) * 1e-6;
}

void stageSwitches(bench::Report& report)
{
    files::TemporaryDirectory folder("bench-app");
    MemorySettings settings;
    settings.setInteger("sharewareOnboardingVersion", 2); // past the first-run guide
    StoreContext context;
    context.settings = &settings;
    context.projectsRoot = folder.path() / "projects";
    context.loadKey = [] { return std::optional<std::string>(); };
    fs::create_directories(folder.path() / "frames");
    ProjectStore store(framedProject(folder.path() / "frames", 200), PipelineServices{}, context);
    app::AppShell shell(store);
    QQmlApplicationEngine engine;
    QQuickWindow* window = shell.load(engine);
    if (!window || !QTest::qWaitForWindowExposed(window)) {
        report.missing("stage_switch_vs_frame", "no main window");
        return;
    }
    msToNextFrame(window);
    // Screens built ahead: wait until every one is (when the workspace builds them so).
    const auto screenSlots = window->findChildren<QQuickItem*>("screenSlot");
    const bool allBuilt = QTest::qWaitFor([&] {
        int built = 0;
        for (QQuickItem* slot : screenSlots)
            built += slot->property("item").value<QObject*>() ? 1 : 0;
        return built >= static_cast<int>(kAllPipelineStages.size());
    }, 120000);
    if (!screenSlots.isEmpty() && !allBuilt)
        std::printf("# not every screen was built ahead\n");
    QTest::qWait(500);

    double slowest = 0;
    for (PipelineStage stage : kAllPipelineStages) {
        std::vector<double> times;
        for (int r = 0; r < runs; ++r) {
            // From a stage of the other end of the pipeline, settled.
            store.setSelectedStage(stage == PipelineStage::intake ? PipelineStage::exportVideo : PipelineStage::intake);
            msToNextFrame(window);
            QTest::qWait(50);
            QElapsedTimer clock;
            clock.start();
            store.setSelectedStage(stage);
            const double shown = msToNextFrame(window);
            times.push_back(shown < 0 ? -1 : static_cast<double>(clock.nsecsElapsed()) * 1e-6);
        }
        // A switch that never showed a frame makes the median -1, which the report refuses.
        const double ms = bench::medianOf(times);
        std::string name(title(stage));
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
        report.figure("stage_switch_ms." + name, ms, "ms");
        slowest = slowest < 0 || ms < 0 ? -1 : std::max(slowest, ms);
    }
    report.figure("stage_switch_vs_frame", slowest < 0 ? -1 : slowest / frameMs, "ratio");
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "bare")
        return bareWindow(argc, argv);

    // The real program and the bare window, alternating, so both see the same load.
    const QString self = QString::fromLocal8Bit(argv[0]);
    std::vector<double> program, bare;
    for (int r = 0; r < runs; ++r) {
        program.push_back(firstFrameSeconds(QStringLiteral(VL_APP_BINARY), {}));
        bare.push_back(firstFrameSeconds(self, {QStringLiteral("bare")}));
    }
    bench::Report report("app");
    // A start that never showed its first frame makes its median -1, which the report refuses.
    const double programS = bench::medianOf(program), bareS = bench::medianOf(bare);
    report.figure("first_frame_s", programS, "s");
    report.figure("bare_first_frame_s", bareS, "s");
    if (programS > 0 && bareS > 0)
        report.figure("first_frame_vs_bare", programS / bareS, "ratio");

    QtWebEngineQuick::initialize();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    design::registerBundledFonts();
    return report.run([&] { stageSwitches(report); });
}
