// Motion clip throughput at 1080x1920, 4 s at 30 fps, on one picture, against a
// bare libx264 encode of the same frames with the clip settings, measured in the
// same run. Prints "BENCH motion.<name> <value> <unit>" lines.

#include "media/motion/AVFoundationMotionRenderer.h"
#include "media/motion/ClipWriter.h"
#include "media/motion/FrameImage.h"
#include "media/motion/MetalParallaxRenderer.h"
#include "media/motion/SubjectMask.h"
#include "model/Files.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

using namespace vl;
namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double seconds(const std::function<void()>& work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Best of a few runs: the machine is shared, and the best run is the one least
// disturbed by others.
double best(int runs, const std::function<void()>& work)
{
    double fastest = 1e300;
    for (int r = 0; r < runs; ++r)
        fastest = std::min(fastest, seconds(work));
    return fastest;
}

void line(const char* name, double value, const char* unit) { std::printf("BENCH motion.%s %.2f %s\n", name, value, unit); }

// A picture with the texture and detail of a real frame: soft gradients, a lit
// subject, hard-edged shapes and grain for the encoder to chew on.
cv::Mat picture()
{
    cv::Mat image(1920, 1080, CV_8UC3);
    for (int y = 0; y < image.rows; ++y)
        for (int x = 0; x < image.cols; ++x)
            image.at<cv::Vec3b>(y, x) = {static_cast<uchar>(60 + x / 9), static_cast<uchar>(40 + y / 12), 90};
    cv::RNG rng(7);
    for (int k = 0; k < 60; ++k)
        cv::rectangle(image, cv::Rect(rng.uniform(0, 1000), rng.uniform(0, 1800), rng.uniform(20, 200), rng.uniform(20, 200)),
                      cv::Scalar(rng.uniform(0, 255), rng.uniform(0, 255), rng.uniform(0, 255)), cv::FILLED, cv::LINE_AA);
    cv::circle(image, {540, 900}, 300, cv::Scalar(70, 160, 240), cv::FILLED, cv::LINE_AA);
    cv::putText(image, "VERSELOOM", {150, 1500}, cv::FONT_HERSHEY_SIMPLEX, 5, cv::Scalar(250, 250, 250), 12, cv::LINE_AA);
    cv::Mat grain(image.size(), CV_8UC3);
    rng.fill(grain, cv::RNG::NORMAL, 0, 6);
    cv::add(image, grain, image);
    return image;
}

} // namespace

int main()
{
    files::TemporaryDirectory dir("bench-motion");
    const fs::path imagePath = dir.path() / "frame.png";
    cv::imwrite(imagePath.string(), picture());
    const cv::Mat image = *loadFrameImage(imagePath);

    ClipMotion motion;
    motion.width = 1080;
    motion.height = 1920;
    motion.fps = 30;
    motion.durationSeconds = 4.0;
    motion.offsetStart = {-0.2, -0.08};
    motion.offsetEnd = {0.2, 0.08};
    motion.parallaxHeight = 0.28;
    motion.steady = 0.32;
    motion.zoomStart = 1.0;
    motion.zoomEnd = 1.08;
    const auto n = frameCount(motion);

    // (a) The reference: the same 120 frames, made beforehand, encoded bare.
    std::vector<cv::Mat> frames(static_cast<size_t>(n));
    const PanZoomPainter painter(image, motion);
    const double drawSeconds = seconds([&] {
        for (std::int64_t i = 0; i < n; ++i)
            painter.draw(i, n, frames[static_cast<size_t>(i)]);
    });
    const double encodeSeconds = best(2, [&] {
        ClipWriter writer(dir.path() / "bare.mov", 1080, 1920, 30);
        for (const auto& f : frames)
            writer.append(f.data, static_cast<std::ptrdiff_t>(f.step), ClipWriter::Layout::bgr24);
        writer.finish();
    });
    frames.clear();
    const double encodeFps = n / encodeSeconds;

    // (b) The 2D clip, from the image file to the finished movie.
    const double clip2dSeconds = best(2, [&] { AVFoundationMotionRenderer().render(imagePath, motion, dir.path() / "2d.mov", {}); });
    const double clip2dFps = n / clip2dSeconds;

    // (c) The parallax clip on the GPU path alone, so a fallback cannot pose as it.
    double parallaxFps = 0;
    try {
        const double parallaxSeconds = best(2, [&] {
            MetalParallaxRenderer().renderParallax(imagePath, motion, dir.path() / "parallax.mov", {});
        });
        parallaxFps = n / parallaxSeconds;
    } catch (const std::exception& e) {
        std::printf("# parallax path unavailable: %s\n", e.what());
    }

    // (d) The mask alone.
    const int maskRuns = 5;
    const double maskSeconds = seconds([&] {
        for (int r = 0; r < maskRuns; ++r)
            subjectMask(image, 640);
    });

    line("encode_fps", encodeFps, "fps");
    line("clip2d_fps", clip2dFps, "fps");
    line("parallax_fps", parallaxFps, "fps");
    line("mask_ms", maskSeconds / maskRuns * 1000, "ms");
    line("clip2d_vs_encode", clip2dFps / encodeFps, "ratio");
    line("parallax_vs_encode", parallaxFps / encodeFps, "ratio");

    // Where the time goes, per frame: the 2D drawing alone, and the parallax
    // path's draw, read-back and conversion + encode taken apart.
    line("clip2d_draw_ms", drawSeconds / n * 1000, "ms");
    try {
        const auto depth = subjectMask(image, 640);
        ParallaxScene scene(image, *depth, 1080, 1920);
        ClipWriter writer(dir.path() / "parts.mov", 1080, 1920, 30);
        double draw = 0, readBack = 0, encode = 0;
        for (std::int64_t i = 0; i < n; ++i) {
            const std::uint8_t* pixels = nullptr;
            draw += seconds([&] { scene.draw(parallaxUniforms(motion, i, n)); });
            readBack += seconds([&] { pixels = scene.readBack(); });
            encode += seconds([&] { writer.append(pixels, 1080 * 4, ClipWriter::Layout::rgba, true); });
        }
        writer.finish();
        // The shading alone, with no encoder threads competing for the cores.
        const double shade = seconds([&] {
            for (std::int64_t i = 0; i < n; ++i) {
                scene.draw(parallaxUniforms(motion, i, n));
                scene.readBack();
            }
        });
        line("parallax_shade_ms", shade / n * 1000, "ms");
        line("parallax_draw_ms", draw / n * 1000, "ms");
        line("parallax_readback_ms", readBack / n * 1000, "ms");
        line("parallax_convert_encode_ms", encode / n * 1000, "ms");
    } catch (const std::exception& e) {
        std::printf("# parallax breakdown unavailable: %s\n", e.what());
    }
    return 0;
}
