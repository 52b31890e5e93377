#pragma once

#include <exception>

namespace vl {

// The GPU path's own failures. They never reach a caller: every one of them makes
// the renderer draw the clip in 2D instead.
class ParallaxError : public std::exception {
public:
    enum class Code { unavailable, depthFailed, textureFailed, encodeFailed };
    explicit ParallaxError(Code code) : code_(code) {}
    Code code() const { return code_; }
    const char* what() const noexcept override;
    friend bool operator==(const ParallaxError& a, const ParallaxError& b) { return a.code_ == b.code_; }

private:
    Code code_;
};

} // namespace vl
