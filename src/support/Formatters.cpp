#include "support/Formatters.h"

#include <algorithm>
#include <cmath>

namespace vl::support {

namespace {

// Whole units of 1/scale second, rounded once, so carries reach the minutes.
long long roundedUnits(double seconds, double scale)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    // Beyond ~292 million years the count would overflow; no song gets there.
    return std::llround(std::min(seconds, 1e12) * scale);
}

} // namespace

QString formatMinutesSeconds(double seconds)
{
    const long long total = roundedUnits(seconds, 1);
    return QStringLiteral("%1:%2").arg(total / 60).arg(total % 60, 2, 10, QLatin1Char('0'));
}

QString formatMinutesSecondsHundredths(double seconds)
{
    const long long total = roundedUnits(seconds, 100);
    const long long wholeSeconds = total / 100;
    return QStringLiteral("%1:%2.%3")
        .arg(wholeSeconds / 60)
        .arg(wholeSeconds % 60, 2, 10, QLatin1Char('0'))
        .arg(total % 100, 2, 10, QLatin1Char('0'));
}

} // namespace vl::support
