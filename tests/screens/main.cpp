#include "design/Fonts.h"

#include <QGuiApplication>

#include <gtest/gtest.h>

// The store, the models and the sheets' windows need an application on the main thread;
// the fonts make the sheets' pictures look as they will.
int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    vl::design::registerBundledFonts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
