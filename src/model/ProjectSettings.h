#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vl {

struct StyleGuidance {
    std::string paletteName = "Acid & Coral";
    std::string mood = "Vivid, analog, expressive";
    std::string medium = "Hand-painted marker on physical surfaces";
    std::string negativePrompts = "blurry text, misspelled words, watermark";
    std::string continuityNotes;

    friend bool operator==(const StyleGuidance&, const StyleGuidance&) = default;
};

// Stored with the project; clips are drawn per chunk instead (see the motion operation).
struct DepthFlowSettings {
    double intensity = 0.5;
    double zoom = 0.15;
    double durationSeconds = 4.0;
    std::int64_t fps = 30;
    bool loop = true;

    friend bool operator==(const DepthFlowSettings&, const DepthFlowSettings&) = default;
};

enum class ExportResolution { p720, p1080, p1440, p2160 };
inline constexpr std::array kAllExportResolutions{ExportResolution::p720, ExportResolution::p1080,
                                                  ExportResolution::p1440, ExportResolution::p2160};

struct PixelSize {
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

std::string_view rawValue(ExportResolution r);           // "720p", "1080p", "1440p", "4K"
std::optional<ExportResolution> exportResolutionFromRaw(std::string_view raw);
PixelSize clipSize(ExportResolution r);                   // portrait 9:16, e.g. 1080 x 1920

enum class ExportContainer { mp4, mov };
inline constexpr std::array kAllExportContainers{ExportContainer::mp4, ExportContainer::mov};

std::string_view rawValue(ExportContainer c);             // "MP4 (H.264)", "MOV (ProRes)"
std::optional<ExportContainer> exportContainerFromRaw(std::string_view raw);
std::string_view fileExtension(ExportContainer c);        // "mp4", "mov"

struct ExportSettings {
    ExportResolution resolution = ExportResolution::p1080;
    ExportContainer container = ExportContainer::mp4;
    bool includeOriginalAudio = true;
    std::string destinationFolder;

    friend bool operator==(const ExportSettings&, const ExportSettings&) = default;
};

} // namespace vl
