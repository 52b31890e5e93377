#pragma once

#include <exception>
#include <string>

namespace vl {

// Failures of the motion renderers. what() is the sentence the user sees.
class MotionError : public std::exception {
public:
    enum class Code { cannotLoadImage, writerSetupFailed, pixelBufferFailed };

    static MotionError cannotLoadImage(std::string path);
    // `reason`, when given, is the system's word for what went wrong ("No space left on device").
    static MotionError writerSetupFailed(std::string reason = {});
    static MotionError pixelBufferFailed();

    Code code() const { return code_; }
    const std::string& path() const { return path_; } // cannotLoadImage: the path; writerSetupFailed: the reason
    const char* what() const noexcept override { return message_.c_str(); }

    friend bool operator==(const MotionError& a, const MotionError& b)
    {
        return a.code_ == b.code_ && a.path_ == b.path_;
    }

private:
    MotionError(Code code, std::string path);

    Code code_;
    std::string path_;
    std::string message_;
};

} // namespace vl
