#pragma once

#include <cstddef>
#include <string>

namespace vl {

// The most lyrics a project holds, in bytes of UTF-8. Far above any song (a long one
// has a few thousand bytes), and low enough that the lyrics editor lays the whole
// text out at once and every autosave stays small. Lyrics from a song's tags, a
// project file, the editor and a transcription all pass it.
inline constexpr std::size_t kMaxLyricsBytes = 100'000;

// Cuts lyrics longer than kMaxLyricsBytes after their last whole line that fits, or
// after their last whole character when no line ends in time. True when they were cut.
bool capLyrics(std::string& lyrics);

} // namespace vl
