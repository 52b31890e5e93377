// The frames and preview pages in the real main window, offscreen:
// - frames_paint_200_vs_20: the first frame of the frames page with 200 framed cards
//   over the same with 20 (cards out of view are not built, so this stays near 1);
// - frames_update_vs_build: one chunk's new frame through the page's models (the
//   chunk rows and the page model) over building those models for 200 chunks, and how
//   many rows that signalled (one);
// - preview_switch_vs_open: 45 rendered clips, each thumbnail in turn: the median time
//   from the tap to the clip's first picture on the page over a bare QMediaPlayer
//   opening the same clip.
#include "ScreensBench.h"

#include "app/AppShell.h"
#include "model/Files.h"
#include "screens/FrameReviewModel.h"
#include "screens/lists/ChunkListModel.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QMediaPlayer>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTimer>
#include <QVideoFrame>
#include <QVideoSink>
#include <QtQml/qqmlextensionplugin.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
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

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

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
        if (window) {
            window->show();
            spinUntil([&] { return window->isExposed(); });
        }
    }

    // Milliseconds from `change` to the next frame the window puts out.
    double toNextFrame(const std::function<void()>& change)
    {
        bool swapped = false;
        const auto c = QObject::connect(window, &QQuickWindow::frameSwapped, [&] { swapped = true; });
        QElapsedTimer timer;
        timer.start();
        change();
        window->requestUpdate();
        spinUntil([&] { return swapped; });
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        QObject::disconnect(c);
        return ms;
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
    return median(times);
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
    bench::printFigure("frames_paint_20_ms", twenty, "ms");
    bench::printFigure("frames_paint_200_ms", twoHundred, "ms");
    bench::printFigure("frames_paint_200_vs_20", twoHundred / twenty, "ratio");

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
    bench::printFigure("frames_build_200_us", median(builds) / 1e3, "us");
    bench::printFigure("frames_update_us", median(updates) / 1e3, "us");
    bench::printFigure("frames_update_vs_build", median(updates) / median(builds), "ratio");
    bench::printFigure("frames_update_rows_signalled", static_cast<double>(rowsSignalled) / kUpdates, "rows");
}

VL_SCREENS_BENCH("preview")
{
    constexpr int kClips = 45;
    files::TemporaryDirectory folder("bench-preview");
    const std::string picture = (folder.path() / "frame.png").string();
    QImage image(180, 320, QImage::Format_RGB32);
    image.fill(QColor(90, 60, 40));
    image.save(QString::fromStdString(picture));

    Project project = framedProject(kClips, picture);
    for (int i = 0; i < kClips; ++i) {
        const fs::path clip = folder.path() / ("clip" + std::to_string(i) + ".mp4");
        const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i testsrc=size=360x640:rate=30:duration=1.5 "
                                    "-vf hue=h=" + std::to_string(i * 8) + " -c:v libx264 -pix_fmt yuv420p '"
            + clip.string() + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "preview: ffmpeg could not make the clips\n");
            return;
        }
        project.chunks[static_cast<std::size_t>(i)].frame->motionClipPath = clip.string();
    }

    // The reference: a bare player opening each clip, paused on its first picture.
    std::vector<double> bare;
    {
        QMediaPlayer player;
        QVideoSink sink;
        player.setVideoSink(&sink);
        for (const StoryboardChunk& c : project.chunks) {
            bool shown = false;
            const auto conn = QObject::connect(&sink, &QVideoSink::videoFrameChanged,
                                               [&](const QVideoFrame& f) { shown = shown || f.isValid(); });
            QElapsedTimer timer;
            timer.start();
            player.setSource(QUrl::fromLocalFile(QString::fromStdString(*c.frame->motionClipPath)));
            player.pause();
            spinUntil([&] { return shown; });
            bare.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
            QObject::disconnect(conn);
        }
    }

    bench::BenchStore bench(project);
    Window w(bench);
    bench.store().setSelectedStage(PipelineStage::preview);
    spinUntil([&] { return w.item("clipPlayer") != nullptr; });
    std::vector<double> page;
    for (int i = 0; i < kClips; ++i) {
        QQuickItem* player = w.item("clipPlayer");
        auto* sink = player ? player->property("videoOutput").value<QObject*>()->property("videoSink").value<QVideoSink*>()
                            : nullptr;
        if (!sink) {
            std::fprintf(stderr, "preview: no player on the page\n");
            return;
        }
        bool shown = false;
        const auto conn = QObject::connect(sink, &QVideoSink::videoFrameChanged,
                                           [&](const QVideoFrame& f) { shown = shown || f.isValid(); });
        // Each thumbnail in turn, the first one last so every tap is a new clip.
        const StoryboardChunk& c = bench.store().project().chunks[static_cast<std::size_t>((i + 1) % kClips)];
        QElapsedTimer timer;
        timer.start();
        bench.store().setSelectedChunkID(c.id);
        spinUntil([&] { return shown; });
        page.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e6);
        QObject::disconnect(conn);
    }
    bench::printFigure("preview_open_bare_ms", median(bare), "ms");
    bench::printFigure("preview_switch_ms", median(page), "ms");
    bench::printFigure("preview_switch_vs_open", median(page) / median(bare), "ratio");
}
