#pragma once

#include "installer/InstallerModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <functional>

namespace vl::support {
class Desktop;
class FilePicker;
} // namespace vl::support

namespace vl::installer {

// Which buttons the window's footer shows, and whether Continue may be pressed.
struct FooterButtons {
    bool back = false;
    bool continueShown = false;
    bool continueEnabled = false;
    bool install = false;
    bool tryAgain = false;
    bool closing = false; // "Quit Installer", "Reveal in File Manager", "Open App"

    bool operator==(const FooterButtons&) const = default;
};

FooterButtons footerButtons(InstallerModel::Step step, bool isInstalling, bool failure, bool canContinue);

// The header title of each page (longer than the sidebar's step titles).
QString pageTitle(InstallerModel::Step step);

// What the installer window decides beside the model: the footer, the page title, the
// speech options on offer, the export folder as shown, the documents, and the actions
// that reach past the model (the folder dialog, the file manager, quitting). The window
// is given it as Main.qml's required property.
class InstallerController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The installer's shell builds the controller.")
    Q_PROPERTY(vl::installer::InstallerModel* model READ modelObject CONSTANT)
    Q_PROPERTY(QString pageTitle READ currentPageTitle NOTIFY pageChanged)
    Q_PROPERTY(QVariantList steps READ steps CONSTANT)
    Q_PROPERTY(bool showBack READ showBack NOTIFY footerChanged)
    Q_PROPERTY(bool showContinue READ showContinue NOTIFY footerChanged)
    Q_PROPERTY(bool continueEnabled READ continueEnabled NOTIFY footerChanged)
    Q_PROPERTY(bool showInstall READ showInstall NOTIFY footerChanged)
    Q_PROPERTY(bool showTryAgain READ showTryAgain NOTIFY footerChanged)
    Q_PROPERTY(bool showClosing READ showClosing NOTIFY footerChanged)
    Q_PROPERTY(QVariantList whisperOptions READ whisperOptions NOTIFY whisperOptionsChanged)
    Q_PROPERTY(QString exportFolderText READ exportFolderText NOTIFY exportFolderTextChanged)
    Q_PROPERTY(QString installedToText READ installedToText CONSTANT)
    Q_PROPERTY(QString licenseText READ licenseText CONSTANT)
    Q_PROPERTY(QString termsText READ termsText CONSTANT)
    Q_PROPERTY(QString privacyText READ privacyText CONSTANT)

public:
    using Quit = std::function<void()>;

    InstallerController(InstallerModel& model, support::Desktop& desktop, Quit quit, QObject* parent = nullptr);

    // The folder dialog exists once the window's engine does.
    void setFilePicker(support::FilePicker* picker) { picker_ = picker; }

    InstallerModel& model() const { return model_; }
    InstallerModel* modelObject() const { return &model_; }
    QString currentPageTitle() const { return pageTitle(model_.step()); }
    QVariantList steps() const;
    FooterButtons footer() const;
    bool showBack() const { return footer().back; }
    bool showContinue() const { return footer().continueShown; }
    bool continueEnabled() const { return footer().continueEnabled; }
    bool showInstall() const { return footer().install; }
    bool showTryAgain() const { return footer().tryAgain; }
    bool showClosing() const { return footer().closing; }
    QVariantList whisperOptions() const;
    QString exportFolderText() const;
    QString installedToText() const;
    QString licenseText() const;
    QString termsText() const;
    QString privacyText() const;

    // The window has appeared: build the component list and look for Whisper.
    Q_INVOKABLE void windowShown();
    Q_INVOKABLE void goBack();
    Q_INVOKABLE void continueOn();
    Q_INVOKABLE void install();
    Q_INVOKABLE void tryAgain();
    Q_INVOKABLE void quitInstaller();
    Q_INVOKABLE void revealInstalled();
    Q_INVOKABLE void openAppAndQuit();
    Q_INVOKABLE void chooseExportFolder();
    Q_INVOKABLE void useDefaultExportFolder();
    Q_INVOKABLE void pickWhisper(int choice);

signals:
    void pageChanged();
    void footerChanged();
    void whisperOptionsChanged();
    void exportFolderTextChanged();

private:
    InstallerModel& model_;
    support::Desktop& desktop_;
    Quit quit_;
    support::FilePicker* picker_ = nullptr;
};

} // namespace vl::installer
