#include "model/Settings.h"

namespace vl {

namespace {
template <typename T, typename Map>
std::optional<T> lookup(const Map& values, std::string_view key)
{
    const auto it = values.find(key);
    if (it == values.end())
        return std::nullopt;
    if (const T* v = std::get_if<T>(&it->second))
        return *v;
    return std::nullopt;
}
} // namespace

std::optional<std::string> MemorySettings::string(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    return lookup<std::string>(values_, key);
}
std::optional<long long> MemorySettings::integer(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    return lookup<long long>(values_, key);
}
std::optional<bool> MemorySettings::boolean(std::string_view key) const
{
    std::lock_guard lock(mutex_);
    return lookup<bool>(values_, key);
}
void MemorySettings::setString(std::string_view key, std::string_view value)
{
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), Value{std::string(value)});
}
void MemorySettings::setInteger(std::string_view key, long long value)
{
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), Value{value});
}
void MemorySettings::setBoolean(std::string_view key, bool value)
{
    std::lock_guard lock(mutex_);
    values_.insert_or_assign(std::string(key), Value{value});
}
void MemorySettings::remove(std::string_view key)
{
    std::lock_guard lock(mutex_);
    if (auto it = values_.find(key); it != values_.end())
        values_.erase(it);
}

} // namespace vl
