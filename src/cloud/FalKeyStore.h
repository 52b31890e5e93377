#pragma once

#include "cloud/FalCredentialError.h"
#include "cloud/FalEndpoints.h"
#include "cloud/HttpClient.h"
#include "cloud/SecretStore.h"

#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

namespace vl {

// The user's fal API key: its format rule, its one item in the secret store, and
// the check against the vendor before it is stored.
class FalKeyStore {
public:
    static constexpr std::string_view kService = "pro.quillmarsh.verseloom.fal";
    static constexpr std::string_view kAccount = "FAL_API_KEY";

    explicit FalKeyStore(SecretStore& secrets) : secrets_(&secrets) {}

    // "<UUID>:<32 hex digits>" after trimming white space and line breaks; the
    // trimmed text with its case unchanged, or none.
    static std::optional<std::string> normalizedKey(std::string_view text);

    // The stored key when it still passes the format rule; none otherwise, never fails.
    std::optional<std::string> loadKey() const;
    // Throws FalCredentialError::invalidKey (store untouched) or ::keychain.
    void saveKey(std::string_view text) const;
    // Removing a key that is not there succeeds; throws FalCredentialError::keychainRemoval.
    void deleteKey() const;

    // Asks the vendor's model listing whether it accepts the key. Returns when it
    // does; throws FalCredentialError, HttpError for a failed transport, or Cancelled.
    static void verifyKey(std::string_view key, HttpClient& http, std::stop_token stop,
                          const FalEndpoints& endpoints = FalEndpoints::production());

private:
    SecretStore* secrets_;
};

} // namespace vl
