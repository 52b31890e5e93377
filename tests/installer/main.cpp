#include "design/Fonts.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

// The model hands results back through the event loop, and the window tests draw; both
// need a GUI application on the main thread.
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    vl::design::registerBundledFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
