#include "model/PlanParser.h"

namespace vl::PlanParser {

std::optional<json::Json> jsonObject(std::string_view text)
{
    const auto first = text.find('{');
    const auto last = text.rfind('}');
    if (first == std::string_view::npos || last == std::string_view::npos || last < first)
        return std::nullopt;
    try {
        json::Json value = json::parse(text.substr(first, last - first + 1));
        if (!value.is_object())
            return std::nullopt;
        return value;
    } catch (const json::DecodeError&) {
        return std::nullopt;
    }
}

} // namespace vl::PlanParser
