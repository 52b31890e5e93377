#pragma once

#include <QColor>
#include <QStringView>

namespace vl::design {

// Reads a colour written as six hex digits ("d6ee27", "#D6EE27", " #d6#ee27 "). Never
// fails: anything else (short or alpha forms, stray characters, line breaks) gives
// Palette::muted(), so a bad swatch in a plan shows as a quiet grey instead of an error.
QColor colorFromHex(QStringView text);

} // namespace vl::design
