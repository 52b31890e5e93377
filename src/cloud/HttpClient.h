#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vl {

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string method = "GET";
    std::string url;
    HttpHeaders headers;
    std::string body;
    // Both the connect limit and the idle limit: a transfer that moves no byte for
    // this long ends. There is deliberately no limit on the whole transfer, so a
    // long upload on a slow line is never cut while it still makes progress.
    std::chrono::seconds timeout{60};
    // Responses larger than this end the transfer with HttpError::Kind::tooLarge.
    std::size_t maxResponseBytes = 32u << 20;
    // Only plain downloads follow redirects; requests that carry a credential never do.
    bool followRedirects = false;
};

struct HttpResponse {
    long status = 0;
    std::string body;
    HttpHeaders headers; // names lower-cased

    std::optional<std::string> header(std::string_view name) const;
};

// A request that never produced an HTTP answer: no connection, a timeout, a refused
// address, or an answer larger than the caller allows. The message is readable as is.
class HttpError : public std::runtime_error {
public:
    enum class Kind { transport, timedOut, tooLarge, invalidRequest };
    HttpError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// Our one road to HTTP. Calls block the calling worker thread; a stop request on
// the token aborts the transfer at once and the call throws vl::Cancelled.
class HttpClient {
public:
    virtual ~HttpClient() = default;
    virtual HttpResponse perform(const HttpRequest& request, std::stop_token stop) = 0;
};

// The process-wide client on libcurl, shared like a URL session.
HttpClient& sharedHttpClient();

} // namespace vl
