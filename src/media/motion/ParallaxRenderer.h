#pragma once

#include "media/motion/ClipMotion.h"
#include "media/motion/MotionRenderer.h"
#include "media/motion/PanZoomRenderer.h"
#include "media/motion/ParallaxError.h"
#include "media/motion/ParallaxScene.h"

#include <cstdint>

namespace vl {

class ClipWriter;

// The uniforms of frame i of n. The position runs i / (n - 1), so the last frame
// reaches the end of the move exactly (t = 0 for a single frame), smoothstep eased.
PUniforms parallaxUniforms(const ClipMotion& motion, std::int64_t i, std::int64_t n);

// How many threads the clip's writer gets beside this scene's shading (0: as many
// as it likes).
int writerThreadsBeside(const ParallaxScene& scene);

// The GPU renderer: depth parallax drawn by a fragment shader compiled at run
// time, with the subject mask as depth map. Whatever goes wrong on the way makes
// it draw the same clip with `fallback`, so to callers it almost never fails.
class ParallaxRenderer : public MotionRenderer {
public:
    PanZoomRenderer fallback;
    ParallaxFailure forcedFailure = ParallaxFailure::none; // tests only

    std::filesystem::path render(const std::filesystem::path& imagePath, const ClipMotion& motion,
                                 const std::filesystem::path& outputURL, const Progress& onProgress,
                                 std::stop_token stop = {}) const override;

    // The GPU path alone: throws ParallaxError, MotionError, vl::Cancelled or the
    // platform's error instead of falling back.
    std::filesystem::path renderParallax(const std::filesystem::path& imagePath, const ClipMotion& motion,
                                         const std::filesystem::path& outputURL, const Progress& onProgress,
                                         std::stop_token stop = {}) const;

    // The clip's frames alone, from a scene with its depth map into an open writer,
    // which is left unfinished: renderParallax() between its setup and the end.
    void drawFrames(ParallaxScene& scene, const ClipMotion& motion, ClipWriter& writer,
                    const Progress& onProgress, std::stop_token stop = {}) const;
};

} // namespace vl
