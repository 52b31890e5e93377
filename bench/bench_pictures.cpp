// The upload downscale of a large picture with transparency (the costliest path:
// 8-bit alpha blend and orientation), against OpenCV decoding the same file
// alone in the same run, and the memory the process needed at its peak; then a
// JPEG at the pixel limit against decoding it whole.

#include "media/ImageDownscale.h"
#include "model/Files.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

double bestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

// The process's peak resident memory in MiB (VmHWM).
double peakMiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

} // namespace

int main()
{
    vl::files::TemporaryDirectory folder("bench-pictures");
    const auto file = folder.path() / "large.png";
    {
        // 8192 x 8192 with alpha: a few kilobytes of PNG, 256 MiB of pixels.
        cv::Mat picture(8192, 8192, CV_8UC4, cv::Scalar(40, 90, 200, 128));
        picture(cv::Rect(1000, 1000, 3000, 2000)).setTo(cv::Scalar(255, 255, 255, 255));
        if (!cv::imwrite(file.string(), picture)) {
            std::fprintf(stderr, "could not write the test picture\n");
            return 1;
        }
    }
    const double before = peakMiB();
    const double ours = bestSeconds(3, [&] { vl::ImageDownscale::jpegData(file, 1024, 0.82); });
    const double peak = peakMiB();
    const double decode = bestSeconds(3, [&] { cv::imread(file.string(), cv::IMREAD_UNCHANGED); });

    std::printf("BENCH pictures.downscale_8k_alpha_s %.3f s\n", ours);
    std::printf("BENCH pictures.decode_8k_alpha_s %.3f s\n", decode);
    std::printf("BENCH pictures.downscale_vs_decode %.2f ratio\n", ours / decode);
    std::printf("BENCH pictures.downscale_peak_mib %.0f MiB\n", std::max(peak, before));

    // A photo right at the 100-megapixel limit: decoded at a reduced size, against
    // decoding it whole.
    const auto photo = folder.path() / "limit.jpg";
    {
        cv::Mat picture(10000, 10000, CV_8UC3, cv::Scalar(40, 90, 200));
        cv::randu(picture(cv::Rect(2000, 2000, 4000, 4000)), cv::Scalar::all(0), cv::Scalar::all(255));
        if (!cv::imwrite(photo.string(), picture)) {
            std::fprintf(stderr, "could not write the test photo\n");
            return 1;
        }
    }
    const double photoOurs = bestSeconds(3, [&] { vl::ImageDownscale::jpegData(photo, 1024, 0.82); });
    const double photoDecode = bestSeconds(3, [&] { cv::imread(photo.string(), cv::IMREAD_COLOR); });
    std::printf("BENCH pictures.downscale_jpeg_100mp_s %.3f s\n", photoOurs);
    std::printf("BENCH pictures.downscale_jpeg_100mp_vs_decode %.2f ratio\n", photoOurs / photoDecode);
    return 0;
}
