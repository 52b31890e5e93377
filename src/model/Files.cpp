#include "model/Files.h"

#include "model/Uuid.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

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
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        fail("cannot flush file", temp, error);
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

fs::path temporarySibling(const fs::path& path, std::string_view extension)
{
    return path.parent_path() / ("." + path.filename().string() + "." + Uuid::random().text() + std::string(extension));
}

fs::path temporaryPath(std::string_view prefix, std::string_view extension)
{
    return fs::temp_directory_path()
           / ("vl-" + std::string(prefix) + "-" + Uuid::random().text() + std::string(extension));
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
