// The last two pipeline stages through the real store and the standard engines:
// a 3-minute song cut into 45 lyric chunks, each with a 1080 x 1920 frame, as the
// cloud stages leave the project. Times the motion step (45 clips) and the
// export that follows it. Prints "BENCH pipeline.<name> <value> <unit>" lines.

#include "BenchReport.h"
#include "model/Files.h"
#include "model/Settings.h"
#include "pipeline/ProjectStore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

using namespace vl;
namespace fs = std::filesystem;

namespace {

constexpr double kSongSeconds = 180;
constexpr int kChunks = 45;

// A frame with the texture of a generated one: gradients, shapes, lettering, grain.
void writeFrame(const fs::path& path, int seed)
{
    cv::Mat image(1920, 1080, CV_8UC3);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<cv::Vec3b>(y, x) = {static_cast<uchar>(40 + (x + seed * 13) / 9 % 200),
                                         static_cast<uchar>(30 + y / 12), static_cast<uchar>(60 + seed * 4)};
    cv::RNG rng(static_cast<std::uint64_t>(seed) + 1);
    for (int k = 0; k < 40; ++k)
        cv::rectangle(image,
                      cv::Rect(rng.uniform(0, 1000), rng.uniform(0, 1800), rng.uniform(20, 200), rng.uniform(20, 200)),
                      cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)), cv::FILLED, cv::LINE_AA);
    cv::circle(image, {540, 900}, 320, cv::Scalar(70, 160, 240), cv::FILLED, cv::LINE_AA);
    cv::putText(image, "LINE " + std::to_string(seed + 1), {180, 1500}, cv::FONT_HERSHEY_SIMPLEX, 5,
                cv::Scalar(250, 250, 250), 12, cv::LINE_AA);
    cv::Mat grain(image.size(), CV_8UC3);
    cv::randn(grain, cv::Scalar::all(0), cv::Scalar::all(6));
    image += grain;
    cv::imwrite(path.string(), image);
}

// Runs one store operation and returns its wall time; throws when it failed.
// Minutes pass in each: the operation's label and progress go to stderr every few seconds.
template <typename Start>
double timed(ProjectStore& store, Start start)
{
    QElapsedTimer timer;
    timer.start();
    start();
    // An event loop that sleeps between events, as the program's own does: a loop
    // that polls would take a processor from the work it times.
    qint64 nextReport = 5000;
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (store.workers().activeCount() == 0) {
            loop.quit();
            return;
        }
        if (timer.elapsed() >= nextReport) {
            nextReport += 5000;
            std::fprintf(stderr, "  %s: %.0f%% after %.0f s\n", store.runningTask().value_or("working").c_str(),
                         store.taskProgress().value_or(0) * 100, timer.elapsed() / 1000.0);
        }
    });
    tick.start(10);
    if (store.workers().activeCount() > 0)
        loop.exec();
    QCoreApplication::processEvents();
    const double seconds = timer.nsecsElapsed() / 1e9;
    if (store.lastError())
        throw std::runtime_error("failed: " + *store.lastError());
    return seconds;
}

void measure(bench::Report& report)
{
    files::TemporaryDirectory folder("bench-pipeline");

    const fs::path song = folder.path() / "song.m4a";
    const std::string make = "ffmpeg -v error -f lavfi -i sine=frequency=330:duration=" + std::to_string(kSongSeconds)
                             + " -c:a aac -b:a 128k -y '" + song.string() + "'";
    if (std::system(make.c_str()) != 0)
        throw std::runtime_error("could not make the song");

    std::fprintf(stderr, "  making a %.0f s song cut into %d framed chunks\n", kSongSeconds, kChunks);
    Project project = ProjectStore::defaultNewProject();
    project.title = "Bench Song";
    project.audioPath = song.string();
    project.exportSettings.resolution = ExportResolution::p1080;
    const double step = kSongSeconds / kChunks;
    for (int i = 0; i < kChunks; ++i) {
        StoryboardChunk chunk;
        chunk.index = i;
        chunk.chunkNumber = i + 1;
        chunk.start = i * step;
        chunk.end = (i + 1) * step;
        chunk.lyricExcerpt = "line " + std::to_string(i + 1);
        GeneratedFrame frame;
        frame.localPath = (folder.path() / ("frame" + std::to_string(i) + ".png")).string();
        writeFrame(frame.localPath, i);
        chunk.frame = frame;
        project.chunks.push_back(chunk);
    }

    MemorySettings settings;
    StoreContext context;
    context.settings = &settings;
    context.projectsRoot = folder.path() / "projects";
    context.loadKey = [] { return std::optional<std::string>(); };
    ProjectStore store(project, PipelineServices::standard(), context);

    const double motion = timed(store, [&] { store.renderMotion(); });
    report.figure("motion_s", motion, "s");
    report.figure("motion_x_realtime", kSongSeconds / motion, "ratio");

    const double exported = timed(store, [&] { store.exportVideo(); });
    // An export that ended without its file is no export time.
    if (!store.lastExportPath() || !fs::exists(*store.lastExportPath()))
        throw std::runtime_error("the export wrote no video");
    report.figure("export_s", exported, "s");
    report.figure("export_x_realtime", kSongSeconds / exported, "ratio");
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::Report report("pipeline");
    return report.run([&] { measure(report); });
}
