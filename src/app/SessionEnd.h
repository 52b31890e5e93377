#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

namespace vl {
class ProjectStore;
}

namespace vl::app {

// Saves the open project however the run ends: quitting, a logout (the session
// manager asks the program to save), or SIGTERM, SIGHUP and SIGINT (`kill`, the system
// shutting down, a closed terminal, Ctrl+C). Those signals would end the process on the
// spot and lose the edits the autosave has not written yet; here they quit the event
// loop instead, so the program leaves the way quitting does. A second such signal
// while it is still leaving ends it at once.
//
// One per process: it takes the signals over for its lifetime.
class SessionEnd final : public QObject {
    Q_OBJECT

public:
    explicit SessionEnd(ProjectStore& store, QObject* parent = nullptr);
    ~SessionEnd() override;

private:
    void readSignals();

    ProjectStore& store_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

} // namespace vl::app
