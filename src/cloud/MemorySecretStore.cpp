#include "cloud/MemorySecretStore.h"

namespace vl {

SecretStore::ReadResult MemorySecretStore::read(std::string_view service, std::string_view account)
{
    std::lock_guard lock(mutex_);
    if (readFailure_)
        return {*readFailure_, {}};
    const auto it = items_.find({std::string(service), std::string(account)});
    if (it == items_.end())
        return {SecretStatus::notFound, {}};
    return {SecretStatus::ok, it->second};
}

std::int32_t MemorySecretStore::write(std::string_view service, std::string_view account, std::string_view value)
{
    std::lock_guard lock(mutex_);
    if (writeFailure_)
        return *writeFailure_;
    items_[{std::string(service), std::string(account)}] = std::string(value);
    return SecretStatus::ok;
}

std::int32_t MemorySecretStore::remove(std::string_view service, std::string_view account)
{
    std::lock_guard lock(mutex_);
    if (removeFailure_)
        return *removeFailure_;
    return items_.erase({std::string(service), std::string(account)}) ? SecretStatus::ok : SecretStatus::notFound;
}

void MemorySecretStore::failReads(std::optional<std::int32_t> status)
{
    std::lock_guard lock(mutex_);
    readFailure_ = status;
}

void MemorySecretStore::failWrites(std::optional<std::int32_t> status)
{
    std::lock_guard lock(mutex_);
    writeFailure_ = status;
}

void MemorySecretStore::failRemovals(std::optional<std::int32_t> status)
{
    std::lock_guard lock(mutex_);
    removeFailure_ = status;
}

std::optional<std::string> MemorySecretStore::stored(std::string_view service, std::string_view account) const
{
    std::lock_guard lock(mutex_);
    const auto it = items_.find({std::string(service), std::string(account)});
    if (it == items_.end())
        return std::nullopt;
    return it->second;
}

} // namespace vl
