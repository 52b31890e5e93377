#include "cloud/Url.h"

#include "model/Text.h"

#include <curl/curl.h>

#include <charconv>
#include <memory>

namespace vl::url {

namespace {

struct UrlDeleter {
    void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
using Handle = std::unique_ptr<CURLU, UrlDeleter>;

std::optional<std::string> get(CURLU* handle, CURLUPart part, unsigned flags = 0)
{
    char* value = nullptr;
    if (curl_url_get(handle, part, &value, flags) != CURLUE_OK || value == nullptr)
        return std::nullopt;
    std::string result(value);
    curl_free(value);
    return result;
}

bool set(CURLU* handle, CURLUPart part, const std::optional<std::string>& value)
{
    return curl_url_set(handle, part, value ? value->c_str() : nullptr, 0) == CURLUE_OK;
}

} // namespace

int Parts::effectivePort() const
{
    if (!port.empty()) {
        int value = 0;
        const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (error == std::errc() && end == port.data() + port.size())
            return value;
        return -1;
    }
    return text::asciiLower(scheme) == "https" ? 443 : 80;
}

std::optional<Parts> parse(std::string_view text)
{
    Handle handle(curl_url());
    if (!handle)
        return std::nullopt;
    const std::string copy(text);
    if (copy.find('\0') != std::string::npos)
        return std::nullopt;
    if (curl_url_set(handle.get(), CURLUPART_URL, copy.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
        return std::nullopt;
    Parts parts;
    parts.scheme = get(handle.get(), CURLUPART_SCHEME).value_or("");
    const std::string scheme = text::asciiLower(parts.scheme);
    if (scheme != "http" && scheme != "https")
        return std::nullopt;
    // curl lower-cases the scheme; keep it as written.
    parts.scheme = std::string(text.substr(0, parts.scheme.size()));
    parts.host = get(handle.get(), CURLUPART_HOST).value_or("");
    if (parts.host.empty())
        return std::nullopt;
    parts.user = get(handle.get(), CURLUPART_USER).value_or("");
    parts.password = get(handle.get(), CURLUPART_PASSWORD).value_or("");
    parts.port = get(handle.get(), CURLUPART_PORT).value_or("");
    parts.path = get(handle.get(), CURLUPART_PATH).value_or("/");
    parts.query = get(handle.get(), CURLUPART_QUERY);
    parts.fragment = get(handle.get(), CURLUPART_FRAGMENT);
    return parts;
}

std::optional<std::string> build(const Parts& parts)
{
    Handle handle(curl_url());
    if (!handle)
        return std::nullopt;
    if (!set(handle.get(), CURLUPART_SCHEME, parts.scheme) || !set(handle.get(), CURLUPART_HOST, parts.host))
        return std::nullopt;
    if (!parts.user.empty() && !set(handle.get(), CURLUPART_USER, parts.user))
        return std::nullopt;
    if (!parts.password.empty() && !set(handle.get(), CURLUPART_PASSWORD, parts.password))
        return std::nullopt;
    if (!parts.port.empty() && !set(handle.get(), CURLUPART_PORT, parts.port))
        return std::nullopt;
    if (!set(handle.get(), CURLUPART_PATH, parts.path.empty() ? std::string("/") : parts.path))
        return std::nullopt;
    if (parts.query && !set(handle.get(), CURLUPART_QUERY, parts.query))
        return std::nullopt;
    if (parts.fragment && !set(handle.get(), CURLUPART_FRAGMENT, parts.fragment))
        return std::nullopt;
    auto text = get(handle.get(), CURLUPART_URL);
    if (!text)
        return std::nullopt;
    // The scheme as written, not curl's lower-cased one.
    if (text->size() >= parts.scheme.size())
        text->replace(0, parts.scheme.size(), parts.scheme);
    return text;
}

std::optional<std::string> appendQueryItem(std::string_view address, std::string_view name, std::string_view value)
{
    auto parts = parse(address);
    if (!parts)
        return std::nullopt;
    const std::string item = std::string(name) + "=" + std::string(value);
    parts->query = parts->query && !parts->query->empty() ? *parts->query + "&" + item : item;
    return build(*parts);
}

bool isLoopbackHost(std::string_view host)
{
    const std::string lower = text::asciiLower(host);
    return lower == "127.0.0.1" || lower == "localhost" || lower == "[::1]" || lower == "::1";
}

} // namespace vl::url
