#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace vl {

struct ImageDownscale {
    // Reads an image file (orientation tag applied), shrinks it so its longer side
    // is at most `maxPixels` (never enlarging; each side keeps at least one pixel)
    // and encodes it as JPEG at `quality` (0 worst .. 1 best). Transparent pixels
    // are laid over white. Gives nothing when the file is not a readable image or
    // `maxPixels` is not a finite positive number; never throws.
    static std::optional<std::string> jpegData(const std::filesystem::path& path, double maxPixels, double quality);
};

} // namespace vl
