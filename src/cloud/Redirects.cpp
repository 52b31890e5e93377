#include "cloud/HttpClient.h"

#include "cloud/Url.h"
#include "model/Text.h"

#include <algorithm>
#include <vector>

namespace vl {

namespace {

bool isRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// A path with its "." and ".." segments worked out, as a browser does.
std::string withoutDotSegments(std::string_view path)
{
    std::vector<std::string_view> segments;
    std::size_t start = 1; // past the leading "/"
    for (;;) {
        const std::size_t end = path.find('/', start);
        const std::string_view segment = path.substr(start, end == std::string_view::npos ? end : end - start);
        const bool last = end == std::string_view::npos;
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
            if (last)
                segments.emplace_back();
        } else if (segment == ".") {
            if (last)
                segments.emplace_back();
        } else {
            segments.push_back(segment);
        }
        if (last)
            break;
        start = end + 1;
    }
    std::string joined;
    for (const auto segment : segments)
        joined.append("/").append(segment);
    return joined.empty() ? "/" : joined;
}

// The absolute address a Location header points at from `base`: absolute, scheme-relative,
// absolute-path and path-relative forms; none for what cannot be made into an address.
std::optional<std::string> resolved(std::string_view base, std::string_view location)
{
    if (url::parse(location))
        return std::string(location);
    const auto parts = url::parse(base);
    if (!parts || location.empty() || location.front() == '#')
        return std::nullopt;
    if (location.starts_with("//"))
        return parts->scheme + ":" + std::string(location);
    url::Parts target = *parts;
    const std::size_t mark = location.find_first_of("?#");
    const std::string_view path = location.substr(0, mark);
    if (path.empty()) {
        // Only a query: the same path with it.
    } else if (path.front() == '/') {
        target.path = withoutDotSegments(path);
    } else {
        const std::string directory = parts->path.substr(0, parts->path.rfind('/') + 1);
        target.path = withoutDotSegments(directory + std::string(path));
    }
    target.query.reset();
    target.fragment.reset();
    if (const auto question = location.find('?'); question != std::string_view::npos)
        target.query = std::string(location.substr(question + 1, location.find('#', question) - question - 1));
    else if (path.empty())
        target.query = parts->query;
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
                                       int maxRedirects, RedirectMethod method)
{
    request.followRedirects = false; // every hop is decided here
    for (int hop = 0;; ++hop) {
        HttpResponse response = http.perform(request, stop);
        if (!isRedirect(response.status) || hop >= maxRedirects)
            return response;
        const bool keepsMethod = response.status == 307 || response.status == 308;
        if (method == RedirectMethod::keep && !keepsMethod)
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
