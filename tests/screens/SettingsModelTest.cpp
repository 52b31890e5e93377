#include "cloud/FalCredentialError.h"
#include "cloud/FalKeyStore.h"
#include "cloud/MemorySecretStore.h"
#include "design/Intent.h"
#include "pipeline/FakeTranscriber.h"
#include "pipeline/StoreHarness.h"
#include "screens/keysetup/KeySetupController.h"
#include "screens/settings/SettingsModel.h"

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::screens;
using vl::testing::kTestKey;
using vl::testing::StoreHarness;

namespace {

struct SettingsPage {
    explicit SettingsPage(std::string engine = "Local Whisper")
    {
        PipelineServices services;
        services.transcriber = std::make_shared<vl::testing::FakeTranscriber>(std::move(engine));
        store = h.make(ProjectStore::sampleProject(), services);
        KeySetupContext c;
        c.secrets = &secrets;
        c.http = &sharedHttpClient();
        c.endpoints = h.vendor.endpoints();
        c.clipboard = &clipboard;
        c.watchInterval = std::chrono::milliseconds(0);
        keys = std::make_unique<KeySetupController>(store.get(), c);
        model = std::make_unique<SettingsModel>(store.get(), &secrets, keys.get());
    }

    StoreHarness h;
    MemorySecretStore secrets;
    MemoryClipboard clipboard;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<KeySetupController> keys;
    std::unique_ptr<SettingsModel> model;
};

} // namespace

TEST(SettingsModel, TheEngineRowFollowsTheEnginesName)
{
    struct Case {
        std::string engine;
        const char* symbol;
        const char* chip;
        int intent;
        bool whisperText;
    };
    const std::vector<Case> cases = {
        {"Local Whisper", "cpu", "Ready", design::Intent::Good, true},
        {"On-device Speech", "waveform", "Ready", design::Intent::Good, false},
        {"None", "waveform", "Unavailable", design::Intent::Bad, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.engine);
        SettingsPage s(c.engine);
        EXPECT_EQ(s.model->engineName().toStdString(), c.engine);
        EXPECT_EQ(s.model->engineSymbol(), c.symbol);
        EXPECT_EQ(s.model->engineChipText(), c.chip);
        EXPECT_EQ(s.model->engineChipIntent(), c.intent);
        if (c.whisperText)
            EXPECT_EQ(s.model->engineExplanation(), "Using your local Whisper install.");
        else
            EXPECT_EQ(s.model->engineExplanation(),
                      "Install Whisper (e.g. `pip install openai-whisper`) for higher-accuracy timing; otherwise "
                      "the built-in speech recognizer is used.");
    }
}

TEST(SettingsModel, WhileWatchingTheEngineIsLookedUpAgain)
{
    auto engine = std::make_shared<vl::testing::FakeTranscriber>("On-device Speech");
    PipelineServices engines;
    engines.transcriber = engine;
    StoreHarness h;
    auto store = h.make(ProjectStore::sampleProject(), engines);
    MemorySecretStore secrets;
    SettingsModel model(store.get(), &secrets, nullptr, std::chrono::milliseconds(10));
    EXPECT_FALSE(model.watching());

    engine->setName("Local Whisper");
    model.setWatching(true);
    EXPECT_EQ(model.engineName().toStdString(), "Local Whisper") << "looked up at once when the window shows";
    engine->setName("None");
    EXPECT_TRUE(vl::testing::waitUntil([&] { return model.engineName() == "None"; })) << "and again while it shows";

    model.setWatching(false);
    EXPECT_FALSE(model.watching());
    model.refresh();
    EXPECT_EQ(model.engineName().toStdString(), "None");
}

TEST(SettingsModel, TheKeyPanelFollowsTheStoresFlag)
{
    SettingsPage s;
    EXPECT_FALSE(s.model->hasKey());
    EXPECT_EQ(s.model->connectionChipText(), "Not connected");
    EXPECT_EQ(s.model->connectionChipIntent(), design::Intent::Warn);
    EXPECT_EQ(s.model->connectButtonText(), "Connect Fal");
    EXPECT_EQ(s.model->connectionExplanation(), "Connect an API-scoped fal.ai key before generating cloud assets.");

    s.store->setHasFalAPIKey(true);
    EXPECT_TRUE(s.model->hasKey());
    EXPECT_EQ(s.model->connectionChipText(), "Connected");
    EXPECT_EQ(s.model->connectionChipIntent(), design::Intent::Good);
    EXPECT_EQ(s.model->connectButtonText(), "Replace Key");
    EXPECT_TRUE(s.model->connectionExplanation().contains("system keyring"));
}

TEST(SettingsModel, ClosingTheKeySheetRereadsTheKeyring)
{
    SettingsPage s;
    s.store->setHasFalAPIKey(true);
    s.model->keySheetClosed();
    EXPECT_FALSE(s.store->hasFalAPIKey()) << "nothing is stored";
    FalKeyStore(s.secrets).saveKey(kTestKey);
    s.model->keySheetClosed();
    EXPECT_TRUE(s.store->hasFalAPIKey());
}

TEST(SettingsModel, AFailedRemovalShowsItsMessageUntilALaterSuccess)
{
    SettingsPage s;
    FalKeyStore(s.secrets).saveKey(kTestKey);
    s.store->setHasFalAPIKey(true);

    s.secrets.failRemovals(SecretStatus::accessDenied);
    s.model->removeKey();
    EXPECT_TRUE(s.model->hasCredentialError());
    EXPECT_EQ(s.model->credentialError().toStdString(),
              FalCredentialError::keychainRemoval(SecretStatus::accessDenied).what());
    EXPECT_TRUE(s.store->hasFalAPIKey()) << "the flag stays as it was";

    s.secrets.failRemovals(std::nullopt);
    s.model->removeKey();
    EXPECT_FALSE(s.model->hasCredentialError());
    EXPECT_FALSE(s.store->hasFalAPIKey());

    // A key saved through the sheet also clears an old failure.
    s.secrets.failRemovals(SecretStatus::otherError);
    s.model->removeKey();
    ASSERT_TRUE(s.model->hasCredentialError());
    s.keys->verifyAndSave(kTestKey);
    ASSERT_TRUE(vl::testing::waitUntil([&] { return !s.keys->isValidating(); }));
    EXPECT_TRUE(s.store->hasFalAPIKey());
    EXPECT_FALSE(s.model->hasCredentialError());
}

TEST(SettingsModel, VersionComesFromTheBuild)
{
    EXPECT_EQ(SettingsModel::versionText(nullptr), "Development");
    EXPECT_EQ(SettingsModel::versionText(""), "Development");
    EXPECT_EQ(SettingsModel::versionText("1.4.2"), "1.4.2");
    SettingsPage s;
    EXPECT_FALSE(s.model->versionText().isEmpty());
}

// The relay field stores only an address the user typed, resolved once editing ends.
TEST(SettingsModel, TheRelayStoresWhatWasTypedWhenEditingEnds)
{
    SettingsPage s;
    const std::string defaultRelay = s.store->proxyBaseURL();
    s.model->relayEditingFinished();
    EXPECT_FALSE(s.h.settings.string("proxyBaseURL")) << "an edit with nothing typed stores nothing";

    for (const char* typed : {"h", "https://relay.example.org/r/"}) {
        s.model->relayEdited(QString::fromUtf8(typed));
        EXPECT_EQ(s.store->proxyBaseURL(), typed) << "shown as typed";
        EXPECT_FALSE(s.h.settings.string("proxyBaseURL")) << "nothing stored while typing";
    }
    s.model->relayEditingFinished();
    EXPECT_EQ(s.h.settings.string("proxyBaseURL"), std::string("https://relay.example.org/r"));
    EXPECT_EQ(s.store->proxyBaseURL(), "https://relay.example.org/r");

    s.model->relayEdited("http://plain.example.org");
    s.model->relayEditingFinished();
    EXPECT_EQ(s.h.settings.string("proxyBaseURL"), defaultRelay) << "a refused address stores the default";
    EXPECT_EQ(s.store->proxyBaseURL(), defaultRelay);

    s.h.settings.remove("proxyBaseURL");
    s.model->relayEditingFinished();
    EXPECT_FALSE(s.h.settings.string("proxyBaseURL")) << "the next edit starts with nothing typed";
}
