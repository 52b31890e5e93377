#pragma once

#include "model/LyricsLimit.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// One tag field as the lyric and title search sees it, whatever tag format it
// came from: "id3/USLT", "itsk/©lyr", "xiph/LYRICS", "ape/TITLE", "riff/INAM", …
struct MetadataItem {
    std::string identifier;
    std::string commonKey;                  // "title", "artist", or empty
    std::optional<std::string> stringValue; // absent for pictures and binary data
    bool cut = false;                       // the value is only the start of what the tag holds
};

// All items of one tag block of a file (the ID3v2 tag, the MP4 item list, …).
struct MetadataFormat {
    std::string name;
    std::vector<MetadataItem> items;
};

// Longest title or artist taken from a song's tags (lyrics: kMaxLyricsBytes); longer
// ones are cut (with a line in the log). The project keeps them and every autosave
// writes them again, so a tag of megabytes would make each save that large.
inline constexpr std::size_t kMaxTagTextBytes = 1'000;

namespace metadata {
inline constexpr std::string_view kID3UnsynchronizedLyric = "id3/USLT";
inline constexpr std::string_view kITunesLyrics = "itsk/\u00a9lyr";
inline constexpr std::string_view kTitle = "title";
inline constexpr std::string_view kArtist = "artist";
} // namespace metadata

// What a song file says about itself. Reading never fails: whatever cannot be
// found stays absent, and a duration that cannot be read is 0.
struct AudioMetadata {
    std::optional<std::string> title;
    std::optional<std::string> artist;
    std::optional<std::string> lyrics; // cleaned, lines joined by "\n"
    double duration = 0;               // seconds
    bool lyricsCut = false;            // the tag's lyrics were longer than kMaxLyricsBytes

    friend bool operator==(const AudioMetadata&, const AudioMetadata&) = default;

    static AudioMetadata load(const std::filesystem::path& file);

    // The search itself, over tags already read: `common` is every item with a
    // common key, `formats` the tag blocks in the order the file holds them.
    // Texts over their limit are cut: lyrics after their last whole line that
    // fits, the others after their last whole character. Lyrics taken from an item
    // that holds only the start of its tag's text count as cut as well.
    static AudioMetadata fromTags(const std::vector<MetadataItem>& common, const std::vector<MetadataFormat>& formats,
                                  double duration);
};

// The tag blocks of a file as TagLib reads them, in search order; empty when the
// file is not one TagLib knows, or when checkSongFile finds its header claims more
// than it holds or its tag absurd. A leading ID3v2 tag over kMaxWholeTagBytes is
// read from a copy cut down to what its texts need, so a frame of megabytes is
// never read whole.
std::vector<MetadataFormat> readTagFormats(const std::filesystem::path& file);

// Every item of the given formats that has a common key, in order.
std::vector<MetadataItem> commonItems(const std::vector<MetadataFormat>& formats);

// The lyrics of one list of items: the first ID3 unsynchronised lyric, else the
// first iTunes lyric, else the first item named like a lyric; each taken only
// when its cleaned text has something in it.
std::optional<std::string> findLyrics(const std::vector<MetadataItem>& items);

// Seconds of audio in the file, from where its packets end (not from a header's
// claim); 0 when there is no audio stream, no decoder for it or no packet of it.
double audioDuration(const std::filesystem::path& file);

// The song's length when a song is named and its length can be read as a positive
// number; nothing otherwise (why goes to the log under `component`).
std::optional<double> knownSongSeconds(const std::string& audioPath, const std::string& component);

// Drops bracketed tags ("[Chorus]", "[01:23]") within a line, squeezes runs of
// spaces and tabs, trims each line and drops the empty ones.
std::string cleanLyricsText(std::string_view text);

} // namespace vl
