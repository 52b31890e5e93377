#pragma once

#include "cloud/SecretStore.h"

namespace vl {

// The desktop's Secret Service (GNOME Keyring, KWallet) through QtKeychain, never
// falling back to a plain-text file. Safe to call from any thread once a Qt
// application object exists, whether or not its event loop runs yet; before that,
// every call answers SecretStatus::noBackendAvailable.
class KeyringSecretStore : public SecretStore {
public:
    ReadResult read(std::string_view service, std::string_view account) override;
    std::int32_t write(std::string_view service, std::string_view account, std::string_view value) override;
    std::int32_t remove(std::string_view service, std::string_view account) override;
};

// The store the application keeps its key in.
SecretStore& systemSecretStore();

} // namespace vl
