#pragma once

#include "cloud/Workflows.h"
#include "model/Json.h"

#include <optional>
#include <string>
#include <string_view>

namespace vl {

// The built-in relay on the maker's web host, and the site's other host name,
// which never serves the relay.
inline constexpr std::string_view kDefaultRelayURL = "https://quillmarsh.pro/api/fal";
inline constexpr std::string_view kRelayHost = "quillmarsh.pro";
inline constexpr std::string_view kRefusedRelayHost = "www.quillmarsh.pro";

// The hosted workflows, the image model and the relay address the store works with.
struct PipelineConfig {
    std::string characterWorkflow{workflows::kCharacter};
    std::string transcriptionWorkflow{workflows::kTranscription};
    std::string planWorkflow{workflows::kPlan};
    std::string elementWorkflow{workflows::kElement};
    std::string frameWorkflow{workflows::kFrame};
    std::string editWorkflow{workflows::kEditFrame};
    std::string generationModel{workflows::kGenerationModel};
    std::string proxyBaseURL{kDefaultRelayURL};

    friend bool operator==(const PipelineConfig&, const PipelineConfig&) = default;
};

// All eight keys, in field order.
json::OrderedJson toJson(const PipelineConfig& config);
// Every key is required; throws json::DecodeError.
PipelineConfig pipelineConfigFromJson(const json::Json& value);

// Normalises a relay address typed by the user. Anything unusable yields the
// fallback (trimmed; the built-in relay when empty). Scheme and host come back
// as written; only the comparisons ignore case.
std::string resolvedProxyURL(const std::optional<std::string>& text, std::string_view fallback);

} // namespace vl
