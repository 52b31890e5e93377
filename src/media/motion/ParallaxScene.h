#pragma once

#include "media/motion/ParallaxError.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

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

// Places where tests make the GPU attempt fail, to see the fallback take over.
enum class ParallaxFailure { none, display, context, shaderCompile, depth, readBack, encoder };

// Whether an OpenGL renderer string (GL_RENDERER) names a rasteriser that runs on
// the processor: Mesa's llvmpipe, softpipe or classic swrast.
bool isSoftwareRenderer(std::string_view renderer);

// One OpenGL ES 3.0 context (EGL, surfaceless Mesa) on the calling thread with the
// parallax program, the frame image and the depth map uploaded, drawing into an
// offscreen target of the clip's size. Made afresh for every clip; current on the
// creating thread until destroyed, which restores whatever was current before.
class ParallaxScene {
public:
    // `image` is 8-bit BGRA, `depth` 8-bit grey (255 nearest). Throws ParallaxError
    // unavailable when no context can be made, or the error of the failing step.
    ParallaxScene(const cv::Mat& image, const cv::Mat& depth, int width, int height,
                  ParallaxFailure forced = ParallaxFailure::none);
    // The same without the depth map yet, which setDepth() gives before the first
    // draw(): so the context can be made while the map is still being worked out.
    ParallaxScene(const cv::Mat& image, int width, int height, ParallaxFailure forced = ParallaxFailure::none);
    ~ParallaxScene();
    ParallaxScene(const ParallaxScene&) = delete;
    ParallaxScene& operator=(const ParallaxScene&) = delete;

    // Sets (or replaces) the depth map, 8-bit grey, 255 nearest.
    void setDepth(const cv::Mat& depth);

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

    // Whether the context draws with the processor's own cores (Mesa's software
    // rasterisers) rather than a graphics card.
    bool drawsOnProcessor() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vl
