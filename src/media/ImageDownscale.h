#pragma once

#include <filesystem>
#include <string>

namespace vl {

struct ImageDownscale {
    // Reads a PNG, JPEG or WebP file (orientation tag applied), shrinks it so its
    // longer side is at most `maxPixels` (never enlarging; each side keeps at least
    // one pixel) and encodes it as JPEG at `quality` (0 worst .. 1 best).
    // Transparent pixels are laid over white. Throws ImageError when the file is
    // not such a picture, is damaged or is over the pixel limit, and
    // std::invalid_argument when `maxPixels` is not a finite positive number or
    // `quality` is not finite.
    static std::string jpegData(const std::filesystem::path& path, double maxPixels, double quality);
};

} // namespace vl
