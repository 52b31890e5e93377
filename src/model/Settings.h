#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace vl {

// The user's defaults: a flat store of keyed values. Production code uses the
// QSettings-backed implementation of the pipeline layer; tests use MemorySettings.
class Settings {
public:
    virtual ~Settings() = default;

    virtual std::optional<std::string> string(std::string_view key) const = 0;
    virtual std::optional<long long> integer(std::string_view key) const = 0;
    virtual std::optional<bool> boolean(std::string_view key) const = 0;

    virtual void setString(std::string_view key, std::string_view value) = 0;
    virtual void setInteger(std::string_view key, long long value) = 0;
    virtual void setBoolean(std::string_view key, bool value) = 0;
    virtual void remove(std::string_view key) = 0;

    // Writes pending changes where another process can read them; nothing to do in memory.
    virtual void sync() {}
};

class MemorySettings final : public Settings {
public:
    std::optional<std::string> string(std::string_view key) const override;
    std::optional<long long> integer(std::string_view key) const override;
    std::optional<bool> boolean(std::string_view key) const override;

    void setString(std::string_view key, std::string_view value) override;
    void setInteger(std::string_view key, long long value) override;
    void setBoolean(std::string_view key, bool value) override;
    void remove(std::string_view key) override;

private:
    using Value = std::variant<std::string, long long, bool>;
    mutable std::mutex mutex_;
    std::map<std::string, Value, std::less<>> values_;
};

} // namespace vl
