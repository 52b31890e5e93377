#include "pipeline/PipelineConfig.h"

#include "model/Text.h"

namespace vl {

namespace {

constexpr const char* kKeys[] = {"characterWorkflow", "transcriptionWorkflow", "planWorkflow",
                                 "elementWorkflow",   "frameWorkflow",         "editWorkflow",
                                 "generationModel",   "proxyBaseURL"};

std::string PipelineConfig::*const kFields[] = {
    &PipelineConfig::characterWorkflow, &PipelineConfig::transcriptionWorkflow,
    &PipelineConfig::planWorkflow,      &PipelineConfig::elementWorkflow,
    &PipelineConfig::frameWorkflow,     &PipelineConfig::editWorkflow,
    &PipelineConfig::generationModel,   &PipelineConfig::proxyBaseURL};

// An absolute address split by hand, so that scheme and host keep their case.
struct AddressParts {
    std::string scheme;
    std::string authority; // userinfo@host:port as written
    std::string host;      // the host part of authority
    std::string path;
    std::string rest;      // "?query#fragment" as written
};

std::optional<AddressParts> splitAddress(std::string_view text)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return std::nullopt;
    AddressParts parts;
    parts.scheme = std::string(text.substr(0, colon));
    for (std::size_t i = 0; i < parts.scheme.size(); ++i) {
        const char c = parts.scheme[i];
        const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        const bool other = (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!(alpha || (i > 0 && other)))
            return std::nullopt;
    }
    for (char c : text)
        if (static_cast<unsigned char>(c) <= 0x20 || c == '\x7F')
            return std::nullopt; // URL components refuse unescaped blanks and controls
    std::string_view rest = text.substr(colon + 1);
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        const auto end = rest.find_first_of("/?#");
        parts.authority = std::string(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end);
        std::string_view hostPort = parts.authority;
        if (const auto at = hostPort.rfind('@'); at != std::string_view::npos)
            hostPort.remove_prefix(at + 1);
        if (!hostPort.empty() && hostPort.front() == '[') {
            const auto close = hostPort.find(']');
            if (close == std::string_view::npos)
                return std::nullopt;
            parts.host = std::string(hostPort.substr(0, close + 1));
        } else {
            parts.host = std::string(hostPort.substr(0, hostPort.find(':')));
        }
    }
    const auto queryStart = rest.find_first_of("?#");
    parts.path = std::string(rest.substr(0, queryStart));
    if (queryStart != std::string_view::npos)
        parts.rest = std::string(rest.substr(queryStart));
    return parts;
}

std::string trimSlashes(std::string_view path)
{
    std::size_t begin = 0;
    std::size_t end = path.size();
    while (begin < end && path[begin] == '/') ++begin;
    while (end > begin && path[end - 1] == '/') --end;
    return std::string(path.substr(begin, end - begin));
}

} // namespace

json::OrderedJson toJson(const PipelineConfig& config)
{
    json::OrderedJson out = json::OrderedJson::object();
    for (std::size_t i = 0; i < std::size(kKeys); ++i)
        out[kKeys[i]] = config.*kFields[i];
    return out;
}

PipelineConfig pipelineConfigFromJson(const json::Json& value)
{
    const json::ObjectReader reader(value, "PipelineConfig");
    PipelineConfig config;
    for (std::size_t i = 0; i < std::size(kKeys); ++i)
        config.*kFields[i] = reader.string(kKeys[i]);
    return config;
}

std::string resolvedProxyURL(const std::optional<std::string>& text, std::string_view fallback)
{
    std::string base = text::trimWhitespaceAndNewlines(fallback);
    if (base.empty())
        base = std::string(kDefaultRelayURL);
    if (!text)
        return base;
    const std::string trimmed = text::trimWhitespaceAndNewlines(*text);
    if (trimmed.empty())
        return base;
    auto parts = splitAddress(trimmed);
    if (!parts || text::asciiLower(parts->scheme) != "https")
        return base;
    const std::string host = text::asciiLower(parts->host);
    if (host.empty() || host == kRefusedRelayHost)
        return base;
    if (host == kRelayHost) {
        const std::string inner = trimSlashes(parts->path);
        if (inner.empty() || inner == "api/fal")
            parts->path = "/api/fal";
    } else if (parts->path.size() >= 2 && parts->path.back() == '/') {
        parts->path.pop_back();
    }
    return parts->scheme + "://" + parts->authority + parts->path + parts->rest;
}

} // namespace vl
