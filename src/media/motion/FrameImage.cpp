#include "media/motion/FrameImage.h"

#include "media/PictureFile.h"

#include <opencv2/imgcodecs.hpp>

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
    return eightBitBgra(raw);
}

} // namespace vl
