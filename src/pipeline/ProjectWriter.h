#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>

namespace vl {

// Writes project documents on one thread of its own, in the order they are handed
// over: a large project never holds up the window, and a later save can never be
// overtaken by an earlier one.
class ProjectWriter {
public:
    ProjectWriter();
    // Finishes everything handed over, then ends its thread.
    ~ProjectWriter();
    ProjectWriter(const ProjectWriter&) = delete;
    ProjectWriter& operator=(const ProjectWriter&) = delete;

    // Runs `write` after everything handed over before it; the future carries its
    // failure. `then` runs on the writer thread once the future is ready.
    std::shared_future<void> submit(std::function<void()> write, std::function<void()> then = {});

    // Waits until everything handed over has been written and its `then` has run.
    void waitIdle();

    // How many writes wait behind the one under way.
    std::size_t waiting() const;

private:
    struct Job {
        std::packaged_task<void()> task;
        std::function<void()> then;
    };
    void loop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Job> queue_;
    bool busy_ = false;
    std::condition_variable idle_;
    bool stopping_ = false;
    std::thread thread_; // last: starts once the state above exists
};

} // namespace vl
