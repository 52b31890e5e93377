#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace vl::files {

// Writes bytes to a temporary file beside `path`, flushes it to disk and renames
// it over `path`, so a reader sees the old file or the new one, never half of one.
// Throws std::filesystem::filesystem_error; on failure the old file is untouched.
void writeAtomically(const std::filesystem::path& path, std::string_view bytes);

// A fresh hidden name beside `path`, ".<name>.<random><extension>", for a file
// written there and renamed over `path` once complete (a rename within one
// folder stays on one file system).
std::filesystem::path temporarySibling(const std::filesystem::path& path, std::string_view extension = ".tmp");

// Reads a whole file; throws std::filesystem::filesystem_error when it cannot.
std::string readAll(const std::filesystem::path& path);

// A fresh, unused path in the system temporary folder: "vl-<prefix>-<random><extension>".
std::filesystem::path temporaryPath(std::string_view prefix, std::string_view extension = {});

// A folder in the system temporary folder, removed with everything in it when
// this object goes away.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(std::string_view prefix);
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

} // namespace vl::files
