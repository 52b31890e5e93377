#include "media/transcription/FalTranscript.h"

#include "model/PlanParser.h"
#include "model/Text.h"

#include <algorithm>
#include <cmath>

namespace vl {

namespace {

// A JSON number or boolean as seconds; nothing for anything else, and for a
// value that is not finite, which no time can be.
std::optional<double> seconds(const json::Json& line, const char* key)
{
    const auto it = line.find(key);
    if (it == line.end())
        return std::nullopt;
    double v = 0;
    if (it->is_boolean())
        v = it->get<bool>() ? 1.0 : 0.0;
    else if (it->is_number())
        v = it->get<double>();
    else
        return std::nullopt;
    if (!std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

std::optional<json::Json> findDictionary(std::string_view key, const json::Json& value)
{
    return PlanParser::findContainer(value, key);
}

std::optional<TimedChunk> parseFalLine(const json::Json& line)
{
    if (!line.is_object())
        return std::nullopt;
    const auto textIt = line.find("text");
    if (textIt == line.end() || !textIt->is_string())
        return std::nullopt;
    auto text = text::trimSpacesAndTabs(textIt->get_ref<const std::string&>());
    if (text.empty())
        return std::nullopt;
    const double start = seconds(line, "startTime").value_or(0.0);
    const double end = std::max(seconds(line, "endTime").value_or(start), start);
    return TimedChunk{std::move(text), start, end};
}

std::optional<TranscriptionResult> parseFalTranscript(const json::Json& result)
{
    const auto holder = findDictionary("lyrics", result);
    if (!holder)
        return std::nullopt;
    const auto& lyrics = holder->at("lyrics");
    if (!lyrics.is_array())
        return std::nullopt;
    if (!std::all_of(lyrics.begin(), lyrics.end(), [](const json::Json& e) { return e.is_object(); }))
        return std::nullopt;

    TranscriptionResult out;
    for (const auto& element : lyrics)
        if (auto chunk = parseFalLine(element))
            out.segments.push_back(std::move(*chunk));
    if (out.segments.empty())
        return std::nullopt;

    const auto transcript = holder->find("transcript");
    if (transcript != holder->end() && transcript->is_string())
        out.text = text::trimWhitespaceAndNewlines(transcript->get_ref<const std::string&>());
    if (out.text.empty()) {
        for (const auto& chunk : out.segments) {
            if (!out.text.empty())
                out.text += ' ';
            out.text += chunk.text;
        }
    }
    return out;
}

} // namespace vl
