#include "pipeline/AssetURLCache.h"

namespace vl {

AssetURLCache::Key AssetURLCache::keyFor(const std::string& path)
{
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    const auto stamp = std::filesystem::last_write_time(path, error);
    return {path, error ? 0 : size, error ? 0 : static_cast<long long>(stamp.time_since_epoch().count())};
}

std::string AssetURLCache::getOrUpload(const std::string& path, const std::function<std::string()>& upload)
{
    const Key key = keyFor(path);
    std::shared_future<std::string> pending;
    std::promise<std::string> promise;
    {
        std::lock_guard lock(mutex_);
        if (const auto it = urls_.find(key); it != urls_.end())
            return it->second;
        if (const auto it = inFlight_.find(key); it != inFlight_.end())
            pending = it->second;
        else
            inFlight_.emplace(key, promise.get_future().share());
    }
    if (pending.valid())
        return pending.get(); // someone else is uploading this very file

    try {
        std::string url = upload();
        std::lock_guard lock(mutex_);
        urls_.insert_or_assign(key, url);
        inFlight_.erase(key);
        promise.set_value(url);
        return url;
    } catch (...) {
        std::lock_guard lock(mutex_);
        inFlight_.erase(key);
        promise.set_exception(std::current_exception());
        throw;
    }
}

std::optional<std::string> AssetURLCache::find(const std::string& path) const
{
    const Key key = keyFor(path);
    std::lock_guard lock(mutex_);
    const auto it = urls_.find(key);
    return it == urls_.end() ? std::nullopt : std::optional<std::string>(it->second);
}

void AssetURLCache::clear()
{
    std::lock_guard lock(mutex_);
    urls_.clear();
}

std::size_t AssetURLCache::size() const
{
    std::lock_guard lock(mutex_);
    return urls_.size();
}

} // namespace vl
