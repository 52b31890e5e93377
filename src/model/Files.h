#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
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

// Whether a file name is one temporarySibling makes with ".tmp" or ".part": what a
// write that never finished leaves behind. A user's own names never match.
bool isTemporarySiblingName(std::string_view fileName);

// Removes the plain files directly in `folder` whose path `ours` accepts, and returns
// how many went. Links are never followed nor removed, nor is anything but a plain
// file, so only files the program can tell it made go. A folder that cannot be
// listed removes nothing.
int removePlainFilesIf(const std::filesystem::path& folder, const std::function<bool(const std::filesystem::path&)>& ours);

// Reads a whole file; throws std::filesystem::filesystem_error when it cannot.
std::string readAll(const std::filesystem::path& path);

// Why readRegularFile refused a path. what() is a phrase that completes "Could not
// read that file: " ("it is a folder", "it is larger than 8 MB", the system's words).
class FileRefused : public std::runtime_error {
public:
    enum class Reason { folder, notPlainFile, tooLarge, unreadable };
    FileRefused(Reason reason, const std::string& phrase) : std::runtime_error(phrase), reason_(reason) {}
    Reason reason() const { return reason_; }

private:
    Reason reason_;
};

// Reads a plain file of at most `maxBytes`. Anything else (a folder, a FIFO, a device,
// a socket) is refused before a byte is read, and the file is opened without blocking,
// so a pipe swapped in under the name cannot hang the caller; a file that grows past
// the cap while being read is refused too. Throws FileRefused.
std::string readRegularFile(const std::filesystem::path& path, std::uintmax_t maxBytes);

// The first `count` bytes of a plain file (all of it when shorter), refused and opened
// as readRegularFile does. Throws FileRefused.
std::string readRegularFileStart(const std::filesystem::path& path, std::size_t count);

// "8 MB": a byte cap in words, in whole mebibytes.
std::string megabytesText(std::uintmax_t bytes);

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
