#include "installer/InstallationRun.h"

#include "installer/AppCopy.h"
#include "installer/DesktopEntry.h"
#include "installer/InstallerError.h"
#include "installer/InstallerModel.h"
#include "installer/UpdateSubscription.h"
#include "model/Cancellation.h"
#include "model/Log.h"
#include "model/Settings.h"

#include <QMetaObject>
#include <QTimer>

namespace vl::installer {

namespace fs = std::filesystem;

namespace {

// Why a folder the user cannot write to cannot be installed into here.
std::string noPkexecFor(const fs::path& destination)
{
    return administratorRightsUnavailable("Installing into " + destination.string() +
                                          " needs administrator rights, and pkexec is not installed to ask for them");
}

} // namespace

InstallationRun::InstallationRun(InstallerModel& model, const InstallerContext& context)
    : model_(model), context_(context)
{
}

QString InstallationRun::statusLineFor(const std::string& id)
{
    if (id == "verify")
        return QStringLiteral("Verifying package\u2026");
    if (id == "profile")
        return QStringLiteral("Saving your update and export preferences\u2026");
    if (id == "renderer")
        return QStringLiteral("Installing the local renderer\u2026");
    if (id == "depthflow")
        return QStringLiteral("Adding the DepthFlow motion engine\u2026");
    if (id == "fonts")
        return QStringLiteral("Configuring typography assets\u2026");
    if (id == "whisper")
        return QStringLiteral("Downloading the Whisper runtime\u2026");
    if (id == "whisper-link")
        return QStringLiteral("Linking the detected Whisper runtime\u2026");
    return {};
}

void InstallationRun::start()
{
    if (model_.isInstalling() || model_.finished())
        return;
    // Found out before anything is sent or copied, so that Try Again cannot repeat a run
    // that is bound to stop at the copy.
    if (const std::string reason = cannotInstall(); !reason.empty()) {
        for (std::size_t i = 0; i < model_.components().size(); ++i) {
            if (model_.components()[i].id == "renderer")
                model_.setComponentState(InstallComponent::State::failed, static_cast<int>(i));
        }
        model_.setFailure(QString::fromStdString(reason));
        model_.setStatusLine(QString::fromUtf8(InstallerModel::kStoppedStatusLine));
        return;
    }
    model_.setIsInstalling(true);
    model_.setFailure({});
    const std::uint64_t run = ++runId_;
    QTimer::singleShot(0, &model_, [this, run] {
        if (run != runId_)
            return;
        runCount_ = static_cast<int>(model_.components().size());
        if (runCount_ == 0) {
            complete();
            return;
        }
        runComponent(0);
    });
}

void InstallationRun::runComponent(int index)
{
    runIndex_ = index;
    const InstallComponent component = model_.components()[static_cast<std::size_t>(index)];
    // Try Again goes on where the stopped run failed: what succeeded stays done.
    if (component.state == InstallComponent::State::done)
        return componentEnded(index);
    model_.setComponentState(InstallComponent::State::running, index);
    if (const QString line = statusLineFor(component.id); !line.isEmpty())
        model_.setStatusLine(line);

    try {
        if (component.id == "verify")
            verifyPackage();
        else if (component.id == "profile")
            return startProfileStep();
        else if (component.id == "renderer")
            return startRendererStep();
        else if (component.id == "depthflow")
            checkDepthFlowEngine();
        else if (component.id == "fonts")
            checkFonts();
        else if (component.id == "whisper")
            return startWhisperInstall();
        else if (component.id == "whisper-link")
            linkWhisperRuntime();
    } catch (const std::exception& e) {
        return stepFailed(e.what());
    }
    stepSucceeded();
}

void InstallationRun::runBlocking(BlockingStep work)
{
    const std::uint64_t run = runId_;
    const int index = runIndex_;
    stepWorker_ = std::jthread([this, run, index, work = std::move(work)](std::stop_token stop) {
        Apply apply;
        std::optional<std::string> error;
        try {
            apply = work(stop);
        } catch (const Cancelled&) {
            return; // only the model's end stops a step
        } catch (const std::exception& e) {
            error = e.what();
        }
        QMetaObject::invokeMethod(
            &model_,
            [this, run, index, apply = std::move(apply), error] {
                if (run != runId_ || index != runIndex_)
                    return;
                if (error)
                    return stepFailed(*error);
                try {
                    if (apply)
                        apply();
                } catch (const std::exception& e) {
                    return stepFailed(e.what());
                }
                stepSucceeded();
            },
            Qt::QueuedConnection);
    });
}

LogLine InstallationRun::relayLog()
{
    const std::uint64_t run = runId_;
    const int index = runIndex_;
    return [this, run, index](const std::string& line) {
        QMetaObject::invokeMethod(
            &model_,
            [this, run, index, text = QString::fromStdString(line)] {
                if (model_.isInstalling() && run == runId_ && index == runIndex_)
                    model_.setStatusLine(text);
            },
            Qt::QueuedConnection);
    };
}

void InstallationRun::stepSucceeded()
{
    const std::uint64_t run = runId_;
    const int index = runIndex_;
    QTimer::singleShot(context_.pause, &model_, [this, run, index] {
        if (run != runId_ || index != runIndex_)
            return;
        model_.setComponentState(InstallComponent::State::done, index);
        componentEnded(index);
    });
}

void InstallationRun::stepFailed(const std::string& message)
{
    const int index = runIndex_;
    const InstallComponent& component = model_.components()[static_cast<std::size_t>(index)];
    if (component.required) {
        model_.setComponentState(InstallComponent::State::failed, index);
        runIndex_ = -1;
        model_.setFailure(QString::fromStdString(message));
        model_.setStatusLine(QString::fromUtf8(InstallerModel::kStoppedStatusLine));
        model_.setIsInstalling(false);
        return;
    }
    model_.setComponentState(InstallComponent::State::skipped, index);
    model_.setComponentDetail(message, component.id);
    componentEnded(index);
}

void InstallationRun::componentEnded(int index)
{
    model_.setOverallProgress(static_cast<double>(index + 1) / static_cast<double>(runCount_));
    if (index + 1 >= runCount_)
        return complete();
    runComponent(index + 1);
}

void InstallationRun::complete()
{
    runIndex_ = -1;
    model_.setStatusLine(QString::fromUtf8(InstallerModel::kReadyStatusLine));
    model_.setIsInstalling(false);
    model_.setFinished(true);
    model_.advance();
    summaryWorker_ = std::jthread([this, setup = context_.whisper](std::stop_token stop) {
        QString summary;
        try {
            summary = InstallerModel::summarizeWhisper(setup, stop);
        } catch (const std::exception&) {
            return; // stopped: the model is going away
        }
        QMetaObject::invokeMethod(
            &model_,
            [this, summary] { model_.setWhisperSummary(summary); },
            Qt::QueuedConnection);
    });
}

// --- the steps --------------------------------------------------------------------

void InstallationRun::verifyPackage()
{
    const auto payload = model_.appPayloadPath();
    if (!payload || !isExecutableFile(*payload / "bin" / "verseloom"))
        throw InstallerError::step("The installer payload is missing its Verseloom application.");
    model_.setComponentDetail(payload->filename().string() + " verified", "verify");
}

void InstallationRun::startProfileStep()
{
    const std::string firstName = model_.firstName().toStdString();
    const std::string email = model_.email().toStdString();
    const HttpRequest request = subscriptionRequest(updatesBaseUrl(context_.updatesBaseUrl), firstName, email,
                                                    context_.subscribeTimeout);
    const auto profile = std::make_pair(trimmedFirstName(firstName), normalisedEmail(email));
    // The server has this subscription already: asking again would only repeat it.
    const bool subscribed = acceptedProfile_ == profile;
    HttpClient* http = context_.http;
    runBlocking([this, http, request, firstName, email, profile, subscribed](std::stop_token stop) -> Apply {
        if (!subscribed) {
            if (!http)
                throw InstallerError::step(kSubscriptionRejectedMessage);
            subscribeForUpdates(*http, request, stop);
        }
        return [this, firstName, email, profile] {
            acceptedProfile_ = profile;
            // The folder as it is now: the user may have changed it while the request ran.
            const std::string folder = model_.exportDestination().toStdString();
            if (context_.sharedSuite) {
                keepSettingsFilePrivate(context_.sharedSuiteFile);
                saveProfile(*context_.sharedSuite, firstName, email, folder);
            }
            model_.setComponentDetail(folder.empty() ? "Updates enabled \u00b7 app-managed exports"
                                              : "Updates enabled \u00b7 custom exports folder",
                               "profile");
        };
    });
}

std::string InstallationRun::cannotInstall() const
{
    for (const auto& component : model_.components()) {
        if (component.id == "renderer" && component.state == InstallComponent::State::done)
            return {};
    }
    if (copiedDetail_)
        return {};
    if (const auto payload = model_.appPayloadPath()) {
        try {
            checkInstallTarget(*payload, context_.destination, context_.ownFolders, context_.legacyDestination);
        } catch (const InstallerError& refused) {
            return refused.what();
        }
    }
    if ((context_.canWrite && context_.canWrite(context_.destination)) || isExecutableFile(context_.pkexecProgram))
        return {};
    return noPkexecFor(context_.destination);
}

void InstallationRun::startRendererStep()
{
    const auto payload = model_.appPayloadPath();
    if (!payload)
        throw InstallerError::step("No application payload to install.");
    const fs::path destination = context_.destination;
    const fs::path target = installTarget(destination);
    // A copy an earlier run made stays: only what failed after it (the menu entry) is done
    // again, without another password prompt.
    std::optional<std::string> copied;
    if (copiedDetail_ && isExecutableFile(target / "bin" / "verseloom"))
        copied = copiedDetail_;
    LogLine relay = relayLog();
    runBlocking([this, payload = *payload, destination, target, relay, copied](std::stop_token stop) -> Apply {
        std::string detail = copied.value_or("Installed to " + destination.string());
        if (!copied) {
            if (context_.canWrite && context_.canWrite(destination)) {
                // The user's own folder: a failure there is the user's to see, never a
                // reason to ask for root's password and leave a tree they cannot remove.
                try {
                    directInstall(payload, destination, context_.ownFolders, context_.legacyDestination);
                } catch (const fs::filesystem_error& e) {
                    const std::string where = e.path1().empty() ? "" : " (" + e.path1().string() + ")";
                    throw InstallerError::step("Verseloom could not be copied into " + destination.string() + ": " +
                                               e.code().message() + where + ".");
                }
            } else {
                if (!isExecutableFile(context_.pkexecProgram))
                    throw InstallerError::step(noPkexecFor(destination));
                relay("Waiting for administrator authorization\u2026");
                privilegedInstall(context_.pkexecProgram, payload, destination, stop, context_.ownFolders,
                                  context_.legacyDestination);
                detail += " \u00b7 authenticated";
            }
            QMetaObject::invokeMethod(
                &model_, [this, detail] { copiedDetail_ = detail; }, Qt::QueuedConnection);
        }
        writeDesktopEntry(context_.applicationsFolder, target);
        return [this, detail] { model_.setComponentDetail(detail, "renderer"); };
    });
}

void InstallationRun::checkDepthFlowEngine()
{
    const auto installed = model_.installedAppPath();
    if (!installed || !isExecutableFile(*installed / "bin" / "verseloom"))
        throw InstallerError::step("DepthFlow engine payload not found.");
    model_.setComponentDetail("Bundled \u00b7 native motion engine", "depthflow");
}

void InstallationRun::checkFonts()
{
    const auto installed = model_.installedAppPath();
    if (!installed)
        throw InstallerError::step("Application not installed.");
    std::error_code error;
    const bool present = fs::is_regular_file(*installed / "share/verseloom/fonts/Anton-Regular.ttf", error);
    model_.setComponentDetail(present ? "Anton + Permanent Marker" : "Typography ready", "fonts");
}

void InstallationRun::startWhisperInstall()
{
    LogLine relay = relayLog();
    runBlocking([setup = context_.whisper, relay](std::stop_token stop) -> Apply {
        WhisperRuntime::install(setup, relay, stop);
        return {};
    });
}

void InstallationRun::linkWhisperRuntime()
{
    if (model_.detectedWhisperPath().isEmpty())
        throw InstallerError::step("No existing Whisper runtime to link.");
    const std::string path = model_.detectedWhisperPath().toStdString();
    if (!WhisperRuntime::writeResolvedRuntime(context_.whisper, path))
        throw InstallerError::step("Could not record the Whisper runtime location.");
    model_.setComponentDetail("Linked \u00b7 " + model_.shortenedPath(path).toStdString(), "whisper-link");
}

} // namespace vl::installer
