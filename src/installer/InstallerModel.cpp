#include "installer/InstallerModel.h"

#include "installer/AppCopy.h"
#include "installer/UpdateSubscription.h"
#include "model/Settings.h"

#include <QMetaObject>
#include <QVariantMap>

#include <array>

namespace vl::installer {

namespace fs = std::filesystem;

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
    : QObject(parent), context_(context), components_(baseComponents()), run_(*this, context)
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

QString InstallerModel::installFolder() const { return fromPath(context_.destination / kAppFolderName); }

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
        // A failed command's detail is the command, then the last lines it printed: the
        // command may be cut to fit, the lines that say why may not.
        const QString detail = QString::fromStdString(component.detail.value_or(std::string()));
        const qsizetype lineBreak = detail.indexOf(QLatin1Char('\n'));
        item[QStringLiteral("detail")] = lineBreak < 0 ? detail : detail.left(lineBreak);
        item[QStringLiteral("reason")] = lineBreak < 0 ? QString() : detail.mid(lineBreak + 1);
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

void InstallerModel::setWhisperSummary(const QString& value)
{
    if (whisperSummary_ == value)
        return;
    whisperSummary_ = value;
    emit whisperSummaryChanged();
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

void InstallerModel::startInstallation() { run_.start(); }

} // namespace vl::installer
