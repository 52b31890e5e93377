#include "pipeline/ProjectWriter.h"

namespace vl {

ProjectWriter::ProjectWriter()
    : thread_([this] { loop(); })
{
}

ProjectWriter::~ProjectWriter()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

std::shared_future<void> ProjectWriter::submit(std::function<void()> write, std::function<void()> then)
{
    std::packaged_task<void()> task(std::move(write));
    std::shared_future<void> done = task.get_future().share();
    {
        std::lock_guard lock(mutex_);
        queue_.push_back({std::move(task), std::move(then)});
    }
    wake_.notify_one();
    return done;
}

std::size_t ProjectWriter::waiting() const
{
    std::lock_guard lock(mutex_);
    return queue_.size();
}

void ProjectWriter::waitIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void ProjectWriter::loop()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            // What was handed over is written even when stopping: it is someone's work.
            if (queue_.empty())
                return;
            job = std::move(queue_.front());
            queue_.pop_front();
            busy_ = true;
        }
        job.task();
        if (job.then)
            job.then();
        {
            std::lock_guard lock(mutex_);
            busy_ = false;
        }
        idle_.notify_all();
    }
}

} // namespace vl
