#pragma once

#include "media/motion/AVFoundationMotionRenderer.h"
#include "media/motion/ClipMotion.h"
#include "media/motion/MotionRenderer.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>

#include <opencv2/core/mat.hpp>

namespace vl {

// The per-frame uniform block of the parallax shader: 40 bytes, little-endian,
// laid out as std140 places the shader's block.
struct PUniforms {
    float offset[2];   // eased pan offset
    float height;      // parallaxHeight of the clip
    float steady;      // steady of the clip
    float zoom;        // eased zoom
    float padding0;
    float center[2];   // always (0.5, 0.5)
    std::int32_t steps; // always 64
    std::int32_t padding1;
};
static_assert(sizeof(PUniforms) == 40);
static_assert(offsetof(PUniforms, height) == 8 && offsetof(PUniforms, steady) == 12);
static_assert(offsetof(PUniforms, zoom) == 16 && offsetof(PUniforms, center) == 24);
static_assert(offsetof(PUniforms, steps) == 32);

// The uniforms of frame i of n. The position runs i / (n - 1), so the last frame
// reaches the end of the move exactly (t = 0 for a single frame), smoothstep eased.
PUniforms parallaxUniforms(const ClipMotion& motion, std::int64_t i, std::int64_t n);

// The GPU path's own failures. They never reach a caller: every one of them makes
// the renderer draw the clip in 2D instead.
class MetalError : public std::exception {
public:
    enum class Code { unavailable, depthFailed, textureFailed, encodeFailed };
    explicit MetalError(Code code) : code_(code) {}
    Code code() const { return code_; }
    const char* what() const noexcept override;
    friend bool operator==(const MetalError& a, const MetalError& b) { return a.code_ == b.code_; }

private:
    Code code_;
};

// Places where tests make the GPU attempt fail, to see the fallback take over.
enum class ParallaxFailure { none, display, context, shaderCompile, depth, readBack, encoder };

// One OpenGL ES 3.0 context (EGL, surfaceless Mesa) on the calling thread with the
// parallax program, the frame image and the depth map uploaded, drawing into an
// offscreen target of the clip's size. Made afresh for every clip; current on the
// creating thread until destroyed, which restores whatever was current before.
class ParallaxScene {
public:
    // `image` is 8-bit BGRA, `depth` 8-bit grey (255 nearest). Throws MetalError
    // unavailable when no context can be made, or the error of the failing step.
    ParallaxScene(const cv::Mat& image, const cv::Mat& depth, int width, int height,
                  ParallaxFailure forced = ParallaxFailure::none);
    ~ParallaxScene();
    ParallaxScene(const ParallaxScene&) = delete;
    ParallaxScene& operator=(const ParallaxScene&) = delete;

    // Starts drawing one frame and returns without waiting for it.
    void draw(const PUniforms& uniforms);
    // Waits until the frame drawn last is finished (what shading it costs, alone).
    void finish();
    // Waits for the frame drawn last and copies it out: RGBA with the bottom row
    // first (OpenGL's order). The copy stays valid until the next readBack(), so the
    // next frame can be drawn while this one is encoded.
    const std::uint8_t* readBack();

    int width() const;
    int height() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The GPU renderer: depth parallax drawn by a fragment shader compiled at run
// time, with the subject mask as depth map. Whatever goes wrong on the way makes
// it draw the same clip with `fallback`, so to callers it almost never fails.
class MetalParallaxRenderer : public MotionRenderer {
public:
    AVFoundationMotionRenderer fallback;
    ParallaxFailure forcedFailure = ParallaxFailure::none; // tests only

    std::filesystem::path render(const std::filesystem::path& imagePath, const ClipMotion& motion,
                                 const std::filesystem::path& outputURL, const Progress& onProgress,
                                 std::stop_token stop = {}) const override;

    // The GPU path alone: throws MetalError, MotionError, vl::Cancelled or the
    // platform's error instead of falling back.
    std::filesystem::path renderParallax(const std::filesystem::path& imagePath, const ClipMotion& motion,
                                         const std::filesystem::path& outputURL, const Progress& onProgress,
                                         std::stop_token stop = {}) const;
};

} // namespace vl
