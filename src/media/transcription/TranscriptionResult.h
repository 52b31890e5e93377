#pragma once

#include "media/transcription/TimedChunk.h"

#include <string>
#include <vector>

namespace vl {

// What every transcription engine returns: the whole text, its timed pieces in
// the order the engine produced them, and a label the caller may fill in.
struct TranscriptionResult {
    std::string text;
    std::vector<TimedChunk> segments;
    std::string engineLabel;

    friend bool operator==(const TranscriptionResult&, const TranscriptionResult&) = default;
};

} // namespace vl
