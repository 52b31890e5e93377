#include "media/motion/FrameImage.h"

#include "media/PictureFile.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace vl {

std::optional<cv::Mat> loadFrameImage(const std::filesystem::path& path)
{
    cv::Mat raw;
    try {
        // UNCHANGED keeps alpha and high bit depths and, like the stored pixels,
        // ignores an EXIF orientation tag.
        raw = PictureFile::read(path).decode(cv::IMREAD_UNCHANGED);
    } catch (const ImageError&) {
        return std::nullopt;
    }

    cv::Mat eight;
    switch (raw.depth()) {
    case CV_8U: eight = raw; break;
    case CV_16U: raw.convertTo(eight, CV_8U, 1.0 / 257.0); break;
    case CV_32F:
    case CV_64F: raw.convertTo(eight, CV_8U, 255.0); break;
    default: return std::nullopt;
    }

    cv::Mat bgra;
    switch (eight.channels()) {
    case 1: cv::cvtColor(eight, bgra, cv::COLOR_GRAY2BGRA); break;
    case 3: cv::cvtColor(eight, bgra, cv::COLOR_BGR2BGRA); break;
    case 4: bgra = eight.isContinuous() ? eight : eight.clone(); break;
    default: return std::nullopt;
    }
    return bgra;
}

} // namespace vl
