#pragma once

#include "cloud/SecretStore.h"
#include "pipeline/ProjectStore.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <optional>

namespace vl::screens {

class KeySetupController;

// What the settings window decides: the transcription engine's row, the key panel's
// texts and actions, and the version. It reads the store and the keyring and writes
// only the store's key flag and its three settings.
class SettingsModel final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application builds the settings model.")
    Q_PROPERTY(QString subtitle READ subtitle CONSTANT)
    Q_PROPERTY(QString engineName READ engineName NOTIFY engineChanged)
    Q_PROPERTY(QString engineSymbol READ engineSymbol NOTIFY engineChanged)
    Q_PROPERTY(QString engineChipText READ engineChipText NOTIFY engineChanged)
    Q_PROPERTY(int engineChipIntent READ engineChipIntent NOTIFY engineChanged)
    Q_PROPERTY(QString engineExplanation READ engineExplanation NOTIFY engineChanged)
    Q_PROPERTY(QString connectionKicker READ connectionKicker CONSTANT)
    Q_PROPERTY(bool hasKey READ hasKey NOTIFY hasKeyChanged)
    Q_PROPERTY(QString connectionChipText READ connectionChipText NOTIFY hasKeyChanged)
    Q_PROPERTY(int connectionChipIntent READ connectionChipIntent NOTIFY hasKeyChanged)
    Q_PROPERTY(QString connectionExplanation READ connectionExplanation NOTIFY hasKeyChanged)
    Q_PROPERTY(QString connectButtonText READ connectButtonText NOTIFY hasKeyChanged)
    Q_PROPERTY(QString credentialError READ credentialError NOTIFY credentialErrorChanged)
    Q_PROPERTY(bool hasCredentialError READ hasCredentialError NOTIFY credentialErrorChanged)
    Q_PROPERTY(QString versionText READ versionText CONSTANT)
    Q_PROPERTY(bool watching READ watching WRITE setWatching NOTIFY watchingChanged)

public:
    // `keySetup` (optional): a key it saves clears an earlier removal error.
    // `engineLookInterval`: how often the engine is looked up again while watching.
    SettingsModel(ProjectStore* store, SecretStore* secrets, KeySetupController* keySetup = nullptr,
                  std::chrono::milliseconds engineLookInterval = std::chrono::seconds(2),
                  QObject* parent = nullptr);

    // The version as the build gives it, or "Development" when it gives none.
    static QString versionText(const char* buildVersion);

    QString subtitle() const;
    QString engineName() const { return engineName_; }
    QString engineSymbol() const;
    QString engineChipText() const;
    int engineChipIntent() const;
    QString engineExplanation() const;
    QString connectionKicker() const;
    bool hasKey() const;
    QString connectionChipText() const;
    int connectionChipIntent() const;
    QString connectionExplanation() const;
    QString connectButtonText() const;
    QString credentialError() const { return credentialError_.value_or(QString()); }
    bool hasCredentialError() const { return credentialError_.has_value(); }
    QString versionText() const;

    // Looks the transcription engine up again.
    Q_INVOKABLE void refresh();
    // While the window is shown the engine is looked up now and then, so a Whisper
    // installed or removed meanwhile shows without reopening it.
    bool watching() const { return engineLook_.isActive(); }
    void setWatching(bool watching);
    // Removes the stored key, without asking; a keyring failure becomes the message.
    Q_INVOKABLE void removeKey();
    // The key sheet went away: the flag follows the keyring.
    Q_INVOKABLE void keySheetClosed();
    // The relay field. A half-typed address would resolve to the default at once and
    // the field would jump to it under the user's fingers, so what is typed is shown as
    // typed, and stored (resolved) when editing ends; ending an edit in which nothing
    // was typed stores nothing, so a default nobody chose is never written down.
    Q_INVOKABLE void relayEdited(const QString& text);
    Q_INVOKABLE void relayEditingFinished();

signals:
    void engineChanged();
    void hasKeyChanged();
    void credentialErrorChanged();
    void watchingChanged();

private:
    void setCredentialError(std::optional<QString> message);
    void refreshKeyFlag();

    QPointer<ProjectStore> store_;
    SecretStore* secrets_;
    QString engineName_;
    std::optional<QString> credentialError_;
    bool relayTyped_ = false;
    QTimer engineLook_;
};

} // namespace vl::screens
