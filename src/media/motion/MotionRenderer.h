#pragma once

#include "media/motion/ClipMotion.h"

#include <filesystem>
#include <functional>
#include <stop_token>

namespace vl {

// Turns one still frame image into a short silent motion clip (QuickTime, H.264).
class MotionRenderer {
public:
    using Progress = std::function<void(double)>;

    virtual ~MotionRenderer() = default;

    // Blocks until the clip at `outputURL` is complete and returns its location.
    // The clip appears whole or not at all: it is written under a temporary name in
    // the same folder and renamed into place at the end, so a failed or cancelled
    // render leaves whatever clip was there before. `onProgress` gets 0...1 on the
    // calling thread. Throws MotionError, a file-system or writer error, or
    // vl::Cancelled within one frame of `stop` being requested.
    virtual std::filesystem::path render(const std::filesystem::path& imagePath, const ClipMotion& motion,
                                         const std::filesystem::path& outputURL, const Progress& onProgress,
                                         std::stop_token stop = {}) const = 0;
};

} // namespace vl
