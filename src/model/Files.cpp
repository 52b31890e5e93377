#include "model/Files.h"

#include "model/Uuid.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vl::files {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const char* what, const fs::path& path, int error)
{
    throw fs::filesystem_error(what, path, std::error_code(error, std::generic_category()));
}

} // namespace

void writeAtomically(const fs::path& path, std::string_view bytes)
{
    const fs::path temp = temporarySibling(path);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot create file", temp, errno);
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int error = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            fail("cannot write file", temp, error);
        }
        written += static_cast<std::size_t>(n);
    }
    // The descriptor is closed whether or not the flush worked: a failed save must
    // not leak one per attempt while the autosave keeps retrying.
    const int synced = ::fsync(fd) == 0 ? 0 : errno;
    const int closed = ::close(fd) == 0 ? 0 : errno;
    if (synced != 0 || closed != 0) {
        ::unlink(temp.c_str());
        fail("cannot flush file", temp, synced != 0 ? synced : closed);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("cannot replace file", path, error);
    }
}

std::string readAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        fail("cannot open file", path, errno ? errno : ENOENT);
    std::ostringstream out;
    out << in.rdbuf();
    if (in.bad())
        fail("cannot read file", path, EIO);
    return std::move(out).str();
}

std::string megabytesText(std::uintmax_t bytes)
{
    return std::to_string(bytes >> 20) + " MB";
}

namespace {

[[noreturn]] void refuseUnreadable(int error)
{
    throw FileRefused(FileRefused::Reason::unreadable, std::strerror(error));
}

[[noreturn]] void refuseTooLarge(std::uintmax_t maxBytes)
{
    throw FileRefused(FileRefused::Reason::tooLarge, "it is larger than " + megabytesText(maxBytes));
}

// Refuses what is not a plain file small enough, from its status.
void checkKind(const struct stat& status, std::uintmax_t maxBytes)
{
    if (S_ISDIR(status.st_mode))
        throw FileRefused(FileRefused::Reason::folder, "it is a folder");
    if (!S_ISREG(status.st_mode))
        throw FileRefused(FileRefused::Reason::notPlainFile, "it is not a plain file");
    if (static_cast<std::uintmax_t>(status.st_size) > maxBytes)
        refuseTooLarge(maxBytes);
}

} // namespace

namespace {

// An open plain file of at most `maxBytes`, refused as readRegularFile refuses.
class RegularFile {
public:
    RegularFile(const fs::path& path, std::uintmax_t maxBytes)
    {
        // Look before opening: opening a device may already do something.
        if (::stat(path.c_str(), &status) != 0)
            refuseUnreadable(errno);
        checkKind(status, maxBytes);
        // O_NONBLOCK: should a FIFO have taken the name since, the open returns at once.
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            refuseUnreadable(errno);
        if (::fstat(fd, &status) != 0) {
            ::close(fd);
            refuseUnreadable(errno);
        }
        try {
            checkKind(status, maxBytes);
        } catch (...) {
            ::close(fd);
            throw;
        }
    }
    ~RegularFile() { ::close(fd); }
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // Reads up to `count` bytes to `at`; 0 at the end of the file.
    std::size_t read(char* at, std::size_t count) const
    {
        for (;;) {
            const ssize_t n = ::read(fd, at, count);
            if (n >= 0)
                return static_cast<std::size_t>(n);
            if (errno != EINTR)
                refuseUnreadable(errno);
        }
    }

    int fd = -1;
    struct stat status {};
};

} // namespace

std::string readRegularFileStart(const fs::path& path, std::size_t count)
{
    const RegularFile file(path, std::numeric_limits<std::uintmax_t>::max());
    std::string bytes(count, '\0');
    std::size_t filled = 0;
    while (filled < count) {
        const std::size_t n = file.read(bytes.data() + filled, count - filled);
        if (n == 0)
            break;
        filled += n;
    }
    bytes.resize(filled);
    return bytes;
}

std::string readRegularFile(const fs::path& path, std::uintmax_t maxBytes)
{
    const RegularFile file(path, maxBytes);
    std::string bytes;
    bytes.resize(static_cast<std::size_t>(file.status.st_size));
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() > maxBytes)
                refuseTooLarge(maxBytes);
            // It may have grown since fstat: look for more, one byte past the cap at most.
            bytes.resize(std::min<std::uintmax_t>(bytes.size() + 65536, maxBytes + 1));
        }
        const std::size_t n = file.read(bytes.data() + filled, bytes.size() - filled);
        if (n == 0)
            break;
        filled += n;
    }
    bytes.resize(filled);
    if (bytes.size() > maxBytes)
        refuseTooLarge(maxBytes);
    return bytes;
}

fs::path temporarySibling(const fs::path& path, std::string_view extension)
{
    return path.parent_path() / ("." + path.filename().string() + "." + Uuid::random().text() + std::string(extension));
}

bool isTemporarySiblingName(std::string_view name)
{
    std::string_view stem;
    for (std::string_view extension : {std::string_view(".tmp"), std::string_view(".part")}) {
        if (name.ends_with(extension)) {
            stem = name.substr(0, name.size() - extension.size());
            break;
        }
    }
    // ".<name>.<36-character UUID>", with a name of at least one character.
    constexpr std::size_t kUuidLength = 36;
    if (stem.size() < 1 + 1 + 1 + kUuidLength || stem.front() != '.')
        return false;
    const std::string_view id = stem.substr(stem.size() - kUuidLength);
    if (stem[stem.size() - kUuidLength - 1] != '.')
        return false;
    const auto parsed = Uuid::parse(id);
    return parsed && id == parsed->text();
}

fs::path temporaryPath(std::string_view prefix, std::string_view extension)
{
    return fs::temp_directory_path()
           / ("vl-" + std::string(prefix) + "-" + Uuid::random().text() + std::string(extension));
}

int removePlainFilesIf(const fs::path& folder, const std::function<bool(const fs::path&)>& ours)
{
    std::vector<fs::path> found;
    std::error_code error;
    fs::directory_iterator it(folder, error);
    for (; !error && it != fs::directory_iterator(); it.increment(error)) {
        const fs::path& path = it->path();
        std::error_code statusError;
        if (fs::is_regular_file(fs::symlink_status(path, statusError)) && ours(path))
            found.push_back(path);
    }
    int removed = 0;
    for (const fs::path& path : found) {
        std::error_code removeError;
        if (fs::remove(path, removeError))
            ++removed;
    }
    return removed;
}

TemporaryDirectory::TemporaryDirectory(std::string_view prefix)
    : path_(temporaryPath(prefix))
{
    fs::create_directories(path_);
}

TemporaryDirectory::~TemporaryDirectory()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

} // namespace vl::files
