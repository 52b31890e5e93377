#include "media/motion/PanZoomRenderer.h"

#include "media/motion/ClipWriter.h"
#include "media/motion/FrameImage.h"
#include "media/motion/MotionError.h"
#include "model/Cancellation.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <future>

namespace vl {

namespace fs = std::filesystem;

namespace {

constexpr double panMargin = 1.22;

// Far-off edges of a hugely zoomed image still have to become an int safely.
int pixelIndex(double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); }

} // namespace

PanZoomPainter::PanZoomPainter(const cv::Mat& image, const ClipMotion& motion)
    : motion_(motion)
{
    CV_Assert(image.type() == CV_8UC4 && !image.empty());
    const double frameAspect = static_cast<double>(motion.width) / static_cast<double>(motion.height);
    const double imageAspect = static_cast<double>(image.cols) / static_cast<double>(image.rows);
    if (frameAspect < imageAspect) {
        coverHeight_ = static_cast<double>(motion.height);
        coverWidth_ = coverHeight_ * imageAspect;
    } else {
        coverWidth_ = static_cast<double>(motion.width);
        coverHeight_ = coverWidth_ / imageAspect;
    }

    // Transparent pixels over the fill, once: resampling commutes with compositing
    // over a flat colour, so frames can then be drawn from an opaque picture.
    cv::Mat bgr;
    double leastAlpha = 0;
    cv::Mat alpha;
    cv::extractChannel(image, alpha, 3);
    cv::minMaxLoc(alpha, &leastAlpha);
    if (leastAlpha >= 255) {
        cv::cvtColor(image, bgr, cv::COLOR_BGRA2BGR);
    } else {
        bgr.create(image.size(), CV_8UC3);
        for (int y = 0; y < image.rows; ++y) {
            const auto* in = image.ptr<cv::Vec4b>(y);
            auto* out = bgr.ptr<cv::Vec3b>(y);
            for (int x = 0; x < image.cols; ++x) {
                const int a = in[x][3];
                for (int c = 0; c < 3; ++c)
                    out[x][c] = static_cast<uchar>(
                        (in[x][c] * a + static_cast<int>(panZoomBackground[c]) * (255 - a) + 127) / 255);
            }
        }
    }

    // Frames are drawn with bilinear filtering, which is smooth for the enlargement
    // every clip makes (the 1.22 pan margin alone) and four times cheaper than
    // bicubic, keeping the drawing behind the encoder. A picture larger than it is
    // ever drawn would alias under it, so that one is area-averaged down to its
    // largest drawn size first.
    const double largestZoom = std::max(motion.zoomStart, motion.zoomEnd) * panMargin;
    const double largestScale = coverWidth_ * largestZoom / image.cols;
    if (largestScale > 0 && largestScale < 1) {
        const cv::Size size(std::max(1, static_cast<int>(std::ceil(image.cols * largestScale))),
                            std::max(1, static_cast<int>(std::ceil(image.rows * largestScale))));
        cv::resize(bgr, source_, size, 0, 0, cv::INTER_AREA);
    } else {
        source_ = bgr;
    }
}

void PanZoomPainter::draw(std::int64_t i, std::int64_t n, cv::Mat& frame) const
{
    const int width = static_cast<int>(motion_.width);
    const int height = static_cast<int>(motion_.height);
    frame.create(height, width, CV_8UC3);

    const double t = static_cast<double>(i) / static_cast<double>(std::max<std::int64_t>(n, 1));
    const double s = easeInOut(t);
    const double zoom = (motion_.zoomStart + s * (motion_.zoomEnd - motion_.zoomStart)) * panMargin;
    const double drawnWidth = coverWidth_ * zoom;
    const double drawnHeight = coverHeight_ * zoom;
    const double ox = motion_.offsetStart.x + s * (motion_.offsetEnd.x - motion_.offsetStart.x);
    const double oy = motion_.offsetStart.y + s * (motion_.offsetEnd.y - motion_.offsetStart.y);

    // Placement in a y-up surface (origin bottom-left), as the offsets are defined.
    const double left = -(ox + 0.5) * (drawnWidth - width);
    const double bottom = -(oy + 0.5) * (drawnHeight - height);
    const double top = height - bottom - drawnHeight; // the image's top edge, in rows from the top

    const double right = left + drawnWidth;
    const double bottomEdge = top + drawnHeight;

    // Frame pixels the image touches at all; a vanishing or mirrored size touches none.
    const int x0 = std::max(0, pixelIndex(std::floor(left)));
    const int x1 = std::min(width, pixelIndex(std::ceil(right)));
    const int y0 = std::max(0, pixelIndex(std::floor(top)));
    const int y1 = std::min(height, pixelIndex(std::ceil(bottomEdge)));
    if (!(drawnWidth > 1e-6 && drawnHeight > 1e-6) || x0 >= x1 || y0 >= y1) {
        frame.setTo(panZoomBackground);
        return;
    }
    if (x0 > 0 || y0 > 0 || x1 < width || y1 < height)
        frame.setTo(panZoomBackground);

    // Destination pixel centre (x + 0.5) maps back to source position (x + 0.5 - left) * sx,
    // less half a pixel for OpenCV's pixel-centre convention. Edge pixels are
    // replicated for the filter: the fill must not bleed into pixels the image covers.
    const double sx = source_.cols / drawnWidth;
    const double sy = source_.rows / drawnHeight;
    const cv::Matx23d inverse(sx, 0, (x0 + 0.5 - left) * sx - 0.5, 0, sy, (y0 + 0.5 - top) * sy - 0.5);
    cv::Mat region = frame(cv::Range(y0, y1), cv::Range(x0, x1));
    cv::warpAffine(source_, region, inverse, region.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP,
                   cv::BORDER_REPLICATE);

    // The image's edges fall between pixels: blend the boundary pixels with the fill
    // by how much of each the image covers.
    const auto coverage = [](int p, double from, double to) {
        return std::clamp(std::min(p + 1.0, to) - std::max(static_cast<double>(p), from), 0.0, 1.0);
    };
    const auto blend = [&](int x, int y) {
        const double c = coverage(x, left, right) * coverage(y, top, bottomEdge);
        if (c >= 1)
            return;
        auto& px = frame.at<cv::Vec3b>(y, x);
        for (int k = 0; k < 3; ++k)
            px[k] = cv::saturate_cast<uchar>(c * px[k] + (1 - c) * panZoomBackground[k]);
    };
    for (int x = x0; x < x1; ++x) {
        blend(x, y0);
        if (y1 - 1 != y0)
            blend(x, y1 - 1);
    }
    for (int y = y0 + 1; y < y1 - 1; ++y) {
        blend(x0, y);
        if (x1 - 1 != x0)
            blend(x1 - 1, y);
    }
}

fs::path PanZoomRenderer::render(const fs::path& imagePath, const ClipMotion& motion,
                                 const fs::path& outputURL, const Progress& onProgress,
                                 std::stop_token stop) const
{
    const auto image = loadFrameImage(imagePath);
    if (!image)
        throw MotionError::cannotLoadImage(imagePath.string());
    if (outputURL.has_parent_path())
        fs::create_directories(outputURL.parent_path());
    checkClipMotion(motion);

    ClipWriter writer(outputURL, static_cast<int>(motion.width), static_cast<int>(motion.height),
                      static_cast<int>(effectiveRate(motion)));
    const PanZoomPainter painter(*image, motion);
    const std::int64_t n = frameCount(motion);
    // Frame i + 1 is drawn on a helper thread while frame i is encoded, so the
    // drawing hides behind the encoder instead of adding to it. The pending draw is
    // declared after the buffers: it is waited for before they go away.
    cv::Mat frames[2];
    std::future<void> next = std::async(std::launch::async, [&] { painter.draw(0, n, frames[0]); });
    for (std::int64_t i = 0; i < n; ++i) {
        next.get();
        throwIfCancelled(stop);
        if (i + 1 < n)
            next = std::async(std::launch::async, [&, i] { painter.draw(i + 1, n, frames[(i + 1) % 2]); });
        const cv::Mat& frame = frames[i % 2];
        writer.append(frame.data, static_cast<std::ptrdiff_t>(frame.step), ClipWriter::Layout::bgr24);
        if (onProgress)
            onProgress(static_cast<double>(i) / static_cast<double>(n));
    }
    throwIfCancelled(stop);
    writer.finish();
    if (onProgress)
        onProgress(1.0);
    return outputURL;
}

} // namespace vl
