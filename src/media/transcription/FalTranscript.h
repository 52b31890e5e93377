#pragma once

#include "media/transcription/TranscriptionResult.h"
#include "model/Json.h"
#include "model/PlanParser.h"

#include <optional>
#include <string_view>

namespace vl {

// Reads the timed lyric lines out of the vendor's transcription result, whose
// nesting is not fixed (the lines may even sit in a text that holds JSON).
// Nothing when the result has no usable line; never throws.
std::optional<TranscriptionResult> parseFalTranscript(const json::Json& result);

// The first object holding `key`, searched depth first: an object before its
// members, arrays in order, texts parsed as JSON. Nesting beyond
// kMaxSearchDepth is not searched.
std::optional<json::Json> findDictionary(std::string_view key, const json::Json& value);

// One line object: its text trimmed of spaces and tabs, "startTime" (else 0)
// and "endTime" (else, or when earlier, the start). Nothing without text.
std::optional<TimedChunk> parseFalLine(const json::Json& line);

// The same limit the plan reader keeps; the search is one and the same.
using PlanParser::kMaxSearchDepth;

} // namespace vl
