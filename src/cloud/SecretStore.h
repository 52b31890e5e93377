#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vl {

// Status codes of a secret store. They follow QtKeychain's error numbering, so the
// number a user reads in a message is the one the keyring layer reported.
namespace SecretStatus {
inline constexpr std::int32_t ok = 0;
inline constexpr std::int32_t notFound = 1;
inline constexpr std::int32_t couldNotDelete = 2;
inline constexpr std::int32_t accessDeniedByUser = 3;
inline constexpr std::int32_t accessDenied = 4;
inline constexpr std::int32_t noBackendAvailable = 5;
inline constexpr std::int32_t notImplemented = 6;
inline constexpr std::int32_t otherError = 7;
} // namespace SecretStatus

// Where secrets live: one text per (service, account). Calls are synchronous and
// may come from any thread.
class SecretStore {
public:
    struct ReadResult {
        std::int32_t status = SecretStatus::notFound;
        std::string value;
    };

    virtual ~SecretStore() = default;
    virtual ReadResult read(std::string_view service, std::string_view account) = 0;
    // Adds the item or replaces its value; on failure the previous value stays.
    virtual std::int32_t write(std::string_view service, std::string_view account, std::string_view value) = 0;
    // notFound when there was nothing to remove.
    virtual std::int32_t remove(std::string_view service, std::string_view account) = 0;
};

} // namespace vl
