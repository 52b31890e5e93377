#pragma once

#include "installer/InstallerContext.h"
#include "installer/ProcessRunner.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <utility>

namespace vl::installer {

class InstallerModel;

// The installation run over the model's components: one component after another, the
// blocking ones (the subscription request, the copy, the Whisper build) on a worker whose
// result comes back to the main thread, then the closing summary. It keeps what earlier
// runs achieved, so Try Again repeats only what failed. Everything it shows goes through
// the model, which owns it and outlives it.
class InstallationRun {
public:
    InstallationRun(InstallerModel& model, const InstallerContext& context);

    static QString statusLineFor(const std::string& componentId);

    void start();

private:
    // What a blocking step hands back to the main thread when it succeeds.
    using Apply = std::function<void()>;
    using BlockingStep = std::function<Apply(std::stop_token)>;

    void runComponent(int index);
    void runBlocking(BlockingStep work);
    void stepSucceeded();
    void stepFailed(const std::string& message);
    void componentEnded(int index);
    void complete();
    // Status lines from a step's worker; those that arrive after the step has ended drop.
    LogLine relayLog();

    // The sentence that stops a run before it starts: the target is something the installer
    // must not replace, or the copy needs administrator rights and there is no pkexec to
    // ask for them. Empty when the run can go ahead.
    std::string cannotInstall() const;

    void verifyPackage();
    void startProfileStep();
    void startRendererStep();
    void checkDepthFlowEngine();
    void checkFonts();
    void startWhisperInstall();
    void linkWhisperRuntime();

    InstallerModel& model_;
    const InstallerContext& context_;

    // What earlier runs of this installer achieved, so a retry does not do it again: the
    // subscription the server accepted (trimmed name, normalised e-mail) and the detail
    // of the copy that put the application in place.
    std::optional<std::pair<std::string, std::string>> acceptedProfile_;
    std::optional<std::string> copiedDetail_;
    // The run under way: which run (results of an earlier one are ignored), which
    // component, and how many components it started with.
    std::uint64_t runId_ = 0;
    int runIndex_ = -1;
    int runCount_ = 0;

    // Last: joined (after a stop request) before the state above goes away.
    std::jthread stepWorker_;
    std::jthread summaryWorker_;
};

} // namespace vl::installer
