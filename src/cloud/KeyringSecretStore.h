#pragma once

#include "cloud/SecretStore.h"

#include <memory>

namespace vl {

// The desktop's Secret Service (GNOME Keyring, KWallet) through QtKeychain, never
// falling back to a plain-text file. Safe to call from any thread, with or without
// a running Qt application.
class KeyringSecretStore : public SecretStore {
public:
    KeyringSecretStore();
    ~KeyringSecretStore() override;

    ReadResult read(std::string_view service, std::string_view account) override;
    std::int32_t write(std::string_view service, std::string_view account, std::string_view value) override;
    std::int32_t remove(std::string_view service, std::string_view account) override;

private:
    struct Worker;
    std::unique_ptr<Worker> worker_;
};

// The store the application keeps its key in.
SecretStore& systemSecretStore();

} // namespace vl
