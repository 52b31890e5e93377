#include "design/Fonts.h"

#include <QGuiApplication>
#include <QtWebEngineQuick/qtwebenginequickglobal.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// Chromium inside Qt WebEngine frees some objects through a base of another size; that
// is its own code, not ours, and would stop every window test that shows a web page.
extern "C" const char* __asan_default_options()
{
    return "new_delete_type_mismatch=0";
}

// The store and the window need a GUI application on the main thread.
int main(int argc, char** argv)
{
    // The web view keeps its profile under the data folder: a private one per run, so
    // cookies of an earlier run never reach a test.
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-test-app-XXXXXX").string();
    const char* data = ::mkdtemp(pattern.data());
    if (data) {
        ::setenv("XDG_DATA_HOME", data, 1);
        ::setenv("XDG_CACHE_HOME", data, 1);
    }
    // The key sheet's web view needs its engine before the application; as root,
    // Chromium's sandbox cannot start (the test's choice, never the program's).
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QtWebEngineQuick::initialize();
    QGuiApplication app(argc, argv);
    vl::design::registerBundledFonts();
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    if (data) {
        std::error_code ignored;
        std::filesystem::remove_all(data, ignored);
    }
    return result;
}
