#pragma once

#include "model/Json.h"

#include <optional>
#include <string_view>

namespace vl::PlanParser {

// The JSON object a text holds: the span from its first "{" to its last "}",
// parsed; nothing when there is no such span or it is not a JSON object.
// Prose and code fences around the object are ignored.
std::optional<json::Json> jsonObject(std::string_view text);

} // namespace vl::PlanParser
