#pragma once

#include <cstdint>

namespace vl {

struct MotionPoint {
    double x = 0;
    double y = 0;
};

// One clip's camera move. Pan offsets are in units of the overflow: x = -0.5 puts
// the image's left edge on the frame's left edge, +0.5 its right edge on the right
// edge, 0 centres it; y runs the same way from the bottom edge (-0.5) to the top (+0.5).
struct ClipMotion {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t fps = 30; // below 1 counts as 1
    double durationSeconds = 0;
    MotionPoint offsetStart;
    MotionPoint offsetEnd;
    double parallaxHeight = 0; // GPU renderer only
    double steady = 0;         // GPU renderer only
    double zoomStart = 1;
    double zoomEnd = 1;
};

// The longest clip a renderer makes. A picture may stay on screen for as long as the
// song runs; four hours is far past any song and keeps a broken length from becoming
// days of video.
inline constexpr double kMaxClipSeconds = 4 * 60 * 60;

// The most frames a clip at `rate` frames per second holds.
inline constexpr std::int64_t maxClipFrames(std::int64_t rate)
{
    return static_cast<std::int64_t>(kMaxClipSeconds) * rate;
}

// The rate a clip is written at: fps, but never below one frame per second.
std::int64_t effectiveRate(const ClipMotion& motion);

// Frames in a clip: duration x rate truncated toward zero, at least one.
// 4.0 s at 30 fps gives 120 frames, 2.99 s gives 89.
std::int64_t frameCount(const ClipMotion& motion);

// Throws MotionError writerSetupFailed for a clip no writer should be started
// for: odd, empty or huge sizes, rates above 240, durations that are not finite
// or longer than kMaxClipSeconds, and pan or zoom values that are not finite numbers
// of a sane size. Everything the renderers compute from a clip stays finite after this.
void checkClipMotion(const ClipMotion& motion);

// Smoothstep of t: the easing both renderers apply to pan and zoom.
inline double easeInOut(double t) { return t * t * (3 - 2 * t); }

} // namespace vl
