#include <QGuiApplication>

#include <gtest/gtest.h>

// The store and the models need an application on the main thread.
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
