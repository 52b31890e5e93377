#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vl {

// A leading ID3v2 tag larger than this is not read for its texts (cover art of a few
// megabytes is common; a tag of hundreds is not a song's).
inline constexpr std::uint64_t kMaxSongTagBytes = std::uint64_t(64) << 20;
// Nor one with more frames than this: both tag parsers slow down sharply with the count
// (FFmpeg quadratically), and real tags hold a few dozen.
inline constexpr std::size_t kMaxSongTagFrames = 4096;
// Chunks walked in a RIFF or AIFF header; real files hold fewer than twenty.
inline constexpr std::size_t kMaxSongChunks = 4096;

// What a song file's own structure claims, checked against the file before any
// library parses it. FFmpeg and TagLib trust sizes in the header: a 200-byte WAV
// whose LIST chunk claims a gigabyte makes FFmpeg allocate and clear a gigabyte, and
// an ID3v2 tag of a few megabytes holding 200,000 frames keeps both parsers busy for
// minutes.
struct SongFileCheck {
    // The file claims chunks or a tag that it cannot hold: it is not read at all.
    bool refused = false;
    // The leading ID3v2 tag is too large or holds too many frames: its texts are not read.
    bool tagSkipped = false;
    // The size of a leading ID3v2 tag that FFmpeg starts reading after: one whose texts
    // are not read, or one larger than kMaxWholeTagBytes (whose texts are read from a
    // copy). 0 when there is none to skip.
    std::uint64_t skipTagBytes = 0;
    // Why, for the log; empty when the file passed as it is.
    std::string note;

    bool tagsReadable() const { return !refused && !tagSkipped; }
};

// Reads only the file's headers: chunk headers and the frame headers of an ID3v2 tag
// (the whole of an unsynchronised tag within the size limit).
// Anything that is not a regular file, or not RIFF, AIFF or ID3-led, passes: the
// parsers then decide what it is.
SongFileCheck checkSongFile(const std::filesystem::path& file);

} // namespace vl
