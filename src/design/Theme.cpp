#include "design/Theme.h"

#include "design/HexColor.h"
#include "design/Intent.h"
#include "design/Palette.h"

namespace vl::design {

QColor Theme::night() const { return Palette::night(); }
QColor Theme::surface() const { return Palette::surface(); }
QColor Theme::cream() const { return Palette::cream(); }
QColor Theme::muted() const { return Palette::muted(); }
QColor Theme::lime() const { return Palette::lime(); }
QColor Theme::coral() const { return Palette::coral(); }
QColor Theme::amber() const { return Palette::amber(); }
QColor Theme::pine() const { return Palette::pine(); }
QColor Theme::glow() const { return Palette::glow(); }
QColor Theme::glowSoft() const { return Palette::glowSoft(); }

QColor Theme::colorFromHex(const QString& text) const { return vl::design::colorFromHex(text); }

QColor Theme::intentColor(int intent) const {
    if (intent < Intent::Neutral || intent > Intent::Accent) {
        return Palette::muted();
    }
    return vl::design::intentColor(static_cast<Intent::Value>(intent));
}

QColor Theme::faded(const QColor& color, double opacity) const { return Palette::faded(color, opacity); }

} // namespace vl::design
