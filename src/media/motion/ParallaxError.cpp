#include "media/motion/ParallaxError.h"

namespace vl {

const char* ParallaxError::what() const noexcept
{
    switch (code_) {
    case Code::unavailable: return "no GPU context";
    case Code::depthFailed: return "no depth map";
    case Code::textureFailed: return "no texture for the frame";
    case Code::encodeFailed: return "GPU encoding failed";
    }
    return "GPU failure";
}

} // namespace vl
