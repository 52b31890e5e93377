#pragma once

#include <stdexcept>
#include <string>

namespace vl {

// The cloud client's failures; what() is the sentence the user sees.
class FalError : public std::runtime_error {
public:
    enum class Kind {
        badURL,            // text: the address or path that did not parse
        http,              // status and the first 500 characters of the body
        jobFailed,         // text: the vendor's status word
        missingAPIKey,
        unauthorized,
        malformedResponse,
        noImageInResponse,
        timedOut,
    };

    static FalError badURL(std::string text) { return FalError(Kind::badURL, 0, std::move(text)); }
    static FalError http(int status, std::string body) { return FalError(Kind::http, status, std::move(body)); }
    static FalError jobFailed(std::string status) { return FalError(Kind::jobFailed, 0, std::move(status)); }
    static FalError missingAPIKey() { return FalError(Kind::missingAPIKey); }
    static FalError unauthorized() { return FalError(Kind::unauthorized); }
    static FalError malformedResponse() { return FalError(Kind::malformedResponse); }
    static FalError noImageInResponse() { return FalError(Kind::noImageInResponse); }
    static FalError timedOut() { return FalError(Kind::timedOut); }

    Kind kind() const { return kind_; }
    int status() const { return status_; }               // http only
    const std::string& text() const { return text_; }    // badURL's address, http's body, jobFailed's word

    friend bool operator==(const FalError& a, const FalError& b)
    {
        return a.kind_ == b.kind_ && a.status_ == b.status_ && a.text_ == b.text_;
    }

private:
    explicit FalError(Kind kind, int status = 0, std::string text = {});
    static std::string describe(Kind kind, int status, const std::string& text);

    Kind kind_;
    int status_;
    std::string text_;
};

} // namespace vl
