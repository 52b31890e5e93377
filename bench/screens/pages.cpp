// The frames and preview pages in the real main window, offscreen:
// - frames_paint_200_vs_20: the first frame of the frames page with 200 framed cards
//   over the same with 20 (cards out of view are not built, so this stays near 1);
// - frames_update_vs_build: one chunk's new frame through the page's models (the
//   chunk rows and the page model) over building those models for 200 chunks, and how
//   many rows that signalled (one);
// - preview_switch_vs_open: 45 clips made by the store's own motion step, each
//   thumbnail in turn: the median time from the tap to the clip's first picture on the
//   page over a bare QMediaPlayer opening the same clip.
#include "ScreensBench.h"

#include "app/AppShell.h"
#include "media/motion/PanZoomRenderer.h"
#include "model/Files.h"
#include "pipeline/ClipPlan.h"
#include "screens/FrameReviewModel.h"
#include "screens/lists/ChunkListModel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QMediaPlayer>
#include <QPainter>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtQml/qqmlextensionplugin.h>

#include <filesystem>
#include <stdexcept>
#include <vector>

// The main window's QML modules are linked in statically.
Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_AppPlugin)

using namespace vl;
namespace fs = std::filesystem;

namespace {

struct NoPicker final : support::FilePicker {
    void pick(const support::FileRequest&, Answer answer) override { answer(QString()); }
};

struct NoDesktop final : support::Desktop {
    void reveal(const QString&) override {}
    bool openUrl(const QUrl&) override { return false; }
};

// Runs the event loop until `done` or the ceiling; false on the ceiling.
bool spinUntil(const std::function<bool()>& done, int ceilingMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ceilingMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// The main window over a bench store.
struct Window {
    app::ShellContext shellContext()
    {
        app::ShellContext context;
        context.desktop = &desktop;
        context.filePicker = &picker;
        return context;
    }

    explicit Window(bench::BenchStore& bench)
        : pastOnboarding((bench.store().context().settings->setInteger("sharewareOnboardingVersion", 2), true))
        , shell(bench.store(), shellContext())
    {
        window = shell.load(engine);
        if (!window)
            throw std::runtime_error("the main window did not load");
        window->show();
        if (!spinUntil([&] { return window->isExposed(); }))
            throw std::runtime_error("the main window was never shown");
    }

    // Milliseconds from `change` to the next frame the window puts out; -1 when none came.
    double toNextFrame(const std::function<void()>& change)
    {
        bool swapped = false;
        const auto c = QObject::connect(window, &QQuickWindow::frameSwapped, [&] { swapped = true; });
        QElapsedTimer timer;
        timer.start();
        change();
        window->requestUpdate();
        const bool shown = spinUntil([&] { return swapped; });
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        QObject::disconnect(c);
        return shown ? ms : -1;
    }

    QQuickItem* item(const char* name) const { return find(window->contentItem(), name); }
    static QQuickItem* find(QQuickItem* root, const char* name)
    {
        if (root->objectName() == QLatin1String(name))
            return root;
        for (QQuickItem* child : root->childItems())
            if (QQuickItem* found = find(child, name))
                return found;
        return nullptr;
    }

    NoPicker picker;
    NoDesktop desktop;
    bool pastOnboarding; // the first-run guide would open a window of its own
    app::AppShell shell;
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;
};

// A project of `chunks` chunks, every one framed with the same picture.
Project framedProject(int chunks, const std::string& picture)
{
    Project p = bench::plannedBenchProject(chunks);
    for (StoryboardChunk& c : p.chunks) {
        GeneratedFrame f;
        f.localPath = picture;
        f.remoteURL = "https://v3.fal.media/files/frame.png";
        f.prompt = c.imagePrompt;
        c.frame = f;
    }
    return p;
}

double framesPageFirstFrame(int chunks, const std::string& picture)
{
    bench::BenchStore bench(framedProject(chunks, picture));
    Window w(bench);
    std::vector<double> times;
    for (int i = 0; i < 7; ++i) {
        w.toNextFrame([&] { bench.store().setSelectedStage(PipelineStage::motion); });
        times.push_back(w.toNextFrame([&] { bench.store().setSelectedStage(PipelineStage::frames); }));
    }
    return bench::medianOf(times);
}

} // namespace

VL_SCREENS_BENCH("frames")
{
    files::TemporaryDirectory folder("bench-frames-page");
    const std::string picture = (folder.path() / "frame.png").string();
    QImage image(540, 960, QImage::Format_RGB32);
    image.fill(QColor(40, 60, 90));
    image.save(QString::fromStdString(picture));

    framesPageFirstFrame(20, picture); // the first window of the run pays for what all share
    const double twenty = framesPageFirstFrame(20, picture);
    const double twoHundred = framesPageFirstFrame(200, picture);
    bench::Report& report = bench::report();
    report.figure("frames_paint_20_ms", twenty, "ms", 3);
    report.figure("frames_paint_200_ms", twoHundred, "ms", 3);
    if (twenty > 0 && twoHundred >= 0)
        report.figure("frames_paint_200_vs_20", twoHundred / twenty, "ratio", 3);

    // The models alone: build them for 200 chunks, then change one chunk's frame.
    bench::BenchStore bench(framedProject(200, picture));
    ProjectStore& store = bench.store();
    std::vector<double> builds;
    for (int i = 0; i < 30; ++i) {
        QElapsedTimer timer;
        timer.start();
        screens::ChunkListModel rows(&store);
        screens::FrameReviewModel page(bench.services());
        builds.push_back(static_cast<double>(timer.nsecsElapsed()));
    }
    screens::ChunkListModel rows(&store);
    screens::FrameReviewModel page(bench.services());
    long long rowsSignalled = 0;
    QObject::connect(&rows, &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& first, const QModelIndex& last) { rowsSignalled += last.row() - first.row() + 1; });
    const auto rebuilt = [&](const QModelIndex&, int first, int last) { rowsSignalled += last - first + 1; };
    QObject::connect(&rows, &QAbstractItemModel::rowsInserted, rebuilt);
    QObject::connect(&rows, &QAbstractItemModel::modelReset, [&] { rowsSignalled += rows.rowCount(); });
    std::vector<double> updates;
    constexpr int kUpdates = 30;
    for (int i = 0; i < kUpdates; ++i) {
        const Uuid id = store.project().chunks[static_cast<std::size_t>(17 + i)].id;
        GeneratedFrame next;
        next.localPath = picture;
        next.remoteURL = "https://v3.fal.media/files/new-" + std::to_string(i) + ".png";
        next.prompt = "a new frame";
        QElapsedTimer timer;
        timer.start();
        store.updateChunk(id, [&](StoryboardChunk& c) { c.setFrame(next); });
        updates.push_back(static_cast<double>(timer.nsecsElapsed()));
    }
    const double build = bench::medianOf(builds), update = bench::medianOf(updates);
    report.figure("frames_build_200_us", build / 1e3, "us", 1);
    report.figure("frames_update_us", update / 1e3, "us", 1);
    report.figure("frames_update_vs_build", update / build, "ratio", 4);
    report.figure("frames_update_rows_signalled", static_cast<double>(rowsSignalled) / kUpdates, "rows", 1);
}

VL_SCREENS_BENCH("preview")
{
    constexpr int kClips = 45;
    bench::Report& report = bench::report();
    files::TemporaryDirectory folder("bench-preview");
    const std::string picture = (folder.path() / "frame.png").string();
    {
        // Gradients and shapes, so the clips hold pictures a decoder has work with.
        QImage image(540, 960, QImage::Format_RGB32);
        QPainter painter(&image);
        QLinearGradient sky(0, 0, 540, 960);
        sky.setColorAt(0, QColor(20, 40, 90));
        sky.setColorAt(1, QColor(200, 90, 60));
        painter.fillRect(image.rect(), sky);
        for (int k = 0; k < 40; ++k)
            painter.fillRect((k * 97) % 480, (k * 211) % 900, 30 + k % 50, 20 + (k * 7) % 60,
                             QColor((k * 53) % 256, (k * 101) % 256, (k * 29) % 256));
        painter.setPen(Qt::white);
        painter.setFont(QFont("Sans", 48, QFont::Bold));
        painter.drawText(image.rect(), Qt::AlignCenter, "LYRIC");
        painter.end();
        image.save(QString::fromStdString(picture));
    }

    // The clips come from the store's own motion step, so they count as current for
    // the program's own reasons. It renders with the 2D renderer (the parallax one's
    // fallback: the same files and records, without the GPU's cost, which is not what
    // is measured here), and the shortest clips keep that quick.
    Project project = framedProject(kClips, picture);
    project.audioPath.clear();
    for (int i = 0; i < kClips; ++i) {
        StoryboardChunk& c = project.chunks[static_cast<std::size_t>(i)];
        c.start = i * kMinClipSeconds;
        c.end = c.start + kMinClipSeconds;
    }
    PipelineServices services;
    services.motion = std::make_shared<PanZoomRenderer>();
    bench::BenchStore bench(project, services);
    ProjectStore& store = bench.store();
    store.renderMotion();
    const bool rendered = spinUntil([&] {
        return store.lastError() || (!store.runningTask() && store.currentClips().size() == static_cast<std::size_t>(kClips));
    }, 600000);
    if (store.lastError())
        throw std::runtime_error("preview: the motion step failed: " + *store.lastError());
    if (!rendered)
        throw std::runtime_error("preview: the motion step's clips did not all count as current ("
                                 + std::to_string(store.currentClips().size()) + " of " + std::to_string(kClips) + ")");

    // The reference: a bare player opening each clip, paused on its first picture.
    std::vector<double> bare;
    {
        QMediaPlayer player;
        QVideoSink sink;
        player.setVideoSink(&sink);
        for (const StoryboardChunk& c : store.project().chunks) {
            bool shown = false;
            const auto conn = QObject::connect(&sink, &QVideoSink::videoFrameChanged,
                                               [&](const QVideoFrame& f) { shown = shown || f.isValid(); });
            QElapsedTimer timer;
            timer.start();
            player.setSource(QUrl::fromLocalFile(QString::fromStdString(*c.frame->motionClipPath)));
            player.pause();
            const bool opened = spinUntil([&] { return shown; });
            bare.push_back(opened ? static_cast<double>(timer.nsecsElapsed()) / 1e6 : -1);
            QObject::disconnect(conn);
        }
    }

    Window w(bench);
    store.setSelectedStage(PipelineStage::preview);
    spinUntil([&] { return w.item("clipPlayer") != nullptr; });
    std::vector<double> page;
    for (int i = 0; i < kClips; ++i) {
        QQuickItem* player = w.item("clipPlayer");
        auto* sink = player ? player->property("videoOutput").value<QObject*>()->property("videoSink").value<QVideoSink*>()
                            : nullptr;
        if (!sink) {
            report.missing("preview_switch_vs_open", "no player on the page: it shows the still frame");
            return;
        }
        bool shown = false;
        const auto conn = QObject::connect(sink, &QVideoSink::videoFrameChanged,
                                           [&](const QVideoFrame& f) { shown = shown || f.isValid(); });
        // Each thumbnail in turn, the first one last so every tap is a new clip.
        const StoryboardChunk& c = store.project().chunks[static_cast<std::size_t>((i + 1) % kClips)];
        QElapsedTimer timer;
        timer.start();
        store.setSelectedChunkID(c.id);
        const bool opened = spinUntil([&] { return shown; });
        page.push_back(opened ? static_cast<double>(timer.nsecsElapsed()) / 1e6 : -1);
        QObject::disconnect(conn);
    }
    const double bareMs = bench::medianOf(bare), pageMs = bench::medianOf(page);
    report.figure("preview_open_bare_ms", bareMs, "ms", 3);
    report.figure("preview_switch_ms", pageMs, "ms", 3);
    if (bareMs > 0 && pageMs >= 0)
        report.figure("preview_switch_vs_open", pageMs / bareMs, "ratio", 3);
    else
        report.missing("preview_switch_vs_open", "a clip never showed its first picture");
}
