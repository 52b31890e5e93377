#include <QCoreApplication>

#include <gtest/gtest.h>

// The store lives on a Qt main thread: tests need an application object.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
