#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// The store lives on a Qt main thread: tests need an application object. Each run
// also gets a temporary folder of its own, so "nothing is left behind" checks see
// only this program's files, not those of tests running beside it.
int main(int argc, char** argv)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vl-test-pipeline-XXXXXX").string();
    const char* privateTemp = ::mkdtemp(pattern.data());
    if (privateTemp)
        ::setenv("TMPDIR", privateTemp, 1);

    int result = 0;
    {
        QCoreApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (privateTemp) {
        std::error_code ignored;
        std::filesystem::remove_all(privateTemp, ignored);
    }
    return result;
}
