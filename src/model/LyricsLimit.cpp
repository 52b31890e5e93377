#include "model/LyricsLimit.h"

#include "model/Text.h"

namespace vl {

bool capLyrics(std::string& lyrics)
{
    if (lyrics.size() <= kMaxLyricsBytes)
        return false;
    std::size_t cut = text::prefixWithinBytes(lyrics, kMaxLyricsBytes).size();
    // The line break itself goes too: the kept text ends with its last whole line.
    if (const auto lineEnd = lyrics.rfind('\n', cut); lineEnd != std::string::npos && lineEnd > 0)
        cut = lineEnd;
    lyrics.resize(cut);
    return true;
}

} // namespace vl
