#pragma once

#include "model/Json.h"
#include "model/Storyboard.h"

#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vl::PlanParser {

// The JSON object a text holds: the span from its first "{" to its last "}",
// parsed; nothing when there is no such span or it is not a JSON object.
// Prose and code fences around the object are ignored.
std::optional<json::Json> jsonObject(std::string_view text);

// Planner and vendor answers are untrusted and may nest JSON inside strings
// inside JSON; every search stops this many levels down instead of exhausting
// the stack.
inline constexpr int kMaxSearchDepth = json::kMaxDepth;

// The first object holding `key` (whatever its value), searched depth first: an
// object before its members, arrays in order, strings parsed with jsonObject.
// Objects parsed out of strings are returned by value, so results are copies.
// Nesting beyond kMaxSearchDepth is not searched.
std::optional<json::Json> findContainer(const json::Json& value, std::string_view key);

struct Parsed {
    StoryboardPlan plan;
    std::vector<StoryboardChunk> chunks;
};

// Reads a storyboard plan wherever it sits in the planner's answer or a pasted
// document, even inside strings that hold JSON. Wrong types take defaults; the one
// failure is a plan without chunks: PipelineError::noChunks.
Parsed parse(const json::Json& top);

// The first allowed style preset found in a value; nothing when there is none.
std::optional<std::string> findStylePreset(const json::Json& value);

// The image style presets the generator accepts; exact, case-sensitive names.
const std::set<std::string, std::less<>>& allowedStylePresets();

} // namespace vl::PlanParser
