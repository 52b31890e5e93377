#pragma once

#include "media/motion/ClipMotion.h"
#include "media/motion/MotionRenderer.h"

#include <opencv2/core/mat.hpp>

namespace vl {

// The fill wherever the image does not cover the frame: a near-black teal
// (red 0.01, green 0.06, blue 0.06), as BGR bytes.
inline const cv::Scalar panZoomBackground{15, 15, 3};

// Draws the frames of a pan-and-zoom clip on the CPU. The image is scaled to cover
// the frame, enlarged by a further 1.22 for pan room and by the eased zoom, and
// placed by the eased pan offset in units of the overflow.
class PanZoomPainter {
public:
    // `image` is 8-bit BGRA as loadFrameImage gives it; transparent parts end up
    // over the background fill.
    PanZoomPainter(const cv::Mat& image, const ClipMotion& motion);

    // Frame i of n (t = i / n, smoothstep eased) into `frame`, made width x height BGR.
    void draw(std::int64_t i, std::int64_t n, cv::Mat& frame) const;

private:
    ClipMotion motion_;
    cv::Mat source_;        // opaque BGR, area-averaged ahead when frames would only minify it
    double coverWidth_ = 0; // image size that just covers the frame at zoom 1
    double coverHeight_ = 0;
};

// The 2D motion renderer: pan and zoom drawn on the CPU, encoded with libx264.
// It needs nothing but the image, which is why the GPU renderer falls back to it.
class PanZoomRenderer : public MotionRenderer {
public:
    std::filesystem::path render(const std::filesystem::path& imagePath, const ClipMotion& motion,
                                 const std::filesystem::path& outputURL, const Progress& onProgress,
                                 std::stop_token stop = {}) const override;
};

} // namespace vl
