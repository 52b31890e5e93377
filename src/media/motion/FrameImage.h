#pragma once

#include <filesystem>
#include <optional>

#include <opencv2/core/mat.hpp>

namespace vl {

// The first image of the file as 8-bit BGRA with straight alpha (opaque images get
// alpha 255), in the file's stored orientation; nothing when it cannot be decoded.
std::optional<cv::Mat> loadFrameImage(const std::filesystem::path& path);

} // namespace vl
