#include "media/motion/ClipWriter.h"
#include "media/motion/MotionError.h"
#include "model/Files.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <vector>

namespace vl {
namespace {

namespace fs = std::filesystem;

TEST(ClipWriterErrors, AWriterThatCannotStartSaysTheSystemsReason)
{
    files::TemporaryDirectory folder{"clip-writer"};
    std::ofstream(folder.path() / "plain-file") << "not a folder";
    try {
        ClipWriter writer(folder.path() / "plain-file" / "clip.mov", 64, 64, 30);
        FAIL() << "started";
    } catch (const MotionError& error) {
        EXPECT_EQ(error.code(), MotionError::Code::writerSetupFailed);
        EXPECT_STREQ(error.what(), "Could not start the video writer: Not a directory.");
    }
}

// A full disk, as far as this process can tell: every file it writes is capped at
// nothing (EFBIG where a full disk gives ENOSPC; both reach the same code).
TEST(ClipWriterErrorsDeathTest, AFullDiskIsNamedWhereverTheWritingStops)
{
    files::TemporaryDirectory folder{"clip-writer"};
    const fs::path output = folder.path() / "clip.mov";
    const auto writeOnAFullDisk = [&] {
        std::signal(SIGXFSZ, SIG_IGN);
        // Only the soft limit, so it can be lifted again to report (gtest keeps the
        // child's standard error in a file).
        rlimit limits{};
        getrlimit(RLIMIT_FSIZE, &limits);
        const rlimit nothing{0, limits.rlim_max};
        setrlimit(RLIMIT_FSIZE, &nothing);
        try {
            ClipWriter writer(output, 64, 64, 30);
            const std::vector<std::uint8_t> grey(64 * 64 * 3, 128);
            for (int i = 0; i < 60; ++i)
                writer.append(grey.data(), 64 * 3, ClipWriter::Layout::bgr24);
            writer.finish();
        } catch (const std::exception& error) {
            setrlimit(RLIMIT_FSIZE, &limits);
            std::cerr << error.what() << std::endl;
            std::_Exit(0);
        }
        std::_Exit(1);
    };
    EXPECT_EXIT(writeOnAFullDisk(), ::testing::ExitedWithCode(0), "File too large");
}

} // namespace
} // namespace vl
