#pragma once

#include <exception>
#include <string>

namespace vl {

class TranscriptionError : public std::exception {
public:
    enum class Case { failed, noEngineAvailable, notAuthorized };

    static TranscriptionError failed(std::string detail) { return {Case::failed, std::move(detail)}; }
    static TranscriptionError noEngineAvailable() { return {Case::noEngineAvailable, {}}; }
    // The on-device model is missing (what a refused permission is elsewhere).
    static TranscriptionError notAuthorized() { return {Case::notAuthorized, {}}; }

    Case kind() const { return case_; }
    const std::string& detail() const { return detail_; } // only `failed` carries one
    const std::string& message() const { return message_; }
    const char* what() const noexcept override { return message_.c_str(); }

    friend bool operator==(const TranscriptionError& a, const TranscriptionError& b)
    {
        return a.case_ == b.case_ && a.detail_ == b.detail_;
    }

private:
    TranscriptionError(Case c, std::string detail);

    Case case_;
    std::string detail_;
    std::string message_;
};

} // namespace vl
