#include "model/Files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

using namespace vl;

namespace {

// Set by a test: the next flush fails with this error, and the descriptor it was
// asked to flush is kept for the test to look at.
int failNextSyncWith = 0;
int failedSyncDescriptor = -1;

} // namespace

// The program's calls to fsync land here (an executable's own definition comes
// before the C library's); all but the one a test fails go on to the real one.
extern "C" int fsync(int fd)
{
    if (failNextSyncWith != 0) {
        errno = std::exchange(failNextSyncWith, 0);
        failedSyncDescriptor = fd;
        return -1;
    }
    using Sync = int (*)(int);
    static const auto real = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fsync"));
    return real(fd);
}

TEST(Files, AFailedFlushClosesItsFileAndLeavesTheOldOne)
{
    files::TemporaryDirectory folder("files-test");
    const auto path = folder.path() / "project.json";
    files::writeAtomically(path, "old");

    failNextSyncWith = EIO;
    try {
        files::writeAtomically(path, "new");
        FAIL() << "a failed flush is a failed write";
    } catch (const std::filesystem::filesystem_error& e) {
        EXPECT_EQ(e.code().value(), EIO);
    }
    ASSERT_GE(failedSyncDescriptor, 0);
    errno = 0;
    EXPECT_EQ(::fcntl(failedSyncDescriptor, F_GETFD), -1) << "the temporary file's descriptor is still open";
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(files::readAll(path), "old");
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.path()))
        ++entries;
    EXPECT_EQ(entries, 1) << "the temporary file is removed";
}
