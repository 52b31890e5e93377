#include "installer/InstallerModel.h"

#include "installer/AppCopy.h"
#include "installer/DesktopEntry.h"
#include "installer/InstallerError.h"
#include "installer/UpdateSubscription.h"
#include "model/Cancellation.h"
#include "model/Log.h"
#include "model/Settings.h"

#include <QMetaObject>
#include <QTimer>
#include <QVariantMap>

#include <array>

namespace vl::installer {

namespace fs = std::filesystem;

const char* stateName(InstallComponent::State state)
{
    switch (state) {
    case InstallComponent::State::pending: return "pending";
    case InstallComponent::State::running: return "running";
    case InstallComponent::State::done: return "done";
    case InstallComponent::State::failed: return "failed";
    case InstallComponent::State::skipped: return "skipped";
    }
    return "pending";
}

namespace {

struct StepInfo {
    const char* title;
    const char* systemImage;
};

constexpr std::array<StepInfo, InstallerModel::kStepCount> kSteps = {{
    {"Welcome", "gearshape"},
    {"License", "doc.text"},
    {"Terms", "checklist"},
    {"Privacy", "lock.shield"},
    {"Install Location", "app.badge"},
    {"Name & Email", "person.text.rectangle"},
    {"Save Folder", "folder"},
    {"Whisper", "waveform"},
    {"Parallax", "cube.transparent"},
    {"Installing", "square.and.arrow.down.on.square"},
    {"Complete", "checkmark.seal"},
}};

std::vector<InstallComponent> baseComponents()
{
    const auto required = [](const char* id, const char* title, const char* systemImage) {
        InstallComponent component;
        component.id = id;
        component.title = title;
        component.systemImage = systemImage;
        return component;
    };
    return {
        required("verify", "Verify Package", "checkmark.seal"),
        required("profile", "Save Update Preferences", "person.crop.circle.badge.checkmark"),
        required("renderer", "Install Local Renderer", "square.and.arrow.down.on.square"),
        required("depthflow", "Install OpenGL Parallax Engine", "cube.transparent"),
        required("fonts", "Configure Typography Assets", "textformat"),
    };
}

QString fromPath(const fs::path& path) { return QString::fromStdString(path.string()); }

std::string suiteString(Settings* suite, const char* key)
{
    if (!suite)
        return {};
    return suite->string(key).value_or(std::string());
}

} // namespace

InstallerModel::InstallerModel(const InstallerContext& context, QObject* parent)
    : QObject(parent), context_(context), components_(baseComponents())
{
    firstName_ = QString::fromStdString(suiteString(context_.sharedSuite, kSubscriberFirstNameKey));
    email_ = QString::fromStdString(suiteString(context_.sharedSuite, kSubscriberEmailKey));
    exportDestination_ = QString::fromStdString(suiteString(context_.sharedSuite, kDefaultExportDestinationKey));
}

InstallerModel::~InstallerModel() = default;

QString InstallerModel::stepTitle(Step step) { return QString::fromUtf8(kSteps[static_cast<int>(step)].title); }

QString InstallerModel::stepSymbol(Step step)
{
    return QString::fromUtf8(kSteps[static_cast<int>(step)].systemImage);
}

QString InstallerModel::statusLineFor(const std::string& id)
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

QString InstallerModel::summarizeWhisper(const WhisperSetup& setup, std::stop_token stop)
{
    if (WhisperRuntime::venvWhisperPath(setup))
        return QStringLiteral("Local Whisper runtime is installed. Transcription runs fully on-device.");
    auto linked = WhisperRuntime::readResolvedRuntime(setup);
    if (!linked)
        linked = WhisperRuntime::detectWhisper(setup, stop);
    if (linked)
        return QStringLiteral("Verseloom is linked to your Whisper runtime at %1. Transcription runs on-device.")
            .arg(QString::fromStdString(shortenedForHome(linked->string(), setup.lookup.home.string())));
    return QStringLiteral(
        "Transcription uses On-device Speech. You can add the local Whisper runtime later from the installer.");
}

QString InstallerModel::destination() const { return fromPath(context_.destination); }

QVariantList InstallerModel::componentsForView() const
{
    QVariantList list;
    for (const auto& component : components_) {
        QVariantMap item;
        item[QStringLiteral("id")] = QString::fromStdString(component.id);
        item[QStringLiteral("title")] = QString::fromStdString(component.title);
        item[QStringLiteral("systemImage")] = QString::fromStdString(component.systemImage);
        item[QStringLiteral("required")] = component.required;
        item[QStringLiteral("state")] = QString::fromLatin1(stateName(component.state));
        item[QStringLiteral("detail")] = QString::fromStdString(component.detail.value_or(std::string()));
        list.push_back(item);
    }
    return list;
}

bool InstallerModel::profileIsValid() const
{
    return installer::profileIsValid(firstName_.toStdString(), email_.toStdString());
}

bool InstallerModel::canContinue() const
{
    switch (step_) {
    case Step::license: return acceptedLicense_;
    case Step::terms: return acceptedTerms_;
    case Step::privacy: return acceptedPrivacy_;
    case Step::profile: return profileIsValid();
    case Step::installation: return finished_;
    default: return true;
    }
}

// --- fields -----------------------------------------------------------------------

void InstallerModel::setStep(Step step)
{
    if (step_ == step)
        return;
    step_ = step;
    emit stepChanged();
    emit canContinueChanged();
}

void InstallerModel::setAcceptedLicense(bool value)
{
    if (acceptedLicense_ == value)
        return;
    acceptedLicense_ = value;
    emit acceptedLicenseChanged();
    emit canContinueChanged();
}

void InstallerModel::setAcceptedTerms(bool value)
{
    if (acceptedTerms_ == value)
        return;
    acceptedTerms_ = value;
    emit acceptedTermsChanged();
    emit canContinueChanged();
}

void InstallerModel::setAcceptedPrivacy(bool value)
{
    if (acceptedPrivacy_ == value)
        return;
    acceptedPrivacy_ = value;
    emit acceptedPrivacyChanged();
    emit canContinueChanged();
}

void InstallerModel::setFirstName(const QString& value)
{
    if (firstName_ == value)
        return;
    firstName_ = value;
    emit firstNameChanged();
    emit canContinueChanged();
}

void InstallerModel::setEmail(const QString& value)
{
    if (email_ == value)
        return;
    email_ = value;
    emit emailChanged();
    emit canContinueChanged();
}

void InstallerModel::setExportDestination(const QString& value)
{
    if (exportDestination_ == value)
        return;
    exportDestination_ = value;
    emit exportDestinationChanged();
}

void InstallerModel::pickWhisperChoice(int choice)
{
    if (choice < 0 || choice > static_cast<int>(WhisperChoice::appleSpeech))
        return;
    whisperChoicePicked_ = true;
    setWhisperChoice(static_cast<WhisperChoice>(choice));
}

void InstallerModel::setWhisperChoice(WhisperChoice choice)
{
    if (whisperChoice_ == choice)
        return;
    whisperChoice_ = choice;
    emit whisperChoiceChanged();
}

void InstallerModel::setDetectedWhisperPath(const QString& path)
{
    if (detectedWhisperPath_ == path)
        return;
    detectedWhisperPath_ = path;
    emit detectedWhisperPathChanged();
}

void InstallerModel::setIsInstalling(bool value)
{
    if (isInstalling_ == value)
        return;
    isInstalling_ = value;
    emit isInstallingChanged();
}

void InstallerModel::setFinished(bool value)
{
    if (finished_ == value)
        return;
    finished_ = value;
    emit finishedChanged();
    emit canContinueChanged();
}

void InstallerModel::setOverallProgress(double value)
{
    if (overallProgress_ == value)
        return;
    overallProgress_ = value;
    emit overallProgressChanged();
}

void InstallerModel::setStatusLine(const QString& value)
{
    if (statusLine_ == value)
        return;
    statusLine_ = value;
    emit statusLineChanged();
}

void InstallerModel::setFailure(const QString& value)
{
    if (failure_ == value)
        return;
    failure_ = value;
    emit failureChanged();
}

void InstallerModel::setComponentState(InstallComponent::State state, int index)
{
    if (index < 0 || index >= static_cast<int>(components_.size()))
        return;
    if (components_[static_cast<std::size_t>(index)].state == state)
        return;
    components_[static_cast<std::size_t>(index)].state = state;
    emit componentsChanged();
}

void InstallerModel::setComponentDetail(const std::string& detail, const std::string& id)
{
    for (auto& component : components_) {
        if (component.id == id) {
            component.detail = detail;
            emit componentsChanged();
            return;
        }
    }
}

QString InstallerModel::shortenedPath(const std::string& path) const
{
    return QString::fromStdString(shortenedForHome(path, context_.whisper.lookup.home.string()));
}

// --- pages ------------------------------------------------------------------------

void InstallerModel::advance()
{
    if (step_ != Step::complete)
        setStep(static_cast<Step>(static_cast<int>(step_) + 1));
}

void InstallerModel::goBack()
{
    if (!isInstalling_ && step_ != Step::welcome)
        setStep(static_cast<Step>(static_cast<int>(step_) - 1));
}

void InstallerModel::refreshComponents()
{
    if (isInstalling_ || finished_)
        return;
    std::vector<InstallComponent> list = baseComponents();
    if (whisperChoice_ == WhisperChoice::install) {
        list.push_back({.id = "whisper",
                        .title = "Install Whisper Runtime",
                        .systemImage = "waveform",
                        .required = false,
                        .detail = "Optional \u00b7 local speech-to-text"});
    } else if (whisperChoice_ == WhisperChoice::existing && !detectedWhisperPath_.isEmpty()) {
        list.push_back({.id = "whisper-link",
                        .title = "Link Whisper Runtime",
                        .systemImage = "waveform.badge.magnifyingglass",
                        .required = false,
                        .detail = "Detected \u00b7 " + shortenedPath(detectedWhisperPath_.toStdString()).toStdString()});
    }
    components_ = std::move(list);
    emit componentsChanged();
}

void InstallerModel::startWhisperDetection()
{
    if (!detectedWhisperPath_.isEmpty() || detecting_)
        return;
    // The installer's own runtime is already there: nothing to link.
    if (WhisperRuntime::venvWhisperPath(context_.whisper))
        return;
    detecting_ = true;
    detectionWorker_ = std::jthread([this, setup = context_.whisper](std::stop_token stop) {
        std::optional<fs::path> found;
        try {
            found = WhisperRuntime::detectWhisper(setup, stop);
        } catch (const std::exception&) {
            return; // stopped: the model is going away
        }
        QMetaObject::invokeMethod(this, [this, found] { applyDetection(found); }, Qt::QueuedConnection);
    });
}

void InstallerModel::applyDetection(const std::optional<fs::path>& found)
{
    detecting_ = false;
    setDetectedWhisperPath(found ? fromPath(*found) : QString());
    // A found Whisper is offered, and chosen only while the user has not chosen.
    if (found && !whisperChoicePicked_)
        setWhisperChoice(WhisperChoice::existing);
    refreshComponents();
}

std::optional<fs::path> InstallerModel::appPayloadPath() const
{
    const fs::path payload = context_.payloadFolder / kAppFolderName;
    std::error_code error;
    if (context_.payloadFolder.empty() || !fs::is_directory(payload, error))
        return std::nullopt;
    return payload;
}

std::optional<fs::path> InstallerModel::installedAppPath() const
{
    if (!appPayloadPath())
        return std::nullopt;
    return context_.destination / kAppFolderName;
}

void InstallerModel::openInstalledApp()
{
    const auto installed = installedAppPath();
    if (installed && context_.launch)
        context_.launch(*installed / "bin" / "verseloom");
}

// --- the run ----------------------------------------------------------------------

void InstallerModel::startInstallation()
{
    if (isInstalling_ || finished_)
        return;
    // Found out before anything is sent or copied, so that Try Again cannot repeat a run
    // that is bound to stop at the copy.
    if (const std::string missing = missingRights(); !missing.empty()) {
        for (std::size_t i = 0; i < components_.size(); ++i) {
            if (components_[i].id == "renderer")
                setComponentState(InstallComponent::State::failed, static_cast<int>(i));
        }
        setFailure(QString::fromStdString(missing));
        setStatusLine(QString::fromUtf8(kStoppedStatusLine));
        return;
    }
    setIsInstalling(true);
    setFailure({});
    const std::uint64_t run = ++runId_;
    QTimer::singleShot(0, this, [this, run] {
        if (run != runId_)
            return;
        runCount_ = static_cast<int>(components_.size());
        if (runCount_ == 0) {
            completeRun();
            return;
        }
        runComponent(0);
    });
}

void InstallerModel::runComponent(int index)
{
    runIndex_ = index;
    const InstallComponent component = components_[static_cast<std::size_t>(index)];
    // Try Again goes on where the stopped run failed: what succeeded stays done.
    if (component.state == InstallComponent::State::done)
        return componentEnded(index);
    setComponentState(InstallComponent::State::running, index);
    if (const QString line = statusLineFor(component.id); !line.isEmpty())
        setStatusLine(line);

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

void InstallerModel::runBlocking(BlockingStep work)
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
            this,
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

LogLine InstallerModel::relayLog()
{
    const std::uint64_t run = runId_;
    const int index = runIndex_;
    return [this, run, index](const std::string& line) {
        QMetaObject::invokeMethod(
            this,
            [this, run, index, text = QString::fromStdString(line)] {
                if (isInstalling_ && run == runId_ && index == runIndex_)
                    setStatusLine(text);
            },
            Qt::QueuedConnection);
    };
}

void InstallerModel::stepSucceeded()
{
    const std::uint64_t run = runId_;
    const int index = runIndex_;
    QTimer::singleShot(context_.pause, this, [this, run, index] {
        if (run != runId_ || index != runIndex_)
            return;
        setComponentState(InstallComponent::State::done, index);
        componentEnded(index);
    });
}

void InstallerModel::stepFailed(const std::string& message)
{
    const int index = runIndex_;
    const InstallComponent& component = components_[static_cast<std::size_t>(index)];
    if (component.required) {
        setComponentState(InstallComponent::State::failed, index);
        runIndex_ = -1;
        setFailure(QString::fromStdString(message));
        setStatusLine(QString::fromUtf8(kStoppedStatusLine));
        setIsInstalling(false);
        return;
    }
    setComponentState(InstallComponent::State::skipped, index);
    setComponentDetail(message, component.id);
    componentEnded(index);
}

void InstallerModel::componentEnded(int index)
{
    setOverallProgress(static_cast<double>(index + 1) / static_cast<double>(runCount_));
    if (index + 1 >= runCount_)
        return completeRun();
    runComponent(index + 1);
}

void InstallerModel::completeRun()
{
    runIndex_ = -1;
    setStatusLine(QString::fromUtf8(kReadyStatusLine));
    setIsInstalling(false);
    setFinished(true);
    advance();
    summaryWorker_ = std::jthread([this, setup = context_.whisper](std::stop_token stop) {
        QString summary;
        try {
            summary = summarizeWhisper(setup, stop);
        } catch (const std::exception&) {
            return; // stopped: the model is going away
        }
        QMetaObject::invokeMethod(
            this,
            [this, summary] {
                whisperSummary_ = summary;
                emit whisperSummaryChanged();
            },
            Qt::QueuedConnection);
    });
}

// --- the steps --------------------------------------------------------------------

void InstallerModel::verifyPackage()
{
    const auto payload = appPayloadPath();
    if (!payload || !isExecutableFile(*payload / "bin" / "verseloom"))
        throw InstallerError::step("The installer payload is missing its Verseloom application.");
    setComponentDetail(payload->filename().string() + " verified", "verify");
}

void InstallerModel::startProfileStep()
{
    const std::string firstName = firstName_.toStdString();
    const std::string email = email_.toStdString();
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
            const std::string folder = exportDestination_.toStdString();
            if (context_.sharedSuite) {
                keepSettingsFilePrivate(context_.sharedSuiteFile);
                saveProfile(*context_.sharedSuite, firstName, email, folder);
            }
            setComponentDetail(folder.empty() ? "Updates enabled \u00b7 app-managed exports"
                                              : "Updates enabled \u00b7 custom exports folder",
                               "profile");
        };
    });
}

std::string InstallerModel::missingRights() const
{
    for (const auto& component : components_) {
        if (component.id == "renderer" && component.state == InstallComponent::State::done)
            return {};
    }
    if (copiedDetail_ || (context_.canWrite && context_.canWrite(context_.destination)) ||
        isExecutableFile(context_.pkexecProgram))
        return {};
    return administratorRightsUnavailable("Installing into " + context_.destination.string() +
                                          " needs administrator rights, and pkexec is not installed to ask for them");
}

void InstallerModel::startRendererStep()
{
    const auto payload = appPayloadPath();
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
            bool direct = false;
            std::string directFailure;
            if (context_.canWrite && context_.canWrite(destination)) {
                try {
                    directInstall(payload, destination);
                    direct = true;
                } catch (const std::exception& e) {
                    directFailure = e.what();
                    logLine("Installer",
                            "direct copy failed (" + directFailure + "); asking for administrator rights.");
                }
            }
            if (!direct) {
                if (!directFailure.empty() && !isExecutableFile(context_.pkexecProgram))
                    throw InstallerError::step(administratorRightsUnavailable(
                        "Verseloom could not be copied into " + destination.string() + " (" + directFailure +
                        "), and pkexec is not installed to ask for administrator rights"));
                relay("Waiting for administrator authorization\u2026");
                privilegedInstall(context_.pkexecProgram, payload, destination, stop);
                detail += " \u00b7 authenticated";
            }
            QMetaObject::invokeMethod(
                this, [this, detail] { copiedDetail_ = detail; }, Qt::QueuedConnection);
        }
        writeDesktopEntry(context_.applicationsFolder, target);
        return [this, detail] { setComponentDetail(detail, "renderer"); };
    });
}

void InstallerModel::checkDepthFlowEngine()
{
    const auto installed = installedAppPath();
    if (!installed || !isExecutableFile(*installed / "bin" / "verseloom"))
        throw InstallerError::step("DepthFlow engine payload not found.");
    setComponentDetail("Bundled \u00b7 native motion engine", "depthflow");
}

void InstallerModel::checkFonts()
{
    const auto installed = installedAppPath();
    if (!installed)
        throw InstallerError::step("Application not installed.");
    std::error_code error;
    const bool present = fs::is_regular_file(*installed / "share/verseloom/fonts/Anton-Regular.ttf", error);
    setComponentDetail(present ? "Anton + Permanent Marker" : "Typography ready", "fonts");
}

void InstallerModel::startWhisperInstall()
{
    LogLine relay = relayLog();
    runBlocking([setup = context_.whisper, relay](std::stop_token stop) -> Apply {
        WhisperRuntime::install(setup, relay, stop);
        return {};
    });
}

void InstallerModel::linkWhisperRuntime()
{
    if (detectedWhisperPath_.isEmpty())
        throw InstallerError::step("No existing Whisper runtime to link.");
    const std::string path = detectedWhisperPath_.toStdString();
    if (!WhisperRuntime::writeResolvedRuntime(context_.whisper, path))
        throw InstallerError::step("Could not record the Whisper runtime location.");
    setComponentDetail("Linked \u00b7 " + shortenedPath(path).toStdString(), "whisper-link");
}

} // namespace vl::installer
