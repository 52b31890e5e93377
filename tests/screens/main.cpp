#include "design/Fonts.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// The controllers live on a Qt main thread; the fonts make the sheets' pictures look as
// they will. Each run gets a home and data folders of its
// own, so a test can look at every file the program wrote (none may hold the key).
int main(int argc, char** argv)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-test-screens-XXXXXX").string();
    const char* home = ::mkdtemp(pattern.data());
    if (home) {
        const std::filesystem::path root(home);
        for (const char* sub : {"config", "data", "cache", "runtime", "tmp"})
            std::filesystem::create_directories(root / sub);
        std::filesystem::permissions(root / "runtime", std::filesystem::perms::owner_all);
        ::setenv("HOME", home, 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", (root / "runtime").c_str(), 1);
        ::setenv("TMPDIR", (root / "tmp").c_str(), 1);
    }

    int result = 0;
    {
        QGuiApplication app(argc, argv);
        vl::design::registerBundledFonts();
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (home) {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
    return result;
}
