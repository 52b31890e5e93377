#include "media/motion/ParallaxRenderer.h"

#include "media/motion/ClipWriter.h"
#include "media/motion/FrameImage.h"
#include "media/motion/MotionError.h"
#include "media/motion/SubjectMask.h"
#include "model/Cancellation.h"
#include "model/Log.h"

#include <algorithm>
#include <future>
#include <stdexcept>
#include <string>

namespace vl {

namespace fs = std::filesystem;

PUniforms parallaxUniforms(const ClipMotion& m, std::int64_t i, std::int64_t n)
{
    const double t = n > 1 ? static_cast<double>(i) / static_cast<double>(n - 1) : 0.0;
    const double s = easeInOut(t);
    PUniforms u{};
    u.offset[0] = static_cast<float>(m.offsetStart.x + s * (m.offsetEnd.x - m.offsetStart.x));
    u.offset[1] = static_cast<float>(m.offsetStart.y + s * (m.offsetEnd.y - m.offsetStart.y));
    u.height = static_cast<float>(m.parallaxHeight);
    u.steady = static_cast<float>(m.steady);
    u.zoom = static_cast<float>(m.zoomStart + s * (m.zoomEnd - m.zoomStart));
    u.center[0] = u.center[1] = 0.5f;
    u.steps = 64;
    return u;
}

// On a software rasteriser the shading keeps every core busy and sets the clip's
// pace; whatever the writer takes is taken from it. x264 keeps up with that pace on
// a thread or two, and a few threads of its own, rather than one and a half per
// core, cost less processor time to coordinate and keep fewer frames' worth of
// memory going through the caches the shading reads its textures from. A graphics
// card leaves the cores to the writer.
constexpr int writerThreadsBesideSoftwareShading = 4;

int writerThreadsBeside(const ParallaxScene& scene)
{
    return scene.drawsOnProcessor() ? writerThreadsBesideSoftwareShading : 0;
}

fs::path ParallaxRenderer::renderParallax(const fs::path& imagePath, const ClipMotion& motion,
                                          const fs::path& outputURL, const Progress& onProgress,
                                          std::stop_token stop) const
{
    checkClipMotion(motion);
    const int width = static_cast<int>(motion.width);
    const int height = static_cast<int>(motion.height);
    const auto image = loadFrameImage(imagePath);
    if (!image)
        throw MotionError::cannotLoadImage(imagePath.string());
    throwIfCancelled(stop);
    // The depth map takes one core for a while; the context, the shader and the
    // movie are set up on this thread meanwhile. (Leaving early waits for it.)
    auto depthSoon = std::async(std::launch::async, [&] {
        return forcedFailure == ParallaxFailure::depth ? std::nullopt : subjectMask(*image, 640);
    });
    ParallaxScene scene(*image, width, height, forcedFailure);
    if (outputURL.has_parent_path())
        fs::create_directories(outputURL.parent_path());
    ClipWriter writer(outputURL, width, height, static_cast<int>(effectiveRate(motion)), writerThreadsBeside(scene));
    const auto depth = depthSoon.get();
    if (!depth)
        throw ParallaxError(ParallaxError::Code::depthFailed);
    throwIfCancelled(stop);
    scene.setDepth(*depth);

    drawFrames(scene, motion, writer, onProgress, stop);
    throwIfCancelled(stop);
    writer.finish();
    if (onProgress)
        onProgress(1.0);
    return outputURL;
}

void ParallaxRenderer::drawFrames(ParallaxScene& scene, const ClipMotion& motion, ClipWriter& writer,
                                  const Progress& onProgress, std::stop_token stop) const
{
    const std::int64_t n = frameCount(motion);
    const std::int64_t failingFrame = std::min<std::int64_t>(1, n - 1);
    // One frame ahead: while frame i is converted and encoded here, the GPU
    // (Mesa's rasteriser threads, on the software renderer) draws frame i + 1.
    scene.draw(parallaxUniforms(motion, 0, n));
    for (std::int64_t i = 0; i < n; ++i) {
        throwIfCancelled(stop);
        if (forcedFailure == ParallaxFailure::readBack && i == failingFrame)
            throw std::runtime_error("cannot read the frame back (forced)");
        const std::uint8_t* pixels = scene.readBack();
        if (i + 1 < n)
            scene.draw(parallaxUniforms(motion, i + 1, n));
        if (forcedFailure == ParallaxFailure::encoder && i == failingFrame)
            throw std::runtime_error("cannot encode video frame (forced)");
        writer.append(pixels, static_cast<std::ptrdiff_t>(scene.width()) * 4, ClipWriter::Layout::rgba, true);
        if (onProgress)
            onProgress(static_cast<double>(i) / static_cast<double>(n));
    }
}

fs::path ParallaxRenderer::render(const fs::path& imagePath, const ClipMotion& motion,
                                  const fs::path& outputURL, const Progress& onProgress,
                                  std::stop_token stop) const
{
    try {
        return renderParallax(imagePath, motion, outputURL, onProgress, stop);
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception& e) {
        logLine("Motion", std::string("GPU parallax failed (") + e.what() + "); falling back to the 2D renderer.");
    } catch (...) {
        logLine("Motion", "GPU parallax failed; falling back to the 2D renderer.");
    }
    return fallback.render(imagePath, motion, outputURL, onProgress, stop);
}

} // namespace vl
