#pragma once

#include "installer/InstallComponent.h"
#include "installer/InstallationRun.h"
#include "installer/InstallerContext.h"

#include <QObject>
#include <QString>
#include <QVariantList>

#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

namespace vl::installer {

// The installer's one state holder: the page on screen, what the user accepted, entered
// and chose, the install components and how the run over them stands. Lives on the main
// thread; the Whisper detection runs on a thread of its own and hands its result back.
// The run itself is InstallationRun, which reports through the model.
class InstallerModel : public QObject {
    Q_OBJECT
    Q_PROPERTY(int step READ stepIndex NOTIFY stepChanged)
    Q_PROPERTY(bool acceptedLicense READ acceptedLicense WRITE setAcceptedLicense NOTIFY acceptedLicenseChanged)
    Q_PROPERTY(bool acceptedTerms READ acceptedTerms WRITE setAcceptedTerms NOTIFY acceptedTermsChanged)
    Q_PROPERTY(bool acceptedPrivacy READ acceptedPrivacy WRITE setAcceptedPrivacy NOTIFY acceptedPrivacyChanged)
    Q_PROPERTY(QString destination READ destination CONSTANT)
    // The folder the program itself lands in: the destination's "verseloom".
    Q_PROPERTY(QString installFolder READ installFolder CONSTANT)
    Q_PROPERTY(QString firstName READ firstName WRITE setFirstName NOTIFY firstNameChanged)
    Q_PROPERTY(QString email READ email WRITE setEmail NOTIFY emailChanged)
    Q_PROPERTY(QString exportDestination READ exportDestination WRITE setExportDestination NOTIFY
                   exportDestinationChanged)
    Q_PROPERTY(int whisperChoice READ whisperChoiceIndex WRITE pickWhisperChoice NOTIFY whisperChoiceChanged)
    Q_PROPERTY(QString detectedWhisperPath READ detectedWhisperPath NOTIFY detectedWhisperPathChanged)
    Q_PROPERTY(bool isInstalling READ isInstalling NOTIFY isInstallingChanged)
    Q_PROPERTY(bool finished READ finished NOTIFY finishedChanged)
    Q_PROPERTY(double overallProgress READ overallProgress NOTIFY overallProgressChanged)
    Q_PROPERTY(QString statusLine READ statusLine NOTIFY statusLineChanged)
    Q_PROPERTY(QString failure READ failure NOTIFY failureChanged)
    Q_PROPERTY(QVariantList components READ componentsForView NOTIFY componentsChanged)
    Q_PROPERTY(bool canContinue READ canContinue NOTIFY canContinueChanged)
    Q_PROPERTY(bool profileIsValid READ profileIsValid NOTIFY canContinueChanged)
    // The speech engine the installed application will use, worked out once when a run
    // completes (it may wait on `which`); empty until then.
    Q_PROPERTY(QString whisperSummary READ whisperSummary NOTIFY whisperSummaryChanged)

public:
    enum class Step {
        welcome,
        license,
        terms,
        privacy,
        installLocation,
        profile,
        exportFolder,
        whisper,
        parallax,
        installation,
        complete
    };
    static constexpr int kStepCount = 11;

    enum class WhisperChoice { existing, install, appleSpeech };

    static constexpr const char* kFirstStatusLine = "Preparing your cinematic workspace\u2026";
    static constexpr const char* kReadyStatusLine = "Verseloom is ready.";
    static constexpr const char* kStoppedStatusLine = "Installation stopped.";

    // The context must outlive the model.
    explicit InstallerModel(const InstallerContext& context, QObject* parent = nullptr);
    ~InstallerModel() override;

    static QString stepTitle(Step step);
    static QString stepSymbol(Step step);
    // The completion page's sentence on speech, from what is on this machine now.
    static QString summarizeWhisper(const WhisperSetup& setup, std::stop_token stop = {});

    Step step() const { return step_; }
    int stepIndex() const { return static_cast<int>(step_); }
    bool acceptedLicense() const { return acceptedLicense_; }
    bool acceptedTerms() const { return acceptedTerms_; }
    bool acceptedPrivacy() const { return acceptedPrivacy_; }
    QString destination() const;
    QString installFolder() const;
    QString firstName() const { return firstName_; }
    QString email() const { return email_; }
    QString exportDestination() const { return exportDestination_; }
    WhisperChoice whisperChoice() const { return whisperChoice_; }
    int whisperChoiceIndex() const { return static_cast<int>(whisperChoice_); }
    QString detectedWhisperPath() const { return detectedWhisperPath_; }
    bool isInstalling() const { return isInstalling_; }
    bool finished() const { return finished_; }
    double overallProgress() const { return overallProgress_; }
    QString statusLine() const { return statusLine_; }
    QString failure() const { return failure_; }
    const std::vector<InstallComponent>& components() const { return components_; }
    QVariantList componentsForView() const;
    QString whisperSummary() const { return whisperSummary_; }

    bool canContinue() const;
    bool profileIsValid() const;

    void setAcceptedLicense(bool value);
    void setAcceptedTerms(bool value);
    void setAcceptedPrivacy(bool value);
    void setFirstName(const QString& value);
    void setEmail(const QString& value);
    void setExportDestination(const QString& value);
    // The user's own pick: a Whisper found later no longer replaces it.
    void pickWhisperChoice(int choice);
    void pickWhisperChoice(WhisperChoice choice) { pickWhisperChoice(static_cast<int>(choice)); }

    Q_INVOKABLE void advance();
    Q_INVOKABLE void goBack();
    Q_INVOKABLE void refreshComponents();
    Q_INVOKABLE void startWhisperDetection();
    Q_INVOKABLE void startInstallation();
    // Starts the installed program; nothing without a payload.
    Q_INVOKABLE void openInstalledApp();

    // The application tree the installer carries, and where it is (or will be) installed.
    std::optional<std::filesystem::path> appPayloadPath() const;
    std::optional<std::filesystem::path> installedAppPath() const;

    void setComponentState(InstallComponent::State state, int index);
    void setComponentDetail(const std::string& detail, const std::string& id);

    // A path as the pages show it, the home folder written as "~".
    QString shortenedPath(const std::string& path) const;

signals:
    void stepChanged();
    void acceptedLicenseChanged();
    void acceptedTermsChanged();
    void acceptedPrivacyChanged();
    void firstNameChanged();
    void emailChanged();
    void exportDestinationChanged();
    void whisperChoiceChanged();
    void detectedWhisperPathChanged();
    void isInstallingChanged();
    void finishedChanged();
    void overallProgressChanged();
    void statusLineChanged();
    void failureChanged();
    void componentsChanged();
    void canContinueChanged();
    void whisperSummaryChanged();

private:
    friend class InstallationRun;

    void setStep(Step step);
    void setWhisperChoice(WhisperChoice choice);
    void setDetectedWhisperPath(const QString& path);
    void setIsInstalling(bool value);
    void setFinished(bool value);
    void setOverallProgress(double value);
    void setStatusLine(const QString& value);
    void setFailure(const QString& value);
    void setWhisperSummary(const QString& value);
    void applyDetection(const std::optional<std::filesystem::path>& found);

    const InstallerContext& context_;

    Step step_ = Step::welcome;
    bool acceptedLicense_ = false;
    bool acceptedTerms_ = false;
    bool acceptedPrivacy_ = false;
    QString firstName_;
    QString email_;
    QString exportDestination_;
    WhisperChoice whisperChoice_ = WhisperChoice::appleSpeech;
    bool whisperChoicePicked_ = false;
    QString detectedWhisperPath_;
    bool isInstalling_ = false;
    bool finished_ = false;
    double overallProgress_ = 0;
    QString statusLine_ = QString::fromUtf8(kFirstStatusLine);
    QString failure_;
    std::vector<InstallComponent> components_;
    QString whisperSummary_;

    bool detecting_ = false;

    // After the state it reports into: it stops its workers before that goes away.
    InstallationRun run_;
    // Last: joined (after a stop request) before the state above goes away.
    std::jthread detectionWorker_;
};

} // namespace vl::installer
