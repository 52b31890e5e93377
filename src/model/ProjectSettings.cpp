#include "model/ProjectSettings.h"

#include <utility>

namespace vl {

namespace {
constexpr std::pair<ExportResolution, std::string_view> kResolutions[] = {
    {ExportResolution::p720, "720p"},
    {ExportResolution::p1080, "1080p"},
    {ExportResolution::p1440, "1440p"},
    {ExportResolution::p2160, "4K"},
};
constexpr std::pair<ExportContainer, std::string_view> kContainers[] = {
    {ExportContainer::mp4, "MP4 (H.264)"},
    {ExportContainer::mov, "MOV (ProRes)"},
};

template <typename E, std::size_t N>
std::string_view rawOf(const std::pair<E, std::string_view> (&table)[N], E value)
{
    for (const auto& [e, raw] : table)
        if (e == value) return raw;
    return "";
}

template <typename E, std::size_t N>
std::optional<E> fromRaw(const std::pair<E, std::string_view> (&table)[N], std::string_view raw)
{
    for (const auto& [e, text] : table)
        if (text == raw) return e;
    return std::nullopt;
}
} // namespace

std::string_view rawValue(ExportResolution r) { return rawOf(kResolutions, r); }
std::optional<ExportResolution> exportResolutionFromRaw(std::string_view raw) { return fromRaw(kResolutions, raw); }

PixelSize clipSize(ExportResolution r)
{
    int height = 1920;
    switch (r) {
    case ExportResolution::p720: height = 1280; break;
    case ExportResolution::p1080: height = 1920; break;
    case ExportResolution::p1440: height = 2560; break;
    case ExportResolution::p2160: height = 3840; break;
    }
    return {height * 9 / 16, height};
}

std::string_view rawValue(ExportContainer c) { return rawOf(kContainers, c); }
std::optional<ExportContainer> exportContainerFromRaw(std::string_view raw) { return fromRaw(kContainers, raw); }

std::string_view fileExtension(ExportContainer c) { return c == ExportContainer::mov ? "mov" : "mp4"; }

} // namespace vl
