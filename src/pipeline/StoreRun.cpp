#include "pipeline/ProjectStore.h"

#include "model/Cancellation.h"

#include <algorithm>

namespace vl {

namespace {

double clampedFraction(double value)
{
    // NaN fails every comparison, so it takes the upper bound like the min() does.
    double v = (value < 1.0) ? value : 1.0;
    if (v < 0.0)
        v = 0.0;
    return v;
}

} // namespace

// ---- RunReporter --------------------------------------------------------------

void RunReporter::progress(double fraction) const
{
    auto* store = store_;
    const long long id = runId_;
    store->workers_.post([store, id, fraction] { store->reportProgress(id, fraction); });
}

void RunReporter::statusText(std::string text) const
{
    auto* store = store_;
    const long long id = runId_;
    store->workers_.post([store, id, text = std::move(text)]() mutable { store->reportStatusText(id, std::move(text)); });
}

void RunReporter::queuePosition(std::optional<long long> position) const
{
    auto* store = store_;
    const long long id = runId_;
    store->workers_.post([store, id, position] { store->reportQueuePosition(id, position); });
}

// ---- Runs and their reports -----------------------------------------------------

std::optional<std::string> ProjectStore::messageFor(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Cancelled&) {
        return std::nullopt;
    } catch (const std::exception& e) {
        return std::string(e.what());
    } catch (...) {
        return std::string("The operation failed.");
    }
}

long long ProjectStore::beginRun(std::string label)
{
    const long long id = nextRunId_++;
    runs_.push_back({id, std::move(label), std::nullopt});
    publishRuns();
    setLastError(std::nullopt);
    return id;
}

void ProjectStore::endRun(long long runId)
{
    runs_.erase(std::remove_if(runs_.begin(), runs_.end(), [&](const RunState& r) { return r.id == runId; }),
                runs_.end());
    publishRuns();
}

ProjectStore::RunState* ProjectStore::findRun(long long runId)
{
    for (auto& run : runs_)
        if (run.id == runId)
            return &run;
    return nullptr;
}

void ProjectStore::publishRuns()
{
    // Overlapping runs: the most recent one still going owns the label and the bar.
    if (runs_.empty()) {
        setRunningTask(std::nullopt);
        setTaskProgress(std::nullopt);
    } else {
        setRunningTask(runs_.back().label);
        setTaskProgress(runs_.back().progress);
    }
}

void ProjectStore::reportProgress(long long runId, double fraction)
{
    if (RunState* run = findRun(runId)) {
        run->progress = clampedFraction(fraction);
        publishRuns();
    }
}

void ProjectStore::reportStatusText(long long runId, std::string text)
{
    if (RunState* run = findRun(runId)) {
        run->label = std::move(text);
        publishRuns();
    }
}

void ProjectStore::reportQueuePosition(long long runId, std::optional<long long> position)
{
    if (position && *position > 0)
        reportStatusText(runId, "In queue (position " + std::to_string(*position) + ")");
}

void ProjectStore::progressHandler(double fraction)
{
    workers_.post([this, fraction] {
        if (runs_.empty())
            setTaskProgress(clampedFraction(fraction));
        else
            reportProgress(runs_.back().id, fraction);
    });
}

void ProjectStore::statusTextHandler(std::string text)
{
    workers_.post([this, text = std::move(text)]() mutable {
        if (runs_.empty())
            setRunningTask(std::move(text));
        else
            reportStatusText(runs_.back().id, std::move(text));
    });
}

void ProjectStore::queueUpdateHandler(std::optional<long long> position)
{
    if (position && *position > 0)
        statusTextHandler("In queue (position " + std::to_string(*position) + ")");
}

void ProjectStore::run(std::string label, Workers::Pool pool, Work work, std::function<bool()> stillCurrent,
                       std::function<void()> finally)
{
    const long long runId = beginRun(std::move(label));
    const Uuid projectID = project_.id;
    workers_.start(
        pool,
        [this, runId, work = std::move(work)](std::stop_token stop) {
            RunReporter reporter(this, runId, std::move(stop));
            return work(reporter);
        },
        [this, runId, projectID, stillCurrent = std::move(stillCurrent), finally = std::move(finally)](JobOutcome outcome) {
            if (outcome.error) {
                if (auto message = messageFor(outcome.error))
                    setLastError(std::move(message));
            } else if (outcome.apply) {
                // A result belongs to the project it was made for; another project
                // opened in the meantime must not receive it.
                if (project_.id == projectID && (!stillCurrent || stillCurrent()))
                    outcome.apply();
            }
            endRun(runId);
            if (finally)
                finally();
        });
}

} // namespace vl
