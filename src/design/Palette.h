#pragma once

#include <QColor>

// The fixed dark palette both programs draw with. Each colour is built once on first
// use (function-local statics, so the first use from any thread is safe).
namespace vl::design::Palette {

const QColor& night();    // deepest background: window base, sheet cards
const QColor& surface();  // panel and card fill
const QColor& cream();    // primary text
const QColor& muted();    // secondary text, neutral state, hex reader fallback
const QColor& lime();     // accent, primary buttons, backdrop glow
const QColor& coral();    // alerts and errors, title underline, backdrop glow
const QColor& amber();    // kicker labels, pending and warn states
const QColor& pine();     // deep green fill of the preview screen
const QColor& glow();     // hairline strokes around panels, cards, secondary buttons
const QColor& glowSoft(); // soft fills, the progress meter's track

// The green of complete states; deliberately not a palette name of its own.
const QColor& goodGreen();

// `color` with its opacity multiplied by `opacity`, as layering an opacity on a colour does.
QColor faded(const QColor& color, double opacity);

} // namespace vl::design::Palette
