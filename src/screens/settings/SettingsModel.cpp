#include "screens/settings/SettingsModel.h"

#include "cloud/FalCredentialError.h"
#include "cloud/FalEndpoints.h"
#include "cloud/FalKeyStore.h"
#include "design/Intent.h"
#include "media/transcription/Transcriber.h"
#include "screens/keysetup/KeySetupController.h"

#include <utility>

namespace vl::screens {

namespace {

constexpr auto kLocalWhisper = "Local Whisper";
constexpr auto kNoEngine = "None";

QString domain()
{
    return QString::fromUtf8(kFalWebDomain.data(), static_cast<qsizetype>(kFalWebDomain.size()));
}

} // namespace

SettingsModel::SettingsModel(ProjectStore* store, SecretStore* secrets, KeySetupController* keySetup,
                             std::chrono::milliseconds engineLookInterval, QObject* parent)
    : QObject(parent), store_(store), secrets_(secrets)
{
    engineLook_.setInterval(engineLookInterval);
    connect(&engineLook_, &QTimer::timeout, this, &SettingsModel::refresh);
    if (store_)
        connect(store_, &ProjectStore::hasFalAPIKeyChanged, this, &SettingsModel::hasKeyChanged);
    if (keySetup)
        connect(keySetup, &KeySetupController::keySaved, this, [this] { setCredentialError(std::nullopt); });
    refresh();
}

QString SettingsModel::versionText(const char* buildVersion)
{
    if (buildVersion == nullptr || *buildVersion == '\0')
        return QStringLiteral("Development");
    return QString::fromUtf8(buildVersion);
}

QString SettingsModel::versionText() const
{
#ifdef VL_VERSION
    return versionText(VL_VERSION);
#else
    return versionText(nullptr);
#endif
}

QString SettingsModel::subtitle() const
{
    return QStringLiteral("Transcription can run locally. Cloud generation uses your connected %1 account.")
        .arg(domain());
}

void SettingsModel::refresh()
{
    QString name = QString::fromLatin1(kNoEngine);
    if (store_ && store_->services().transcriber)
        name = QString::fromStdString(store_->services().transcriber->name());
    if (name == engineName_)
        return;
    engineName_ = name;
    emit engineChanged();
}

void SettingsModel::setWatching(bool watching)
{
    if (watching == this->watching())
        return;
    if (watching) {
        refresh();
        engineLook_.start();
    } else {
        engineLook_.stop();
    }
    emit watchingChanged();
}

QString SettingsModel::engineSymbol() const
{
    return engineName_ == QLatin1String(kLocalWhisper) ? QStringLiteral("cpu") : QStringLiteral("waveform");
}

QString SettingsModel::engineChipText() const
{
    return engineName_ == QLatin1String(kNoEngine) ? QStringLiteral("Unavailable") : QStringLiteral("Ready");
}

int SettingsModel::engineChipIntent() const
{
    return engineName_ == QLatin1String(kNoEngine) ? design::Intent::Bad : design::Intent::Good;
}

QString SettingsModel::engineExplanation() const
{
    if (engineName_ == QLatin1String(kLocalWhisper))
        return QStringLiteral("Using your local Whisper install.");
    return QStringLiteral("Install Whisper (e.g. `pip install openai-whisper`) for higher-accuracy timing; "
                          "otherwise the built-in speech recognizer is used.");
}

QString SettingsModel::connectionKicker() const
{
    return domain() + QStringLiteral(" connection");
}

bool SettingsModel::hasKey() const
{
    return store_ && store_->hasFalAPIKey();
}

QString SettingsModel::connectionChipText() const
{
    return hasKey() ? QStringLiteral("Connected") : QStringLiteral("Not connected");
}

int SettingsModel::connectionChipIntent() const
{
    return hasKey() ? design::Intent::Good : design::Intent::Warn;
}

QString SettingsModel::connectionExplanation() const
{
    if (hasKey())
        return QStringLiteral("Your user-owned key is stored in the system keyring. Generation requests go directly "
                              "from this computer to %1 and use your Fal credits.")
            .arg(domain());
    return QStringLiteral("Connect an API-scoped %1 key before generating cloud assets.").arg(domain());
}

QString SettingsModel::connectButtonText() const
{
    return hasKey() ? QStringLiteral("Replace Key") : QStringLiteral("Connect Fal");
}

void SettingsModel::setCredentialError(std::optional<QString> message)
{
    if (message == credentialError_)
        return;
    credentialError_ = std::move(message);
    emit credentialErrorChanged();
}

void SettingsModel::refreshKeyFlag()
{
    if (store_)
        store_->setHasFalAPIKey(FalKeyStore(*secrets_).loadKey().has_value());
}

void SettingsModel::removeKey()
{
    try {
        FalKeyStore(*secrets_).deleteKey();
    } catch (const FalCredentialError& e) {
        setCredentialError(QString::fromStdString(e.what()));
        return;
    }
    // A removal that worked makes an older failure's message stale.
    setCredentialError(std::nullopt);
    refreshKeyFlag();
}

void SettingsModel::keySheetClosed()
{
    refreshKeyFlag();
}

void SettingsModel::relayEdited(const QString& text)
{
    if (!store_)
        return;
    relayTyped_ = true;
    store_->setProxyBaseURL(text.toStdString());
}

void SettingsModel::relayEditingFinished()
{
    if (!store_ || !std::exchange(relayTyped_, false))
        return;
    store_->updateProxyBaseURL(store_->proxyBaseURL());
}

} // namespace vl::screens
