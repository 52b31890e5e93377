#include "pipeline/Workers.h"

#include <QMetaObject>
#include <QThread>

#include <algorithm>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vl {

Workers::Workers(QObject* owner, int networkThreads)
    : owner_(owner)
{
    network_.setMaxThreadCount(networkThreads);
    cpu_.setMaxThreadCount(std::max(2, QThread::idealThreadCount()));
    quick_.setMaxThreadCount(2);
    // Threads may idle a while before they go: frame batches come in bursts.
    network_.setExpiryTimeout(30000);
}

Workers::~Workers()
{
    shutdown();
}

std::shared_ptr<std::stop_source> Workers::start(Pool pool, std::function<ApplyFn(std::stop_token)> work,
                                                 std::function<void(JobOutcome)> done)
{
    auto source = std::make_shared<std::stop_source>();
    {
        std::lock_guard lock(mutex_);
        if (shuttingDown_)
            source->request_stop();
        active_.push_back(source);
    }
    auto task = [this, source, work = std::move(work), done = std::move(done)]() mutable {
        JobOutcome outcome;
        try {
            outcome.apply = work(source->get_token());
        } catch (...) {
            outcome.error = std::current_exception();
        }
        // Unregister on the owner's thread, together with delivering the outcome,
        // so activeCount() never reads zero while an outcome is still in flight.
        QMetaObject::invokeMethod(
            owner_,
            [this, source, done = std::move(done), outcome = std::move(outcome)]() mutable {
                {
                    std::lock_guard lock(mutex_);
                    active_.erase(std::remove(active_.begin(), active_.end(), source), active_.end());
                }
                done(std::move(outcome));
            },
            Qt::QueuedConnection);
    };
    threadPool(pool).start(std::move(task));
    return source;
}

void Workers::post(std::function<void()> fn) const
{
    QMetaObject::invokeMethod(owner_, std::move(fn), Qt::QueuedConnection);
}

void Workers::shutdown()
{
    {
        std::lock_guard lock(mutex_);
        shuttingDown_ = true;
        for (auto& source : active_)
            source->request_stop();
    }
    network_.waitForDone();
    cpu_.waitForDone();
    quick_.waitForDone();
}

QThreadPool& Workers::threadPool(Pool pool)
{
    switch (pool) {
    case Pool::network: return network_;
    case Pool::cpu: return cpu_;
    case Pool::quick: return quick_;
    }
    return cpu_;
}

int Workers::maxThreadCount(Pool pool) const
{
    switch (pool) {
    case Pool::network: return network_.maxThreadCount();
    case Pool::cpu: return cpu_.maxThreadCount();
    case Pool::quick: return quick_.maxThreadCount();
    }
    return 0;
}

int Workers::activeCount() const
{
    std::lock_guard lock(mutex_);
    return static_cast<int>(active_.size());
}

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

} // namespace vl
