#include <QGuiApplication>

#include <gtest/gtest.h>

// The contribution controller applies its results on a Qt main thread.
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
