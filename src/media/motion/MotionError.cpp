#include "media/motion/MotionError.h"

#include <utility>

namespace vl {

namespace {

std::string describe(MotionError::Code code, const std::string& path)
{
    switch (code) {
    case MotionError::Code::cannotLoadImage:
        return "Could not load frame image at " + path + ".";
    case MotionError::Code::writerSetupFailed:
        return path.empty() ? "Could not start the video writer." : "Could not start the video writer: " + path + ".";
    case MotionError::Code::pixelBufferFailed:
        return "Could not allocate a video frame buffer.";
    }
    return {};
}

} // namespace

MotionError::MotionError(Code code, std::string path)
    : code_(code), path_(std::move(path)), message_(describe(code_, path_))
{
}

MotionError MotionError::cannotLoadImage(std::string path) { return {Code::cannotLoadImage, std::move(path)}; }
MotionError MotionError::writerSetupFailed(std::string reason) { return {Code::writerSetupFailed, std::move(reason)}; }
MotionError MotionError::pixelBufferFailed() { return {Code::pixelBufferFailed, {}}; }

} // namespace vl
