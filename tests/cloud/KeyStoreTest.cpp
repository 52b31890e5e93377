#include "CloudTestSupport.h"

#include "cloud/FalKeyStore.h"
#include "cloud/MemorySecretStore.h"
#include "fakes/VendorReplies.h"
#include "model/Text.h"

namespace vl::testing {
namespace {

using fakes::Reply;
using fakes::Route;

TEST(KeyFormat, AcceptsOnlyUuidColonThirtyTwoHexDigits)
{
    const std::string uuid = "0b5e2c4a-1234-4abc-9def-0123456789ab";
    const std::string hex = "0123456789abcdef0123456789ABCDEF";
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {uuid + ":" + hex, uuid + ":" + hex},
        {"  " + uuid + ":" + hex + " \n", uuid + ":" + hex},
        {"\t" + std::string(kGoodKey) + "\r\n", kGoodKey},
        {uuid + ":" + hex.substr(1), std::nullopt},
        {uuid + ":" + hex + "0", std::nullopt},
        {uuid + ":" + hex.substr(1) + "g", std::nullopt},
        {uuid + hex, std::nullopt},
        {"not-a-uuid:" + hex, std::nullopt},
        {"{" + uuid + "}:" + hex, std::nullopt},
        {uuid + ":" + hex.substr(0, 16) + ":" + hex.substr(17), std::nullopt},
        {uuid + ": " + hex.substr(1), std::nullopt},
        {uuid + ":" + hex.substr(2) + "\xc3\xa9", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(FalKeyStore::normalizedKey(text), expected) << text;
}

class KeyStore : public ::testing::Test {
protected:
    MemorySecretStore secrets;
    FalKeyStore keys{secrets};

    std::optional<std::string> stored() const { return secrets.stored(FalKeyStore::kService, FalKeyStore::kAccount); }
};

TEST_F(KeyStore, SavesTheNormalizedKeyAndLoadsItBack)
{
    EXPECT_EQ(keys.loadKey(), std::nullopt);
    keys.saveKey(std::string("  ") + kGoodKey + "\n");
    EXPECT_EQ(stored(), kGoodKey);
    EXPECT_EQ(keys.loadKey(), kGoodKey);

    const std::string other = "11111111-2222-3333-4444-555555555555:ffffffffffffffffffffffffffffffff";
    keys.saveKey(other);
    EXPECT_EQ(keys.loadKey(), other);
}

TEST_F(KeyStore, RefusesAnInvalidKeyWithoutTouchingTheStore)
{
    keys.saveKey(kGoodKey);
    secrets.failWrites(SecretStatus::otherError); // a write would show up as a keyring error
    try {
        keys.saveKey("garbage");
        FAIL();
    } catch (const FalCredentialError& error) {
        EXPECT_EQ(error, FalCredentialError::invalidKey());
    }
    EXPECT_EQ(stored(), kGoodKey);
}

TEST_F(KeyStore, LoadsNothingFromABrokenOrUnreadableItem)
{
    secrets.write(FalKeyStore::kService, FalKeyStore::kAccount, "not a key");
    EXPECT_EQ(keys.loadKey(), std::nullopt);
    secrets.write(FalKeyStore::kService, FalKeyStore::kAccount, std::string(kGoodKey) + "\xff");
    EXPECT_EQ(keys.loadKey(), std::nullopt);
    keys.saveKey(kGoodKey);
    secrets.failReads(SecretStatus::accessDenied);
    EXPECT_EQ(keys.loadKey(), std::nullopt);
}

TEST_F(KeyStore, RemovingSucceedsWhetherOrNotAKeyIsThere)
{
    keys.saveKey(kGoodKey);
    EXPECT_NO_THROW(keys.deleteKey());
    EXPECT_EQ(stored(), std::nullopt);
    EXPECT_NO_THROW(keys.deleteKey());
}

TEST_F(KeyStore, KeyringFailuresSaySaveOrRemoveAsTheCaseIs)
{
    secrets.failWrites(SecretStatus::noBackendAvailable);
    try {
        keys.saveKey(kGoodKey);
        FAIL();
    } catch (const FalCredentialError& error) {
        EXPECT_EQ(error, FalCredentialError::keychain(5));
        EXPECT_STREQ(error.what(), "The fal.ai key could not be saved securely in the system keyring (5).");
    }
    secrets.failWrites(std::nullopt);
    keys.saveKey(kGoodKey);
    secrets.failRemovals(SecretStatus::accessDenied);
    try {
        keys.deleteKey();
        FAIL();
    } catch (const FalCredentialError& error) {
        EXPECT_EQ(error, FalCredentialError::keychainRemoval(4));
        EXPECT_STREQ(error.what(), "The fal.ai key could not be removed from the system keyring (4).");
    }
    EXPECT_EQ(stored(), kGoodKey);
}

TEST(CredentialErrorText, IsTheSentenceTheUserSees)
{
    const std::pair<FalCredentialError, const char*> cases[] = {
        {FalCredentialError::validationFailed(500, "details"),
         "fal.ai could not verify the key (HTTP 500). Try again in a moment."},
        {FalCredentialError::invalidKey(),
         "That does not appear to be a valid fal.ai API key. Create an API-scoped key and copy the full value."},
        {FalCredentialError::validationUnavailable(),
         "The fal.ai key could not be verified right now. Check your connection and try again."},
    };
    for (const auto& [error, text] : cases)
        EXPECT_STREQ(error.what(), text);
}

struct VerifyCase {
    const char* name;
    std::optional<Reply> answer;
    std::optional<FalCredentialError> error;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const VerifyCase& c, std::ostream* out) { *out << c.name; }

class Verification : public CloudTest, public ::testing::WithParamInterface<VerifyCase> {};

const std::string kLongBody = multibyteText(2000);

TEST_P(Verification, MapsTheVendorsAnswer)
{
    if (GetParam().answer)
        vendor.inject(Route::verifyKey, *GetParam().answer);
    const auto verify = [&] {
        FalKeyStore::verifyKey(std::string(" ") + kGoodKey + "\n", sharedHttpClient(), {}, vendor.endpoints());
    };
    if (!GetParam().error) {
        EXPECT_NO_THROW(verify());
    } else {
        try {
            verify();
            FAIL();
        } catch (const FalCredentialError& error) {
            EXPECT_EQ(error, *GetParam().error);
        }
    }
    const auto log = vendor.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].method, "GET");
    EXPECT_EQ(log[0].path, "/v1/models");
    EXPECT_EQ(log[0].query, "limit=1");
    EXPECT_EQ(log[0].header("Authorization"), std::string("Key ") + kGoodKey);
}

INSTANTIATE_TEST_SUITE_P(
    Key, Verification,
    ::testing::Values(
        VerifyCase{"Accepted", std::nullopt, std::nullopt},
        VerifyCase{"AcceptedWithoutBody", Reply::text("", 204), std::nullopt},
        VerifyCase{"Rejected401", fakes::replies::refusal(401), FalCredentialError::invalidKey()},
        VerifyCase{"Rejected403", fakes::replies::refusal(403), FalCredentialError::invalidKey()},
        VerifyCase{"ServerErrorKeeps240Characters", Reply::text(kLongBody, 500),
                   FalCredentialError::validationFailed(500, text::cutToCharacters(kLongBody, 240))},
        VerifyCase{"NonUtf8BodyIsEmpty", Reply::text("\xff\xfe", 429), FalCredentialError::validationFailed(429, "")}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CloudTest, VerificationFollowsRedirectsOnlyOnTheVendorsHosts)
{
    vendor.inject(Route::verifyKey, Reply::redirect(vendor.url("/v1/models?limit=1&hop=1"), 308));
    EXPECT_NO_THROW(FalKeyStore::verifyKey(kGoodKey, sharedHttpClient(), {}, vendor.endpoints()));
    const auto checks = vendor.requests(Route::verifyKey);
    ASSERT_EQ(checks.size(), 2u);
    EXPECT_EQ(checks[1].query, "limit=1&hop=1");
    EXPECT_EQ(checks[1].header("Authorization"), std::string("Key ") + kGoodKey);

    // Another host (another port on loopback) never sees the key.
    fakes::FakeVendor elsewhere;
    vendor.inject(Route::verifyKey, Reply::redirect(elsewhere.url("/v1/models?limit=1"), 302));
    try {
        FalKeyStore::verifyKey(kGoodKey, sharedHttpClient(), {}, vendor.endpoints());
        FAIL() << "followed to another host";
    } catch (const FalCredentialError& error) {
        EXPECT_EQ(error, FalCredentialError::validationFailed(302, ""));
    }
    EXPECT_EQ(elsewhere.requestCount(), 0u);
}

TEST_F(CloudTest, VerificationOfAMalformedKeySendsNothing)
{
    EXPECT_THROW(FalKeyStore::verifyKey("abc", sharedHttpClient(), {}, vendor.endpoints()), FalCredentialError);
    EXPECT_EQ(vendor.requestCount(), 0u);
}

TEST_F(CloudTest, VerificationPassesNetworkFailuresOn)
{
    FalEndpoints closed = FalEndpoints::loopback("http://127.0.0.1:1");
    EXPECT_THROW(FalKeyStore::verifyKey(kGoodKey, sharedHttpClient(), {}, closed), HttpError);
}

} // namespace
} // namespace vl::testing
