#pragma once

#include <string>

namespace vl {

// A word or a line with its time span in seconds, as every transcription engine
// and the cloud transcript reader return it.
struct TimedChunk {
    std::string text;
    double start = 0;
    double end = 0;

    friend bool operator==(const TimedChunk&, const TimedChunk&) = default;
};

} // namespace vl
