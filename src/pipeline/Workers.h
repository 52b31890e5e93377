#pragma once

#include <QObject>
#include <QThreadPool>

#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <vector>

namespace vl {

// What a worker hands back: a closure to run on the owner's thread, or the
// exception it failed with.
using ApplyFn = std::function<void()>;

struct JobOutcome {
    ApplyFn apply;            // set on success (may be empty: nothing to apply)
    std::exception_ptr error; // set on failure, vl::Cancelled included
};

// The pools blocking engine calls run on. Network-bound jobs mostly wait on the
// vendor, so that pool is wide enough for a full window of frame requests;
// CPU-bound jobs (transcoding, rendering, export) get one thread per core and may
// hold them for minutes; short jobs (reading a song's tags, even alignment) have a
// lane of their own, so they never queue behind a render.
// Destroying Workers asks every job to stop and waits for all of them.
class Workers {
public:
    enum class Pool { network, cpu, quick };

    explicit Workers(QObject* owner, int networkThreads = 16);
    ~Workers();
    Workers(const Workers&) = delete;
    Workers& operator=(const Workers&) = delete;

    // Runs `work` on a pool thread with a stop token of its own; `done` runs on
    // the owner's thread with the outcome. Returns the job's stop source.
    std::shared_ptr<std::stop_source> start(Pool pool, std::function<ApplyFn(std::stop_token)> work,
                                            std::function<void(JobOutcome)> done);

    // Posts `fn` to the owner's thread (for progress reports from workers).
    void post(std::function<void()> fn) const;

    // Asks every job to stop, stops new ones before they begin, and waits for all
    // of them. Idempotent; the destructor calls it too.
    void shutdown();
    int activeCount() const;
    int maxThreadCount(Pool pool) const;

private:
    QThreadPool& threadPool(Pool pool);

    QObject* owner_;
    QThreadPool network_;
    QThreadPool cpu_;
    QThreadPool quick_;
    mutable std::mutex mutex_;
    std::vector<std::shared_ptr<std::stop_source>> active_;
    bool shuttingDown_ = false;
};

// Hands the memory the allocator holds free back to the system. A render frees
// hundreds of megabytes of frame buffers on many threads, each with an arena of
// its own, and glibc keeps what those arenas once held until asked to let go.
void releaseFreedMemory();

} // namespace vl
