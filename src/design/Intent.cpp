#include "design/Intent.h"

#include "design/Palette.h"

namespace vl::design {

QColor intentColor(Intent::Value intent) {
    switch (intent) {
    case Intent::Neutral: return Palette::muted();
    case Intent::Pending: return Palette::amber();
    case Intent::Good: return Palette::goodGreen();
    case Intent::Warn: return Palette::amber();
    case Intent::Bad: return Palette::coral();
    case Intent::Accent: return Palette::lime();
    }
    return Palette::muted();
}

} // namespace vl::design
