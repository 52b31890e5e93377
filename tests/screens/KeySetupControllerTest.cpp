#include "cloud/FalCredentialError.h"
#include "cloud/FalKeyStore.h"
#include "cloud/MemorySecretStore.h"
#include "fakes/FakeDesktop.h"
#include "fakes/VendorReplies.h"
#include "pipeline/StoreHarness.h"
#include "screens/keysetup/KeySetupController.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace vl;
using namespace vl::screens;
using vl::testing::kTestKey;
using vl::testing::StoreHarness;
using vl::testing::waitUntil;

namespace {

constexpr const char* kOtherKey = "6FA459EA-EE8A-3CA4-894E-DB77E160355E:fedcba9876543210fedcba9876543210";

std::string invalidKeyText() { return FalCredentialError::invalidKey().what(); }

// A controller over a store, an in-memory keyring, a memory clipboard and the fake
// vendor; the watch does not run by itself: the test ticks.
struct KeySheet {
    KeySheet()
    {
        store = h.make(ProjectStore::sampleProject());
        controller = makeController();
    }

    std::unique_ptr<KeySetupController> makeController()
    {
        KeySetupContext c;
        c.secrets = &secrets;
        c.http = &sharedHttpClient();
        c.endpoints = h.vendor.endpoints();
        c.clipboard = &clipboard;
        c.desktop = &desktop;
        c.watchInterval = std::chrono::milliseconds(0);
        return std::make_unique<KeySetupController>(store.get(), std::move(c));
    }

    // Waits for the verification under way to end and its outcome to land.
    bool settle()
    {
        return waitUntil([&] { return !controller->isValidating(); });
    }
    void copy(const std::string& text) { clipboard.setText(text); }
    std::size_t checks() const { return h.vendor.requests(fakes::Route::verifyKey).size(); }
    std::optional<std::string> savedKey() const { return FalKeyStore(const_cast<MemorySecretStore&>(secrets)).loadKey(); }

    StoreHarness h;
    MemorySecretStore secrets;
    MemoryClipboard clipboard;
    test::FakeDesktop desktop;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<KeySetupController> controller;
};

} // namespace

TEST(KeySetup, OpensIdleAndIgnoresAKeyAlreadyOnTheClipboard)
{
    KeySheet s;
    s.copy(kTestKey);
    s.controller->open();
    EXPECT_EQ(s.controller->footerText(), "Sign in or create an account, then create and copy an API key.");
    EXPECT_FALSE(s.controller->isValidating());
    for (int i = 0; i < 3; ++i)
        s.controller->tick();
    EXPECT_FALSE(s.controller->isValidating());
    EXPECT_EQ(s.checks(), 0u);
    EXPECT_FALSE(s.store->hasFalAPIKey());
}

TEST(KeySetup, ACopiedKeyIsVerifiedSavedAndTakenOffTheClipboard)
{
    struct Case {
        const char* name;
        std::string copied;
    };
    for (const Case& c : {Case{"exact", kTestKey}, Case{"padded", std::string("  ") + kTestKey + "\n"}}) {
        SCOPED_TRACE(c.name);
        KeySheet s;
        s.controller->open();
        s.copy(c.copied);
        s.controller->tick();
        EXPECT_TRUE(s.controller->isValidating());
        EXPECT_EQ(s.controller->footerText(), "Verifying the copied key with fal.ai...");
        ASSERT_TRUE(s.settle());

        EXPECT_EQ(s.checks(), 1u);
        const auto check = s.h.vendor.requests(fakes::Route::verifyKey).front();
        EXPECT_EQ(check.header("authorization"), std::string("Key ") + kTestKey);
        EXPECT_EQ(s.secrets.stored(FalKeyStore::kService, FalKeyStore::kAccount), std::string(kTestKey));
        EXPECT_TRUE(s.store->hasFalAPIKey());
        EXPECT_FALSE(s.clipboard.text().has_value()) << "the key does not stay on the clipboard";
        EXPECT_FALSE(s.controller->hasError());
        EXPECT_EQ(s.controller->statusMessage(),
                  "Connected. The key was saved in the system keyring and removed from the clipboard.");

        // Clearing counted as a change; the next look finds nothing to do.
        s.controller->tick();
        EXPECT_FALSE(s.controller->isValidating());
        EXPECT_EQ(s.checks(), 1u);
    }
}

TEST(KeySetup, AManualKeyLeavesOtherClipboardTextAlone)
{
    KeySheet s;
    s.controller->open();
    s.copy("a shopping list");
    s.controller->tick();
    EXPECT_FALSE(s.controller->isValidating()) << "text without the key's form is ignored";

    s.controller->setManualKey(QString(" ") + kTestKey);
    EXPECT_TRUE(s.controller->canVerifyManualKey());
    s.controller->verifyManualKey();
    EXPECT_FALSE(s.controller->canVerifyManualKey()) << "no second check while one runs";
    ASSERT_TRUE(s.settle());
    EXPECT_EQ(s.savedKey(), std::string(kTestKey));
    EXPECT_EQ(s.clipboard.text(), std::string("a shopping list"));
    EXPECT_EQ(s.controller->statusMessage(), "Connected. The key was saved in the system keyring.");
    EXPECT_TRUE(s.controller->manualKey().isEmpty());
    EXPECT_TRUE(s.store->hasFalAPIKey());
}

TEST(KeySetup, ACopyMadeDuringACheckIsTakenUpRightAfterIt)
{
    KeySheet s;
    // The first check answers slowly, so the second copy lands while it runs.
    s.h.vendor.inject(fakes::Route::verifyKey, [] {
        auto r = fakes::replies::keyAccepted();
        r.delay = std::chrono::milliseconds(400);
        return r;
    }());
    s.controller->open();
    s.copy(kTestKey);
    s.controller->tick();
    ASSERT_TRUE(s.controller->isValidating());
    s.copy(kOtherKey);
    s.controller->tick(); // skipped: a check is running
    ASSERT_TRUE(s.settle());
    EXPECT_EQ(s.checks(), 1u);
    EXPECT_EQ(s.savedKey(), std::string(kTestKey));
    EXPECT_EQ(s.clipboard.text(), std::string(kOtherKey)) << "a different key stays on the clipboard";

    s.controller->tick();
    ASSERT_TRUE(s.settle());
    EXPECT_EQ(s.checks(), 2u);
    EXPECT_EQ(s.savedKey(), std::string(kOtherKey));
}

TEST(KeySetup, ARefusedKeyShowsWhyAndIsNotRetriedUntilTheClipboardChanges)
{
    KeySheet s;
    s.h.vendor.inject(fakes::Route::verifyKey, fakes::replies::refusal(401, "No"), 1);
    s.controller->open();
    s.copy(kTestKey);
    s.controller->tick();
    ASSERT_TRUE(s.settle());
    EXPECT_TRUE(s.controller->hasError());
    EXPECT_EQ(s.controller->footerText().toStdString(), invalidKeyText());
    EXPECT_FALSE(s.store->hasFalAPIKey());
    EXPECT_FALSE(s.savedKey().has_value());
    EXPECT_EQ(s.clipboard.text(), std::string(kTestKey)) << "a refused key is not cleared";

    for (int i = 0; i < 3; ++i)
        s.controller->tick();
    EXPECT_EQ(s.checks(), 1u);

    // The same key copied again is a new copy: checked again, and this time accepted.
    s.copy(kTestKey);
    s.controller->tick();
    EXPECT_FALSE(s.controller->hasError()) << "a new attempt replaces the error at once";
    ASSERT_TRUE(s.settle());
    EXPECT_EQ(s.checks(), 2u);
    EXPECT_TRUE(s.store->hasFalAPIKey());
}

TEST(KeySetup, TheSameKeyCopiedTwiceIsCheckedTwice)
{
    KeySheet s;
    s.controller->open();
    for (int i = 0; i < 2; ++i) {
        s.copy(kTestKey);
        s.controller->tick();
        ASSERT_TRUE(s.settle());
    }
    EXPECT_EQ(s.checks(), 2u);
}

TEST(KeySetup, FailuresShowTheirSentenceAndChangeNothing)
{
    struct Case {
        const char* name;
        std::function<void(KeySheet&)> arrange;
        QString typed;
        std::string message;
        std::size_t checks;
    };
    const std::vector<Case> cases = {
        {"keyring refuses the write", [](KeySheet& s) { s.secrets.failWrites(SecretStatus::accessDenied); },
         kTestKey, FalCredentialError::keychain(SecretStatus::accessDenied).what(), 1},
        {"spaces only", [](KeySheet&) {}, "   ", invalidKeyText(), 0},
        {"vendor error",
         [](KeySheet& s) { s.h.vendor.inject(fakes::Route::verifyKey, fakes::Reply::text("down", 503)); }, kTestKey,
         FalCredentialError::validationFailed(503, "").what(), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeySheet s;
        s.copy(kTestKey);
        c.arrange(s);
        s.controller->open();
        s.controller->setManualKey(c.typed);
        EXPECT_TRUE(s.controller->canVerifyManualKey()) << "only an empty field disables the button";
        s.controller->verifyManualKey();
        ASSERT_TRUE(s.settle());
        EXPECT_EQ(s.controller->errorMessage().toStdString(), c.message);
        EXPECT_EQ(s.checks(), c.checks);
        EXPECT_FALSE(s.store->hasFalAPIKey());
        EXPECT_FALSE(s.secrets.stored(FalKeyStore::kService, FalKeyStore::kAccount).has_value());
        EXPECT_EQ(s.clipboard.text(), std::string(kTestKey));
        EXPECT_EQ(s.controller->manualKey(), c.typed) << "the typed key stays for another try";
    }
}

TEST(KeySetup, AnUnreachableVendorSaysTheCheckIsUnavailable)
{
    KeySheet s;
    KeySetupContext c;
    c.secrets = &s.secrets;
    c.http = &sharedHttpClient();
    c.endpoints = FalEndpoints::loopback("http://127.0.0.1:1"); // nothing listens there
    c.clipboard = &s.clipboard;
    c.watchInterval = std::chrono::milliseconds(0);
    KeySetupController controller(s.store.get(), c);
    controller.open();
    controller.verifyAndSave(kTestKey);
    ASSERT_TRUE(waitUntil([&] { return !controller.isValidating(); }));
    EXPECT_EQ(controller.errorMessage().toStdString(), FalCredentialError::validationUnavailable().what());
}

TEST(KeySetup, ACheckOutlivingTheSheetStillSavesAndTeardownWaitsForIt)
{
    KeySheet s;
    auto slow = fakes::replies::keyAccepted();
    slow.delay = std::chrono::milliseconds(300);
    s.h.vendor.inject(fakes::Route::verifyKey, slow);
    s.controller->open();
    s.controller->setManualKey(kTestKey);
    s.controller->verifyManualKey();
    s.controller->close();
    EXPECT_TRUE(s.controller->manualKey().isEmpty()) << "closing forgets the typed key";
    ASSERT_TRUE(s.settle());
    EXPECT_TRUE(s.store->hasFalAPIKey());
    EXPECT_EQ(s.savedKey(), std::string(kTestKey));

    // Destroyed while a check runs: it is stopped and joined, nothing lands afterwards.
    auto held = fakes::replies::keyAccepted();
    held.delay = std::chrono::milliseconds(2000);
    s.h.vendor.inject(fakes::Route::verifyKey, held);
    s.store->setHasFalAPIKey(false);
    s.controller->verifyAndSave(kOtherKey);
    s.controller.reset();
    vl::testing::spin(50);
    EXPECT_FALSE(s.store->hasFalAPIKey());
}

TEST(KeySetup, ReopeningStartsAfresh)
{
    KeySheet s;
    s.h.vendor.inject(fakes::Route::verifyKey, fakes::replies::refusal(403, "No"), 1);
    s.controller->open();
    s.controller->setCurrentURL(QUrl("https://fal.ai/dashboard/keys"));
    s.controller->verifyAndSave(kTestKey);
    ASSERT_TRUE(s.settle());
    ASSERT_TRUE(s.controller->hasError());
    s.controller->close();
    s.controller->open();
    EXPECT_FALSE(s.controller->hasError());
    EXPECT_EQ(s.controller->statusMessage(), KeySetupController::initialStatus());
    EXPECT_FALSE(s.controller->isOnKeysPage());
}

TEST(KeySetup, KeysPageIsFoundInTheDecodedPathOnly)
{
    const std::vector<std::pair<const char*, bool>> cases = {
        {"https://fal.ai/dashboard/keys", true},
        {"https://fal.ai/dashboard/keys?tab=api", true},
        {"https://fal.ai/dashboard%2Fkeys", true},
        {"https://fal.ai/team/x/dashboard/keys/new", true},
        {"https://fal.ai/login?next=/dashboard/keys", false},
        {"https://fal.ai/dashboard", false},
        {"", false},
    };
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(KeySetupController::isKeysPage(QUrl(address)), expected) << address;
}

TEST(KeySetup, OpenInBrowserAsksTheDesktopForTheKeysPage)
{
    KeySheet s;
    s.controller->openInBrowser();
    ASSERT_EQ(s.desktop.opened.size(), 1u);
    EXPECT_EQ(s.desktop.opened.front(), QUrl("https://fal.ai/dashboard/keys"));
}

TEST(KeySetup, TheKeyNeverReachesALogOrAFile)
{
    static QStringList messages;
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext&, const QString& message) { messages << message; });
    const QString home = qEnvironmentVariable("HOME");
    const std::filesystem::path errFile = std::filesystem::path(home.toStdString()) / "stderr.txt";
    std::fflush(stderr);
    const int savedErr = ::dup(2);
    FILE* capture = std::fopen(errFile.c_str(), "w");
    ::dup2(::fileno(capture), 2);
    {
        KeySheet s;
        s.controller->open();
        s.copy(std::string(" ") + kTestKey);
        s.controller->tick();
        ASSERT_TRUE(s.settle());
        s.h.vendor.inject(fakes::Route::verifyKey, fakes::replies::refusal(401, "No"));
        s.controller->setManualKey(kOtherKey);
        s.controller->verifyManualKey();
        ASSERT_TRUE(s.settle());
        EXPECT_TRUE(s.store->hasFalAPIKey());
    }
    std::fflush(stderr);
    ::dup2(savedErr, 2);
    ::close(savedErr);
    std::fclose(capture);
    qInstallMessageHandler(previous);

    const std::string secret = std::string(kTestKey).substr(37);
    const std::string other = std::string(kOtherKey).substr(37);
    for (const QString& m : messages)
        EXPECT_FALSE(m.contains(QString::fromStdString(secret)) || m.contains(QString::fromStdString(other)));
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home.toStdString())) {
        if (!entry.is_regular_file())
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(content.find(secret), std::string::npos) << entry.path();
        EXPECT_EQ(content.find(other), std::string::npos) << entry.path();
    }
}
