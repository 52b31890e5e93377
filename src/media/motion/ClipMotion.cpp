#include "media/motion/ClipMotion.h"

#include "media/motion/MotionError.h"

#include <algorithm>
#include <cmath>

namespace vl {

namespace {

constexpr std::int64_t maxSide = 8192;
constexpr std::int64_t maxRate = 240;
// Pan offsets live in [-0.5, 0.5] and zooms near 1; anything this far out is a
// broken caller, and would overflow the single-precision maths of the GPU path.
constexpr double maxMoveMagnitude = 1000;

bool sane(double v) { return std::isfinite(v) && std::fabs(v) <= maxMoveMagnitude; }

} // namespace

std::int64_t effectiveRate(const ClipMotion& motion) { return std::max<std::int64_t>(motion.fps, 1); }

std::int64_t frameCount(const ClipMotion& motion)
{
    const double product = motion.durationSeconds * static_cast<double>(effectiveRate(motion));
    if (!(product >= 1)) // also catches NaN; checkClipMotion refuses those first
        return 1;
    return static_cast<std::int64_t>(std::min(product, 1e15));
}

void checkClipMotion(const ClipMotion& m)
{
    const auto sideOk = [](std::int64_t side) { return side >= 2 && side <= maxSide && side % 2 == 0; };
    const bool ok = sideOk(m.width) && sideOk(m.height) && effectiveRate(m) <= maxRate
                    && std::isfinite(m.durationSeconds) && frameCount(m) <= maxClipFrames(effectiveRate(m))
                    && sane(m.offsetStart.x) && sane(m.offsetStart.y) && sane(m.offsetEnd.x)
                    && sane(m.offsetEnd.y) && sane(m.parallaxHeight) && sane(m.steady)
                    && sane(m.zoomStart) && sane(m.zoomEnd);
    if (!ok)
        throw MotionError::writerSetupFailed();
}

} // namespace vl
