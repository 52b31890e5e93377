// Sixty missing frames against the loopback vendor, which finishes every job 200 ms
// after it was submitted, with a 50 ms poll interval. Twelve requests at a time make
// five back-to-back waves: ideally 1.0 s. Prints the batch time, its ratio to that
// ideal, and, as a reference from the same run, one frame on its own and the batch
// against five of those in a row (what the window costs beyond the vendor's time).
#include "BenchReport.h"
#include "pipeline/StoreHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <stdexcept>

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

    // Seconds until the store is idle again; throws when the work failed.
    double timed(const std::function<void()>& start, std::size_t framed)
    {
        QElapsedTimer timer;
        timer.start();
        start();
        waitUntil([&] { return store->project().framedCount() == framed && !store->runningTask(); }, 60000);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        StoreHarness::waitForIdle(*store);
        if (store->project().framedCount() != framed || store->lastError())
            throw std::runtime_error("frames failed: " + store->lastError().value_or("frames missing"));
        return seconds;
    }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    bench::Report report("frames");
    return report.run([&] {
        const double ideal = (kFrames / ProjectStore::kMaxFramesInFlight) * 0.2;

        // One frame alone, best of three: the vendor's 200 ms plus polling and transfers here.
        Bench single(3);
        double one = 1e9;
        for (std::size_t i = 0; i < 3; ++i) {
            const Uuid id = single.store->project().chunks[i].id;
            one = std::min(one, single.timed([&] { single.store->generateFrame(id); }, i + 1));
        }

        Bench batch(kFrames);
        const double seconds = batch.timed([&] { batch.store->generateMissingFrames(); }, kFrames);
        const double waves = static_cast<double>(kFrames) / ProjectStore::kMaxFramesInFlight;
        report.figure("batch_s", seconds, "s", 3);
        report.figure("batch_vs_ideal", seconds / ideal, "ratio", 3);
        report.figure("single_s", one, "s", 3);
        report.figure("batch_vs_single_waves", seconds / (waves * one), "ratio", 3);
    });
}
