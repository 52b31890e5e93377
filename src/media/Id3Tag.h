#pragma once

#include "model/LyricsLimit.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// A leading ID3v2 tag up to this size is read whole. A larger one (cover art of
// megabytes, a lyrics frame of megabytes) is read through a copy of its frames cut to
// what the texts need, and FFmpeg skips it: neither parser holds it whole.
inline constexpr std::uint64_t kMaxWholeTagBytes = std::uint64_t(1) << 20;
// What that copy keeps of one frame: text past every text limit in any of the tag's
// encodings (UTF-16 takes two bytes for one byte of ASCII). Other frames that big are
// left out.
inline constexpr std::uint64_t kMaxTagFrameCopyBytes = 4 * kMaxLyricsBytes + 1024;
// And of the whole tag.
inline constexpr std::uint64_t kMaxTagCopyBytes = std::uint64_t(2) << 20;

// The 10-byte header of an ID3v2 tag.
struct Id3Header {
    int version = 0;          // 2, 3 or 4
    std::uint32_t flags = 0;  // its flag byte
    std::uint32_t bodyBytes = 0;
    std::uint64_t totalBytes = 0; // header, body and a footer when it has one

    bool unsynchronised() const { return (flags & 0x80) != 0; }
};

// The header at the start of `bytes`; nothing when no tag the parsers would take
// starts there.
std::optional<Id3Header> parseId3Header(std::string_view bytes);

// One frame of a tag body, as its header describes it.
struct Id3Frame {
    std::string id;           // "TIT2", "USLT"; three letters in version 2.2
    std::uint64_t at = 0;     // where its header starts in the body
    std::uint32_t headerBytes = 0;
    std::uint64_t bodyBytes = 0;
    std::uint32_t flags = 0;  // its two flag bytes; none in version 2.2
};

// Reads `count` bytes of a tag body from `at` (fewer at its end).
using Id3BodyReader = std::function<std::string(std::uint64_t at, std::size_t count)>;

// The body of the tag whose header starts at `offset` of `in`, read from the file as it
// is asked for; an unsynchronised tag of version 2.2 or 2.3, whose frame headers cannot
// be found before, is read whole and restored into `restored` first (its size is
// checkSongFile's to bound).
Id3BodyReader id3BodyReader(std::ifstream& in, std::uint64_t offset, const Id3Header& header, std::string& restored);

// The frames of a tag body (restored first when the tag is unsynchronised) in the
// order the parsers walk them, read from their headers alone: the walk stops at
// padding, at a header whose frame does not fit, and after `limit` frames.
std::vector<Id3Frame> id3Frames(const Id3BodyReader& body, const Id3Header& header, std::size_t limit);

// A leading tag rebuilt from what a text reader needs of it: frames up to
// kMaxTagFrameCopyBytes whole, text frames beyond that cut after a whole character
// of their encoding, other large frames and whatever passes kMaxTagCopyBytes left out.
struct Id3TagCopy {
    std::string bytes;                    // the tag: header, then the frames
    std::uint64_t replacedBytes = 0;      // how much of the file's start it stands for
    std::set<std::uint64_t> cutFrameBytes; // body sizes of the frames that were cut
};

// The copy of the leading tag of `file`, reading only frame headers and what is kept
// (all of an unsynchronised tag of version 2.2 or 2.3); nothing when the file does not
// start with a tag.
std::optional<Id3TagCopy> copyLeadingId3Tag(const std::filesystem::path& file);

} // namespace vl
