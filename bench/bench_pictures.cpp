// The upload downscale of a large picture with transparency (the costliest path:
// 8-bit alpha blend and orientation), against OpenCV decoding the same file
// alone in the same run, and the memory the process needed at its peak; then a
// JPEG at the pixel limit against decoding it whole.

#include "BenchReport.h"
#include "media/ImageDownscale.h"
#include "model/Files.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

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

// Pictures that did not decode would time an early return.
void decoded(const cv::Mat& picture)
{
    if (picture.empty())
        throw std::runtime_error("OpenCV could not decode the test picture");
}

void downscaled(const std::string& jpeg)
{
    if (jpeg.empty())
        throw std::runtime_error("the downscale gave no picture");
}

void measure(vl::bench::Report& report)
{
    vl::files::TemporaryDirectory folder("bench-pictures");
    const auto file = folder.path() / "large.png";
    {
        // 8192 x 8192 with alpha: a few kilobytes of PNG, 256 MiB of pixels.
        cv::Mat picture(8192, 8192, CV_8UC4, cv::Scalar(40, 90, 200, 128));
        picture(cv::Rect(1000, 1000, 3000, 2000)).setTo(cv::Scalar(255, 255, 255, 255));
        if (!cv::imwrite(file.string(), picture))
            throw std::runtime_error("could not write the test picture");
    }
    const double before = peakMiB();
    const double ours = vl::bench::bestSeconds(3, [&] { downscaled(vl::ImageDownscale::jpegData(file, 1024, 0.82)); });
    const double peak = peakMiB();
    const double decode = vl::bench::bestSeconds(3, [&] { decoded(cv::imread(file.string(), cv::IMREAD_UNCHANGED)); });

    report.figure("downscale_8k_alpha_s", ours, "s", 3);
    report.figure("decode_8k_alpha_s", decode, "s", 3);
    report.figure("downscale_vs_decode", ours / decode, "ratio");
    const double peakUsed = std::max(peak, before);
    if (peakUsed > 0)
        report.figure("downscale_peak_mib", peakUsed, "MiB", 0);
    else
        report.missing("downscale_peak_mib", "no peak memory in /proc/self/status");

    // A photo right at the 100-megapixel limit: decoded at a reduced size, against
    // decoding it whole.
    const auto photo = folder.path() / "limit.jpg";
    {
        cv::Mat picture(10000, 10000, CV_8UC3, cv::Scalar(40, 90, 200));
        cv::randu(picture(cv::Rect(2000, 2000, 4000, 4000)), cv::Scalar::all(0), cv::Scalar::all(255));
        if (!cv::imwrite(photo.string(), picture))
            throw std::runtime_error("could not write the test photo");
    }
    const double photoOurs = vl::bench::bestSeconds(3, [&] { downscaled(vl::ImageDownscale::jpegData(photo, 1024, 0.82)); });
    const double photoDecode = vl::bench::bestSeconds(3, [&] { decoded(cv::imread(photo.string(), cv::IMREAD_COLOR)); });
    report.figure("downscale_jpeg_100mp_s", photoOurs, "s", 3);
    report.figure("downscale_jpeg_100mp_vs_decode", photoOurs / photoDecode, "ratio");
}

} // namespace

int main()
{
    vl::bench::Report report("pictures");
    return report.run([&] { measure(report); });
}
