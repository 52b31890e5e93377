#pragma once

#include <filesystem>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace vl {

// Local image -> address of its uploaded copy, so each picture goes up once.
// An entry is keyed on the path together with the file's size and modification
// time, so a picture replaced under the same name is uploaded again. Uploads run
// on workers: requests for the same file that overlap share one upload.
class AssetURLCache {
public:
    // The cached address, or the result of `upload()`, which runs at most once per
    // file version however many threads ask at the same time. A failed upload
    // caches nothing and its error reaches every caller that waited for it.
    std::string getOrUpload(const std::string& path, const std::function<std::string()>& upload);

    std::optional<std::string> find(const std::string& path) const;
    void clear();
    std::size_t size() const;

private:
    using Key = std::tuple<std::string, std::uintmax_t, long long>;
    static Key keyFor(const std::string& path);

    mutable std::mutex mutex_;
    std::map<Key, std::string> urls_;
    std::map<Key, std::shared_future<std::string>> inFlight_;
};

} // namespace vl
