#include <QGuiApplication>

#include <gtest/gtest.h>

// The model hands results back through the event loop, so the tests need one.
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
