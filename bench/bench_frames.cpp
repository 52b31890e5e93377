// Sixty missing frames against the loopback vendor, which finishes every job 200 ms
// after it was submitted, with a 50 ms poll interval. Twelve requests at a time make
// five back-to-back waves: ideally 1.0 s. Prints the batch time, its ratio to that
// ideal, and, as a reference from the same run, one frame on its own and the batch
// against five of those in a row (what the window costs beyond the vendor's time).
#include "pipeline/StoreHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>

using namespace vl;
using namespace vl::testing;

namespace {

constexpr int kFrames = 60;
constexpr auto kJobTime = std::chrono::milliseconds(200);

struct Bench {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;

    explicit Bench(int chunks)
    {
        h.storedKey = kTestKey;
        h.pollInterval = 0.05;
        h.autosaveDelay = std::chrono::hours(1); // the write after the batch is not what we measure
        Project project = ProjectStore::defaultNewProject();
        project.characters = {processedCharacter(h.vendor.url("/media/mara.png"))};
        for (int i = 1; i <= chunks; ++i)
            project.chunks.push_back(plannedChunk(i, "line " + std::to_string(i)));
        store = h.make(project);
        h.vendor.setJobDuration(kJobTime);
    }

    // Seconds until the store is idle again; negative when the work failed.
    double timed(const std::function<void()>& start, std::size_t framed)
    {
        QElapsedTimer timer;
        timer.start();
        start();
        waitUntil([&] { return store->project().framedCount() == framed && !store->runningTask(); }, 60000);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        StoreHarness::waitForIdle(*store);
        if (store->project().framedCount() != framed || store->lastError()) {
            std::fprintf(stderr, "frames failed: %s\n", store->lastError().value_or("frames missing").c_str());
            return -1;
        }
        return seconds;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const double ideal = (kFrames / ProjectStore::kMaxFramesInFlight) * 0.2;

    // One frame alone, best of three: the vendor's 200 ms plus polling and transfers here.
    Bench single(3);
    double one = 1e9;
    for (std::size_t i = 0; i < 3; ++i) {
        const Uuid id = single.store->project().chunks[i].id;
        const double s = single.timed([&] { single.store->generateFrame(id); }, i + 1);
        if (s < 0)
            return 1;
        one = std::min(one, s);
    }

    Bench batch(kFrames);
    const double seconds = batch.timed([&] { batch.store->generateMissingFrames(); }, kFrames);
    if (seconds < 0)
        return 1;
    const double waves = static_cast<double>(kFrames) / ProjectStore::kMaxFramesInFlight;
    std::printf("BENCH frames.batch_s %.3f s\n", seconds);
    std::printf("BENCH frames.batch_vs_ideal %.3f ratio\n", seconds / ideal);
    std::printf("BENCH frames.single_s %.3f s\n", one);
    std::printf("BENCH frames.batch_vs_single_waves %.3f ratio\n", seconds / (waves * one));
    return 0;
}
