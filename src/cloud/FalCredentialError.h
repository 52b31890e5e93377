#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace vl {

// Failures of the key store and of key verification; what() is the sentence the
// key sheet and the settings screen show.
class FalCredentialError : public std::runtime_error {
public:
    enum class Kind {
        keychain,             // status of the secret store when saving
        validationFailed,     // HTTP status and the first 240 characters of the answer (not shown)
        invalidKey,
        validationUnavailable,
        keychainRemoval,      // status of the secret store when removing
    };

    static FalCredentialError keychain(std::int32_t status) { return {Kind::keychain, status, 0, {}}; }
    static FalCredentialError keychainRemoval(std::int32_t status) { return {Kind::keychainRemoval, status, 0, {}}; }
    static FalCredentialError validationFailed(int httpStatus, std::string body)
    {
        return {Kind::validationFailed, 0, httpStatus, std::move(body)};
    }
    static FalCredentialError invalidKey() { return {Kind::invalidKey, 0, 0, {}}; }
    static FalCredentialError validationUnavailable() { return {Kind::validationUnavailable, 0, 0, {}}; }

    Kind kind() const { return kind_; }
    std::int32_t keychainStatus() const { return keychainStatus_; }
    int httpStatus() const { return httpStatus_; }
    const std::string& body() const { return body_; }

    friend bool operator==(const FalCredentialError& a, const FalCredentialError& b)
    {
        return a.kind_ == b.kind_ && a.keychainStatus_ == b.keychainStatus_ && a.httpStatus_ == b.httpStatus_
               && a.body_ == b.body_;
    }

private:
    FalCredentialError(Kind kind, std::int32_t keychainStatus, int httpStatus, std::string body);
    static std::string describe(Kind kind, std::int32_t keychainStatus, int httpStatus);

    Kind kind_;
    std::int32_t keychainStatus_;
    int httpStatus_;
    std::string body_;
};

} // namespace vl
