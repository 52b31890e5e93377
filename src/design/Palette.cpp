#include "design/Palette.h"

namespace vl::design::Palette {

namespace {
QColor rgb(int r, int g, int b, double opacity = 1.0) {
    QColor c(r, g, b);
    c.setAlphaF(static_cast<float>(opacity));
    return c;
}
} // namespace

const QColor& night() { static const QColor c = rgb(3, 20, 19); return c; }
const QColor& surface() { static const QColor c = rgb(6, 31, 30); return c; }
const QColor& cream() { static const QColor c = rgb(247, 236, 210); return c; }
const QColor& muted() { static const QColor c = rgb(183, 170, 145); return c; }
const QColor& lime() { static const QColor c = rgb(214, 238, 39); return c; }
const QColor& coral() { static const QColor c = rgb(255, 103, 72); return c; }
const QColor& amber() { static const QColor c = rgb(244, 163, 57); return c; }
const QColor& pine() { static const QColor c = rgb(15, 57, 47); return c; }
const QColor& glow() { static const QColor c = rgb(250, 214, 106, 0.28); return c; }
const QColor& glowSoft() { static const QColor c = rgb(250, 214, 106, 0.14); return c; }
const QColor& goodGreen() { static const QColor c = rgb(74, 199, 122); return c; }

QColor faded(const QColor& color, double opacity) {
    QColor c = color;
    c.setAlphaF(static_cast<float>(color.alphaF() * opacity));
    return c;
}

} // namespace vl::design::Palette
