#include "installer/view/InstallerController.h"

#include "support/Desktop.h"
#include "support/FilePicker.h"

#include <QFile>
#include <QStandardPaths>
#include <QVariantMap>

namespace vl::installer {

using Step = InstallerModel::Step;
using Choice = InstallerModel::WhisperChoice;

FooterButtons footerButtons(Step step, bool isInstalling, bool failure, bool canContinue)
{
    FooterButtons buttons;
    buttons.back = step != Step::welcome && step != Step::complete && !isInstalling;
    if (static_cast<int>(step) <= static_cast<int>(Step::whisper)) {
        buttons.continueShown = true;
        buttons.continueEnabled = canContinue;
    } else if (step == Step::parallax) {
        buttons.install = true;
    } else if (step == Step::installation) {
        buttons.tryAgain = failure && !isInstalling;
    } else if (step == Step::complete) {
        buttons.closing = true;
    }
    return buttons;
}

QString pageTitle(Step step)
{
    switch (step) {
    case Step::welcome: return QStringLiteral("Welcome to Verseloom");
    case Step::license: return QStringLiteral("License Agreement");
    case Step::terms: return QStringLiteral("Terms of Use");
    case Step::privacy: return QStringLiteral("Privacy Policy");
    case Step::installLocation: return QStringLiteral("Confirm Install Location");
    case Step::profile: return QStringLiteral("Tell Us Who You Are");
    case Step::exportFolder: return QStringLiteral("Choose Your Save Folder");
    case Step::whisper: return QStringLiteral("Choose Speech Recognition");
    case Step::parallax: return QStringLiteral("Install the Parallax Engine");
    case Step::installation: return QStringLiteral("Installing Verseloom");
    case Step::complete: return QStringLiteral("You\u2019re All Set");
    }
    return {};
}

namespace {

QString document(const char* name)
{
    QFile file(QStringLiteral(":/verseloom/installer/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

} // namespace

InstallerController::InstallerController(InstallerModel& model, support::Desktop& desktop, Quit quit,
                                         QObject* parent)
    : QObject(parent), model_(model), desktop_(desktop), quit_(std::move(quit))
{
    connect(&model_, &InstallerModel::stepChanged, this, &InstallerController::pageChanged);
    for (auto signal : {&InstallerModel::stepChanged, &InstallerModel::isInstallingChanged,
                        &InstallerModel::failureChanged, &InstallerModel::canContinueChanged})
        connect(&model_, signal, this, &InstallerController::footerChanged);
    connect(&model_, &InstallerModel::detectedWhisperPathChanged, this, &InstallerController::whisperOptionsChanged);
    connect(&model_, &InstallerModel::whisperChoiceChanged, this, &InstallerController::whisperOptionsChanged);
    connect(&model_, &InstallerModel::exportDestinationChanged, this,
            &InstallerController::exportFolderTextChanged);
}

QVariantList InstallerController::steps() const
{
    QVariantList list;
    for (int i = 0; i < InstallerModel::kStepCount; ++i) {
        const auto step = static_cast<Step>(i);
        list.push_back(QVariantMap{{QStringLiteral("title"), InstallerModel::stepTitle(step)},
                                   {QStringLiteral("systemImage"), InstallerModel::stepSymbol(step)}});
    }
    return list;
}

FooterButtons InstallerController::footer() const
{
    return footerButtons(model_.step(), model_.isInstalling(), !model_.failure().isEmpty(), model_.canContinue());
}

QVariantList InstallerController::whisperOptions() const
{
    const auto option = [this](Choice choice, const char* systemImage, const QString& title, const QString& detail) {
        return QVariantMap{{QStringLiteral("choice"), static_cast<int>(choice)},
                           {QStringLiteral("systemImage"), QString::fromLatin1(systemImage)},
                           {QStringLiteral("title"), title},
                           {QStringLiteral("detail"), detail},
                           {QStringLiteral("selected"), model_.whisperChoice() == choice}};
    };
    QVariantList list;
    if (!model_.detectedWhisperPath().isEmpty())
        list.push_back(option(Choice::existing, "checkmark.seal.fill",
                              QStringLiteral("Use the Whisper installation found on this computer"),
                              model_.shortenedPath(model_.detectedWhisperPath().toStdString())));
    list.push_back(option(Choice::install, "arrow.down.circle", QStringLiteral("Download and install Whisper"),
                          QStringLiteral("Higher-accuracy local transcription. This is a large download and may "
                                         "take several minutes.")));
    list.push_back(option(Choice::appleSpeech, "waveform", QStringLiteral("Use On-device Speech"),
                          QStringLiteral("No additional download. You can install Whisper later if you want.")));
    return list;
}

QString InstallerController::exportFolderText() const
{
    const QString folder = model_.exportDestination();
    return folder.isEmpty() ? QStringLiteral("Use the app-managed folder") : folder;
}

QString InstallerController::installedToText() const
{
    return QStringLiteral("Installed to ") + model_.destination();
}

QString InstallerController::licenseText() const { return document("License.txt"); }
QString InstallerController::termsText() const { return document("Terms.txt"); }
QString InstallerController::privacyText() const { return document("Privacy.txt"); }

void InstallerController::windowShown()
{
    model_.refreshComponents();
    model_.startWhisperDetection();
}

void InstallerController::goBack() { model_.goBack(); }

void InstallerController::continueOn()
{
    if (footer().continueEnabled)
        model_.advance();
}

void InstallerController::install()
{
    if (!footer().install)
        return;
    model_.refreshComponents();
    model_.advance();
    model_.startInstallation();
}

void InstallerController::tryAgain()
{
    if (footer().tryAgain)
        model_.startInstallation();
}

void InstallerController::quitInstaller()
{
    if (quit_)
        quit_();
}

void InstallerController::revealInstalled()
{
    if (const auto installed = model_.installedAppPath())
        desktop_.reveal(QString::fromStdString(installed->string()));
}

void InstallerController::openAppAndQuit()
{
    model_.openInstalledApp();
    quitInstaller();
}

void InstallerController::chooseExportFolder()
{
    if (!picker_)
        return;
    support::FileRequest request;
    request.mode = support::FileRequest::Mode::Folder;
    request.title = QStringLiteral("Choose where completed videos are saved");
    request.acceptLabel = QStringLiteral("Choose");
    request.startFolder = model_.exportDestination();
    if (request.startFolder.isEmpty())
        request.startFolder = QStandardPaths::writableLocation(QStandardPaths::MoviesLocation);
    QPointer<InstallerModel> model(&model_);
    picker_->pick(request, [model](const QString& path) {
        if (model && !path.isEmpty())
            model->setExportDestination(path);
    });
}

void InstallerController::useDefaultExportFolder() { model_.setExportDestination(QString()); }

void InstallerController::pickWhisper(int choice)
{
    model_.pickWhisperChoice(choice);
    model_.refreshComponents();
}

} // namespace vl::installer
