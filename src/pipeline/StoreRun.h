#pragma once

#include <optional>
#include <stop_token>
#include <string>
#include <utility>

namespace vl {

class ProjectStore;

// Handed to a worker running inside the store's run wrapper. Thread-safe: every
// report is carried to the main thread, where it updates that run's own label
// and progress.
class RunReporter {
public:
    RunReporter(ProjectStore* store, long long runId, std::stop_token stop)
        : store_(store), runId_(runId), stop_(std::move(stop)) {}

    const std::stop_token& stop() const { return stop_; }
    void progress(double fraction) const;
    void statusText(std::string text) const;
    void queuePosition(std::optional<long long> position) const;

private:
    ProjectStore* store_;
    long long runId_;
    std::stop_token stop_;
};

} // namespace vl
