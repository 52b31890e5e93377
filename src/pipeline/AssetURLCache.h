#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace vl {

// Local file path -> address of its uploaded copy, so each file goes up once.
// Uploads run on workers, so the map guards itself.
class AssetURLCache {
public:
    std::optional<std::string> find(const std::string& path) const
    {
        std::lock_guard lock(mutex_);
        const auto it = urls_.find(path);
        return it == urls_.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    void insert(const std::string& path, std::string url)
    {
        std::lock_guard lock(mutex_);
        urls_.insert_or_assign(path, std::move(url));
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        urls_.clear();
    }
    std::size_t size() const
    {
        std::lock_guard lock(mutex_);
        return urls_.size();
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, std::string> urls_;
};

} // namespace vl
