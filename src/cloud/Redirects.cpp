#include "cloud/HttpClient.h"

#include "cloud/Url.h"
#include "model/Text.h"

#include <algorithm>

namespace vl {

namespace {

bool isRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// The absolute address a Location header points at from `base`; none for the
// relative forms we have no use for.
std::optional<std::string> resolved(std::string_view base, std::string_view location)
{
    if (url::parse(location))
        return std::string(location);
    const auto parts = url::parse(base);
    if (!parts || location.empty())
        return std::nullopt;
    if (location.starts_with("//"))
        return parts->scheme + ":" + std::string(location);
    if (location.front() != '/')
        return std::nullopt;
    url::Parts target = *parts;
    const std::string_view path = location.substr(0, location.find_first_of("?#"));
    target.path = std::string(path);
    target.query.reset();
    target.fragment.reset();
    if (const auto mark = location.find('?'); mark != std::string_view::npos)
        target.query = std::string(location.substr(mark + 1, location.find('#', mark) - mark - 1));
    const auto address = url::build(target);
    return address && url::parse(*address) ? address : std::nullopt;
}

} // namespace

bool sameOrigin(std::string_view a, std::string_view b)
{
    const auto x = url::parse(a);
    const auto y = url::parse(b);
    return x && y && text::asciiLower(x->scheme) == text::asciiLower(y->scheme)
        && text::asciiLower(x->host) == text::asciiLower(y->host) && x->effectivePort() == y->effectivePort();
}

HttpResponse performFollowingRedirects(HttpClient& http, HttpRequest request,
                                       const std::function<bool(std::string_view)>& mayFollow, std::stop_token stop,
                                       int maxRedirects)
{
    request.followRedirects = false; // every hop is decided here
    for (int hop = 0;; ++hop) {
        HttpResponse response = http.perform(request, stop);
        if (!isRedirect(response.status) || hop >= maxRedirects)
            return response;
        const auto location = response.header("location");
        const auto target = location ? resolved(request.url, *location) : std::nullopt;
        if (!target || !mayFollow(*target))
            return response;
        request.url = *target;
        if (response.status == 303 || (request.method == "POST" && response.status != 307 && response.status != 308)) {
            request.method = "GET";
            request.body.clear();
            std::erase_if(request.headers,
                          [](const auto& header) { return text::asciiLower(header.first) == "content-type"; });
        }
    }
}

} // namespace vl
