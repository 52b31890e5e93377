#include "cloud/FalKeyStore.h"
#include "cloud/KeyringSecretStore.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace vl {
namespace {

const std::string kKey = "0B5E2C4A-1234-4ABC-9DEF-0123456789AB:0123456789abcdef0123456789ABCDEF";
const std::string kOtherKey = "11111111-2222-3333-4444-555555555555:ffffffffffffffffffffffffffffffff";

TEST(Keyring, StoresReadsReplacesAndDeletesTheKey)
{
    FalKeyStore keys(systemSecretStore());
    keys.deleteKey();
    EXPECT_EQ(keys.loadKey(), std::nullopt);

    keys.saveKey(" " + kKey + "\n");
    EXPECT_EQ(keys.loadKey(), kKey);
    keys.saveKey(kOtherKey);
    EXPECT_EQ(keys.loadKey(), kOtherKey);

    // The value really is in the Secret Service, under the names other tools look for.
    KeyringSecretStore separate;
    const auto raw = separate.read(FalKeyStore::kService, FalKeyStore::kAccount);
    EXPECT_EQ(raw.status, SecretStatus::ok);
    EXPECT_EQ(raw.value, kOtherKey);

    keys.deleteKey();
    EXPECT_EQ(keys.loadKey(), std::nullopt);
    EXPECT_NO_THROW(keys.deleteKey());
}

TEST(Keyring, AnswersWorkerThreadsAtOnce)
{
    FalKeyStore keys(systemSecretStore());
    keys.saveKey(kKey);
    std::vector<std::optional<std::string>> loaded(6);
    {
        std::vector<std::jthread> workers;
        for (auto& slot : loaded)
            workers.emplace_back([&keys, &slot] { slot = keys.loadKey(); });
    }
    for (const auto& value : loaded)
        EXPECT_EQ(value, kKey);
    keys.deleteKey();
}

TEST(Keyring, NoPlainFileAppearsInHome)
{
    FalKeyStore keys(systemSecretStore());
    keys.saveKey(kKey);
    const char* home = std::getenv("HOME");
    ASSERT_NE(home, nullptr);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) {
        if (!entry.is_regular_file() || entry.path().extension() == ".keyring")
            continue; // the keyring's own encrypted file
        std::ifstream file(entry.path(), std::ios::binary);
        const std::string content((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        EXPECT_EQ(content.find(kKey.substr(37)), std::string::npos) << entry.path();
    }
    keys.deleteKey();
}

} // namespace
} // namespace vl

// The application object exists, as in the real program, but its loop never runs:
// the store must not depend on it.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
