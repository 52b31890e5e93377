#pragma once

#include <QGuiApplication>

namespace vl::test {

// Fonts and SVG rendering need a GUI application; one for the whole test program. It is
// never destroyed: tearing it down among the exit handlers crashes inside Qt.
inline void ensureGuiApplication() {
    if (QGuiApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "test_design";
        static char* argv[] = {name, nullptr};
        static auto* app = new QGuiApplication(argc, argv);
        Q_UNUSED(app);
    }
}

} // namespace vl::test
