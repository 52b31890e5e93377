#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
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
    // Both the connect limit and the stall window: a transfer that moves fewer than
    // `lowSpeedBytesPerSecond` for this long ends, so an answer that drips a byte
    // now and then cannot hold a worker for ever.
    std::chrono::seconds timeout{60};
    std::size_t lowSpeedBytesPerSecond = 1024;
    // The whole request, from connecting to the last byte, ends after this long
    // however steadily it moves.
    std::chrono::seconds deadline{600};
    // Responses larger than this end the transfer with HttpError::Kind::tooLarge.
    std::size_t maxResponseBytes = 32u << 20;
    // Plain downloads let the client follow redirects anywhere; requests that carry
    // a credential follow them only through performFollowingRedirects.
    bool followRedirects = false;
};

struct HttpResponse {
    long status = 0;
    std::string body;
    HttpHeaders headers; // names lower-cased

    std::optional<std::string> header(std::string_view name) const;
};

// A request that never produced an HTTP answer: no connection, a stall or the
// deadline (timedOut), a refused address, or an answer larger than the caller
// allows. The message is readable as is.
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

// What a redirect may do to the request's method: 301, 302 and 303 after a POST
// become a GET without a body (as browsers do), or only redirects that repeat the
// method and body (307, 308) are followed at all.
enum class RedirectMethod { browser, keep };

// Performs the request and follows at most `maxRedirects` redirects whose absolute
// target `mayFollow` accepts, headers and all (so `mayFollow` decides who may see
// a credential). 307 and 308 repeat the method and body; what the others do depends
// on `method`. A redirect that is not followed comes back as the answer it is.
HttpResponse performFollowingRedirects(HttpClient& http, HttpRequest request,
                                       const std::function<bool(std::string_view target)>& mayFollow,
                                       std::stop_token stop, int maxRedirects = 5,
                                       RedirectMethod method = RedirectMethod::browser);

// Same scheme, host and port (compared without regard to case).
bool sameOrigin(std::string_view a, std::string_view b);

} // namespace vl
