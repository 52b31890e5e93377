#pragma once

#include "cloud/SecretStore.h"

#include <map>
#include <mutex>
#include <optional>
#include <utility>

namespace vl {

// A secret store in memory, for tests: it can be made to refuse any operation with
// a given status, as a locked or missing keyring would.
class MemorySecretStore : public SecretStore {
public:
    ReadResult read(std::string_view service, std::string_view account) override;
    std::int32_t write(std::string_view service, std::string_view account, std::string_view value) override;
    std::int32_t remove(std::string_view service, std::string_view account) override;

    void failReads(std::optional<std::int32_t> status);
    void failWrites(std::optional<std::int32_t> status);
    void failRemovals(std::optional<std::int32_t> status);

    // The raw stored value, bypassing any injected failure.
    std::optional<std::string> stored(std::string_view service, std::string_view account) const;

private:
    using Key = std::pair<std::string, std::string>;
    mutable std::mutex mutex_;
    std::map<Key, std::string> items_;
    std::optional<std::int32_t> readFailure_, writeFailure_, removeFailure_;
};

} // namespace vl
