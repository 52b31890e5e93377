#include "MediaFixtures.h"

#include "media/AudioMetadata.h"
#include "media/Id3Tag.h"
#include "media/SongFileCheck.h"
#include "model/Text.h"

#include <gtest/gtest.h>

#include <taglib/aifffile.h>
#include <taglib/apetag.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/wavfile.h>

#include <chrono>
#include <fstream>
#include <cmath>
#include <functional>
#include <iterator>
#include <limits>

using namespace vl;
namespace fs = std::filesystem;
using std::nullopt;
using Text = std::optional<std::string>;

// ---- Cleaning ---------------------------------------------------------------

TEST(CleanLyricsText, RemovesTagsSqueezesBlanksAndDropsEmptyLines)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"[Chorus]\r\nhello   world\r\n\r\n[01:23] hi  there", "hello world\nhi there"},
        {"a [x] b[y]c", "a bc"},
        {"[a [b] c", "c"}, // an inner opening bracket is part of the tag
        {"[a]]b", "]b"},
        {"word [unclosed", "word [unclosed"},
        {"[Verse\n1] and more", "[Verse\n1] and more"}, // a tag split over two lines stays
        {"[Verse\r1]", "[Verse\n1]"},
        {"(ooh) {echo} 01:23 Yeah!", "(ooh) {echo} 01:23 Yeah!"},
        {"a\tb", "a\tb"},
        {"a \tb\t\tc", "a b c"},
        {"one\vtwo\fthree\u0085four\u2028five\u2029six", "one\ntwo\nthree\nfour\nfive\nsix"},
        {"\u00a0 padded \u3000", "padded"},
        {"keep\u00a0\u00a0inner", "keep\u00a0\u00a0inner"},
        {"[Chorus]\n[x][y]\n   \n\t", ""},
        {"MiXeD Case", "MiXeD Case"},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(cleanLyricsText(c.in), c.out) << "input: " << c.in;
}

TEST(CleanLyricsText, HandlesHugeLines)
{
    // A pattern-matching engine that recurses per character would overflow here.
    const std::string brackets(2'000'000, '[');
    std::string words;
    for (int i = 0; i < 500'000; ++i)
        words += "la  [x]";
    EXPECT_EQ(cleanLyricsText(brackets), brackets);
    EXPECT_EQ(cleanLyricsText(words).size(), 500'000u * 3 - 1);
}

// ---- Lyric search over items ------------------------------------------------------

namespace {

MetadataItem item(std::string id, Text value, std::string commonKey = {})
{
    return MetadataItem{std::move(id), std::move(commonKey), std::move(value)};
}

const std::string kUslt(metadata::kID3UnsynchronizedLyric);
const std::string kLyr(metadata::kITunesLyrics);

} // namespace

TEST(FindLyrics, FollowsTheSearchOrder)
{
    struct Case {
        const char* what;
        std::vector<MetadataItem> items;
        Text expected;
    };
    const Case cases[] = {
        {"nothing", {item("id3/TIT2", "Song", "title")}, nullopt},
        {"ID3 before iTunes", {item(kLyr, "itunes"), item(kUslt, "id3")}, "id3"},
        {"iTunes when ID3 is missing", {item("x", "y"), item(kLyr, "itunes")}, "itunes"},
        {"tags-only ID3 passes to iTunes", {item(kUslt, "[Chorus]\n[00:12]"), item(kLyr, "itunes")}, "itunes"},
        {"a second ID3 lyric is never read", {item(kUslt, "[Intro]"), item(kUslt, "real words")}, nullopt},
        {"the second ID3 lyric is not read even when the first is absent",
         {item(kUslt, nullopt), item(kUslt, "real words")},
         nullopt},
        {"empty iTunes lyric falls back by name", {item(kLyr, ""), item("xiph/LYRICS", "from xiph")}, "from xiph"},
        {"fallback matches any case",
         {item("ape/Title", "t", "title"), item("ape/UnSyncedLyRiCs", "mixed")},
         "mixed"},
        {"fallback matches the common key", {item("foo/bar", "by key", "Lyrics")}, "by key"},
        {"fallback takes the first passing item in order",
         {item("a/LYRICS", nullopt), item("b/LYRICS", "  [x] "), item("c/lyrics", "third"), item("d/lyrics", "fourth")},
         "third"},
        {"cleaned text is returned", {item(kUslt, "[V1]\r\nline  one\r\n\r\nline two")}, "line one\nline two"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findLyrics(c.items), c.expected) << c.what;
}

TEST(AudioMetadataFromTags, TakesCommonFieldsFirstAndTrimsEverything)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* what;
        std::vector<MetadataItem> common;
        std::vector<MetadataFormat> formats;
        double duration;
        AudioMetadata expected;
    };
    const std::vector<MetadataFormat> tagged = {
        {"first", {item("f/t", "Format Title", "title"), item("f/lyrics", "first lyrics")}},
        {"second", {item("s/a", "Second Artist", "artist"), item("s/lyrics", "second lyrics")}},
    };
    const Case cases[] = {
        {"blank common title stops the search",
         {item("c/t", "   ", "title")},
         tagged,
         12.5,
         {nullopt, "Second Artist", "first lyrics", 12.5}},
        {"only the first common title is read",
         {item("c/t", "One", "title"), item("c/t2", "Two", "title"), item("c/a", "\n Artist \t", "artist")},
         {},
         1,
         {"One", "Artist", nullopt, 1}},
        {"missing fields come from the formats in order", {}, tagged, 3, {"Format Title", "Second Artist", "first lyrics", 3}},
        {"a common title without a value is missing", {item("c/t", nullopt, "title")}, tagged, 0,
         {"Format Title", "Second Artist", "first lyrics", 0}},
        {"not-a-number duration", {}, {}, nan, {nullopt, nullopt, nullopt, 0}},
        {"infinite duration", {}, {}, inf, {nullopt, nullopt, nullopt, 0}},
        {"negative duration", {}, {}, -4, {nullopt, nullopt, nullopt, 0}},
        {"lyrics from an item holding only the start of its text count as cut", {},
         {{"cut", {MetadataItem{kUslt, {}, "the start", true}}}}, 1, {nullopt, nullopt, "the start", 1, true}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AudioMetadata::fromTags(c.common, c.formats, c.duration), c.expected) << c.what;
}

TEST(AudioMetadataFromTags, EqualityTreatsNotANumberAsUnequal)
{
    AudioMetadata a;
    a.duration = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(a == a);
    EXPECT_EQ(AudioMetadata{}, AudioMetadata{});
}

// ---- Reading real files -------------------------------------------------------------

namespace {

using TagWriter = std::function<void(const fs::path&)>;

fs::path tagged(const std::string& name, const std::vector<std::string>& ffmpegTags, const TagWriter& writer = {})
{
    std::vector<std::string> extra = {"-map_metadata", "-1"};
    for (const auto& t : ffmpegTags) {
        extra.push_back("-metadata");
        extra.push_back(t);
    }
    if (name.ends_with(".aiff"))
        extra.insert(extra.end(), {"-write_id3v2", "1"});
    if (name.ends_with(".ogg"))
        extra.insert(extra.end(), {"-c:a", "libvorbis"});
    auto file = test::tone(name, 1.0, 44100, 2, extra);
    if (!file.empty() && writer)
        writer(file);
    return file;
}

TagLib::ID3v2::UnsynchronizedLyricsFrame* uslt(const char* text)
{
    auto* f = new TagLib::ID3v2::UnsynchronizedLyricsFrame(TagLib::String::UTF8);
    f->setText(TagLib::String(text, TagLib::String::UTF8));
    return f;
}

void fillId3(TagLib::ID3v2::Tag& tag, std::vector<const char*> lyrics)
{
    tag.setTitle(TagLib::String("Tagged Title ", TagLib::String::UTF8));
    tag.setArtist(TagLib::String("Ærtist", TagLib::String::UTF8));
    for (const auto* l : lyrics)
        tag.addFrame(uslt(l));
}

TagWriter mp3Id3(std::vector<const char*> lyrics)
{
    return [lyrics](const fs::path& p) {
        TagLib::MPEG::File f(p.c_str());
        fillId3(*f.ID3v2Tag(true), lyrics);
        f.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers);
    };
}

} // namespace

TEST(AudioMetadataLoad, ReadsEveryFormat)
{
    struct Case {
        const char* name;
        std::vector<std::string> ffmpegTags;
        TagWriter writer;
        AudioMetadata expected; // duration checked approximately
    };
    const Case cases[] = {
        {"plain.mp3", {}, {}, {nullopt, nullopt, nullopt, 1}},
        {"uslt.mp3", {}, mp3Id3({"[Verse]\r\nFirst  line\r\n\r\nSecond line"}),
         {"Tagged Title", "Ærtist", "First line\nSecond line", 1}},
        {"two uslt.mp3", {}, mp3Id3({"[Chorus]\n[00:12]", "never read"}), {"Tagged Title", "Ærtist", nullopt, 1}},
        {"uslt and ape.mp3", {},
         [](const fs::path& p) {
             TagLib::MPEG::File f(p.c_str());
             fillId3(*f.ID3v2Tag(true), {"id3 words"});
             f.APETag(true)->addValue("LYRICS", "ape words");
             f.save(TagLib::MPEG::File::ID3v2 | TagLib::MPEG::File::APE, TagLib::File::StripOthers);
         },
         {"Tagged Title", "Ærtist", "id3 words", 1}},
        {"ape only.mp3", {},
         [](const fs::path& p) {
             TagLib::MPEG::File f(p.c_str());
             f.APETag(true)->addValue("Title", "Ape Title");
             f.APETag(true)->addValue("Lyrics", "[Intro]\nape words");
             f.save(TagLib::MPEG::File::APE, TagLib::File::StripOthers);
         },
         {"Ape Title", nullopt, "ape words", 1}},
        {"v1 only.mp3", {},
         [](const fs::path& p) {
             TagLib::MPEG::File f(p.c_str());
             f.ID3v1Tag(true)->setTitle("Old Title");
             f.ID3v1Tag(true)->setArtist("Old Artist");
             f.save(TagLib::MPEG::File::ID3v1, TagLib::File::StripOthers);
         },
         {"Old Title", "Old Artist", nullopt, 1}},
        {"itunes.m4a", {"title=M4A Title", "artist=M4A Artist", "lyrics=[Hook]\nla  la"}, {},
         {"M4A Title", "M4A Artist", "la la", 1}},
        {"xiph.flac", {"title=Flac Title", "artist=Flac Artist", "LYRICS=flac words"}, {},
         {"Flac Title", "Flac Artist", "flac words", 1}},
        {"xiph.ogg", {"title=Ogg Title", "UNSYNCEDLYRICS=ogg words"}, {}, {"Ogg Title", nullopt, "ogg words", 1}},
        {"info.wav", {"title=Wav Title", "artist=Wav Artist"}, {}, {"Wav Title", "Wav Artist", nullopt, 1}},
        {"id3.wav", {"title=Info Title"},
         [](const fs::path& p) {
             TagLib::RIFF::WAV::File f(p.c_str());
             fillId3(*f.ID3v2Tag(), {"wav words"});
             f.save(TagLib::RIFF::WAV::File::AllTags);
         },
         {"Tagged Title", "Ærtist", "wav words", 1}},
        {"id3.aiff", {},
         [](const fs::path& p) {
             TagLib::RIFF::AIFF::File f(p.c_str());
             fillId3(*f.tag(), {"aiff words"});
             f.save();
         },
         {"Tagged Title", "Ærtist", "aiff words", 1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = tagged(c.name, c.ffmpegTags, c.writer);
        ASSERT_FALSE(file.empty());
        const auto m = AudioMetadata::load(file);
        EXPECT_EQ(m.title, c.expected.title);
        EXPECT_EQ(m.artist, c.expected.artist);
        EXPECT_EQ(m.lyrics, c.expected.lyrics);
        EXPECT_NEAR(m.duration, c.expected.duration, 0.1);
    }
}

TEST(AudioMetadataLoad, UnreadableFilesGiveNothingAndNoLength)
{
    const auto silentVideo = test::silentVideo();
    ASSERT_FALSE(silentVideo.empty());
    const auto image = test::picture("picture.png");
    ASSERT_FALSE(image.empty());
    const auto whole = test::tone("whole.mp3", 1.0, 44100, 2, {"-map_metadata", "-1"});
    std::string start(200, '\0');
    std::ifstream(whole, std::ios::binary).read(start.data(), 200);
    const auto head = test::bytesFile("head.mp3", start); // an MP3 cut off after 200 bytes
    const fs::path files[] = {
        test::bytesFile("noise.mp3", test::noise(50000)),
        test::bytesFile("noise.m4a", test::noise(50000, 3)),
        test::bytesFile("noise.flac", "fLaC" + test::noise(5000, 5)),
        test::bytesFile("empty.mp3", ""),
        head,
        silentVideo,
        image,
        test::fixtureFolder(),
        test::fixtureFolder() / "missing.mp3",
        test::bytesFile("it's \"quoted\" & spaced.mp3", test::noise(3000, 9)),
    };
    for (const auto& f : files)
        EXPECT_EQ(AudioMetadata::load(f), AudioMetadata{}) << f;
}

TEST(AudioMetadataLoad, TheLengthIsWhatTheStreamHoldsNotWhatItsHeaderClaims)
{
    // A tiny MP3 whose Xing/Info frame says it holds 0xFFFFFFF0 frames (ten years).
    const auto file = test::tone("claims-ten-years.mp3", 0.05, 44100, 1, {"-b:a", "32k", "-map_metadata", "-1"});
    ASSERT_FALSE(file.empty());
    std::string bytes;
    {
        std::ifstream in(file, std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
    }
    auto tag = bytes.find("Xing");
    if (tag == std::string::npos)
        tag = bytes.find("Info");
    ASSERT_NE(tag, std::string::npos);
    ASSERT_TRUE(bytes[tag + 7] & 1) << "the tag holds a frame count";
    bytes.replace(tag + 8, 4, "\xff\xff\xff\xf0");
    const auto claiming = test::bytesFile("claims-ten-years.mp3", bytes);

    const double seconds = AudioMetadata::load(claiming).duration;
    EXPECT_GT(seconds, 0.0);
    EXPECT_LT(seconds, 0.5) << "the file holds 0.05 s of sound";
    EXPECT_EQ(audioDuration(claiming), seconds);
    // A song's length is still its length.
    EXPECT_NEAR(AudioMetadata::load(test::tone("three-seconds.mp3", 3.0)).duration, 3.0, 0.1);
    EXPECT_NEAR(AudioMetadata::load(test::tone("three-seconds.wav", 3.0)).duration, 3.0, 0.001);
    EXPECT_NEAR(AudioMetadata::load(test::tone("three-seconds.m4a", 3.0)).duration, 3.0, 0.1);
    EXPECT_NEAR(AudioMetadata::load(test::tone("three-seconds.flac", 3.0)).duration, 3.0, 0.01);
}

TEST(AudioMetadataLoad, ATruncatedSongStillReadsItsTagsAndAShorterLength)
{
    const auto file = tagged("cut.mp3", {}, mp3Id3({"cut words"}));
    const auto full = AudioMetadata::load(file).duration;
    fs::resize_file(file, fs::file_size(file) / 2);
    const auto m = AudioMetadata::load(file);
    EXPECT_EQ(m.lyrics, Text("cut words"));
    EXPECT_GT(m.duration, 0.0);
    EXPECT_LE(m.duration, full);
}

// ---- Hostile headers and oversized tags ------------------------------------------------

namespace {

std::string fileBytes(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string le32(std::uint32_t v)
{
    return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v >> 16 & 0xFF),
            static_cast<char>(v >> 24 & 0xFF)};
}

std::string be32(std::uint32_t v) { return {static_cast<char>(v >> 24), static_cast<char>(v >> 16 & 0xFF),
                                            static_cast<char>(v >> 8 & 0xFF), static_cast<char>(v & 0xFF)}; }

std::string syncsafe32(std::uint32_t v)
{
    return {static_cast<char>(v >> 21 & 0x7F), static_cast<char>(v >> 14 & 0x7F), static_cast<char>(v >> 7 & 0x7F),
            static_cast<char>(v & 0x7F)};
}

// An ID3v2.3 tag of the given frames (id, body), optionally claiming another size.
std::string id3Tag(const std::vector<std::pair<std::string, std::string>>& frames,
                   std::optional<std::uint32_t> claimedSize = std::nullopt)
{
    std::string body;
    for (const auto& [id, data] : frames)
        body += id + be32(static_cast<std::uint32_t>(data.size())) + std::string(2, '\0') + data;
    return "ID3\x03" + std::string(2, '\0') + syncsafe32(claimedSize.value_or(static_cast<std::uint32_t>(body.size())))
           + body;
}

std::pair<std::string, std::string> textFrame(const std::string& id, const std::string& text)
{
    return {id, "\x03" + text};
}

// `count` frames, the first the title "Busy Title", the rest distinct TXXX fields.
std::vector<std::pair<std::string, std::string>> busyFrames(std::size_t count)
{
    std::vector<std::pair<std::string, std::string>> frames = {textFrame("TIT2", "Busy Title")};
    for (std::size_t i = 1; i < count; ++i)
        frames.push_back(textFrame("TXXX", "k" + std::to_string(i) + std::string(1, '\0') + "v"));
    return frames;
}

// A RIFF chunk, padded to an even length.
std::string riffChunk(const std::string& id, const std::string& data, std::optional<std::uint32_t> claimed = {})
{
    return id + le32(claimed.value_or(static_cast<std::uint32_t>(data.size()))) + data
           + (data.size() % 2 ? std::string(1, '\0') : std::string());
}

} // namespace

TEST(SongFileCheck, HeadersThatClaimWhatTheFileCannotHoldAreNotParsed)
{
    const auto wav = test::tone("hostile-base.wav", 0.5, 8000, 1, {"-map_metadata", "-1"});
    const auto mp3 = test::tone("hostile-base.mp3", 0.5, 44100, 1, {"-map_metadata", "-1"});
    ASSERT_FALSE(wav.empty());
    ASSERT_FALSE(mp3.empty());
    const std::string wavBytes = fileBytes(wav);
    const std::string mp3Bytes = fileBytes(mp3);
    // Appends a chunk to the WAV and keeps its RIFF size right.
    const auto wavWith = [&](const std::string& chunk) {
        std::string bytes = wavBytes + chunk;
        bytes.replace(4, 4, le32(static_cast<std::uint32_t>(bytes.size() - 8)));
        return bytes;
    };
    const std::string infoItem = riffChunk("INAM", std::string("Song\0", 5));

    struct Case {
        const char* name;
        std::string bytes;
        bool refused;
        bool tagsSkipped;
        std::optional<std::string> title; // what the tags give when the file is read
    };
    const std::vector<Case> cases = {
        {"list-claims-a-gigabyte.wav", wavWith("LIST" + le32(990'000'000) + "INFO" + infoItem), true, false, nullopt},
        {"list-item-claims-a-gigabyte.wav",
         wavWith(riffChunk("LIST", "INFO" + std::string("INAM") + le32(989'000'000) + "Song")), true, false, nullopt},
        {"id3-chunk-too-busy.wav", wavWith(riffChunk("id3 ", id3Tag(busyFrames(kMaxSongTagFrames + 1)))), true,
         false, nullopt},
        {"sound-cut-short.wav", wavBytes.substr(0, wavBytes.size() / 2), false, false, nullopt},
        {"listed.wav", fileBytes(test::tone("listed.wav", 0.5, 8000, 1, {"-metadata", "title=Song"})), false, false,
         "Song"},
        {"tag-claims-past-the-end.mp3", id3Tag({textFrame("TIT2", "Claimed")}, 50'000'000) + mp3Bytes, true, false,
         nullopt},
        {"too-many-frames.mp3", id3Tag(busyFrames(kMaxSongTagFrames + 1)) + mp3Bytes, false, true, nullopt},
        {"frames-at-the-limit.mp3", id3Tag(busyFrames(kMaxSongTagFrames)) + mp3Bytes, false, false, "Busy Title"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = test::bytesFile(c.name, c.bytes);
        const SongFileCheck check = checkSongFile(file);
        EXPECT_EQ(check.refused, c.refused) << check.note;
        EXPECT_EQ(check.tagSkipped, c.tagsSkipped) << check.note;
        EXPECT_EQ(check.note.empty(), !c.refused && !c.tagsSkipped) << check.note;

        const auto m = AudioMetadata::load(file);
        EXPECT_EQ(m.title, c.title);
        if (c.refused)
            EXPECT_EQ(m.duration, 0.0) << "a refused file has no length";
        else
            EXPECT_GT(m.duration, 0.1) << "the sound after a skipped tag is still read";
    }
}

TEST(SongFileCheck, AnUnsynchronisedTagIsCountedAsItsParsersSeeIt)
{
    // Unsynchronisation puts a 00 after every FF, so a frame whose size holds FF is
    // longer on disk than it says; the count must follow the restored bytes.
    std::vector<std::pair<std::string, std::string>> frames = busyFrames(kMaxSongTagFrames + 1);
    frames.insert(frames.begin(), {"PRIV", std::string(0xFF, '\xff')});
    std::string tag = id3Tag(frames);
    std::string body;
    for (std::size_t i = 10; i < tag.size(); ++i) {
        body += tag[i];
        if (static_cast<unsigned char>(tag[i]) == 0xFF)
            body += '\0';
    }
    tag = "ID3\x03" + std::string(1, '\0') + "\x80" + syncsafe32(static_cast<std::uint32_t>(body.size())) + body;
    const auto file = test::bytesFile("unsynchronised.mp3", tag + fileBytes(test::tone("unsync-base.mp3", 0.5)));
    EXPECT_TRUE(checkSongFile(file).tagSkipped);
}

TEST(AudioMetadataFromTags, OverlongTextsAreCutWithoutBreakingACharacterOrALine)
{
    std::string longTitle;
    while (longTitle.size() < 1'000'000)
        longTitle += "\u00e9"; // two bytes each
    longTitle = "x" + longTitle; // so the limit falls inside a character
    std::string longLyrics;
    for (int i = 0; longLyrics.size() < 2'000'000; ++i)
        longLyrics += "line number " + std::to_string(i) + " of the endless song\n";
    const std::vector<MetadataFormat> formats = {
        {"id3", {item("id3/TIT2", longTitle, "title"), item("id3/TPE1", "Band", "artist"), item(kUslt, longLyrics)}}};

    ::testing::internal::CaptureStderr();
    const auto m = AudioMetadata::fromTags(commonItems(formats), formats, 1);
    const std::string log = ::testing::internal::GetCapturedStderr();

    ASSERT_TRUE(m.title && m.lyrics);
    EXPECT_LE(m.title->size(), kMaxTagTextBytes);
    EXPECT_GT(m.title->size(), kMaxTagTextBytes - 2);
    EXPECT_EQ(*m.title, longTitle.substr(0, m.title->size())) << "not a prefix, or cut inside a character";
    EXPECT_EQ(m.title->size() % 2, 1u) << "cut inside a character";
    EXPECT_EQ(m.artist, Text("Band"));
    EXPECT_LE(m.lyrics->size(), kMaxLyricsBytes);
    EXPECT_GT(m.lyrics->size(), kMaxLyricsBytes - 100);
    EXPECT_EQ(*m.lyrics, longLyrics.substr(0, m.lyrics->size()));
    EXPECT_EQ(longLyrics[m.lyrics->size()], '\n') << "the last line was cut";
    EXPECT_TRUE(m.lyricsCut);
    EXPECT_NE(log.find("[Song tags] The title of"), std::string::npos) << log;
    EXPECT_NE(log.find("[Song tags] The lyrics of"), std::string::npos) << log;
}

// ---- Tags larger than they are read -----------------------------------------------------

namespace {

// Bytes this process has read from files so far (the kernel's count).
std::optional<std::uint64_t> bytesReadSoFar()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    return std::nullopt;
}

std::string utf8Of(const std::u32string& text)
{
    std::string out;
    for (const char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// The text in an ID3 text encoding: 0 Latin-1, 1 UTF-16 with a byte order mark
// (little-endian), 2 UTF-16 big-endian, 3 UTF-8.
std::string id3Encoded(const std::u32string& text, int encoding)
{
    if (encoding == 3)
        return utf8Of(text);
    std::string out = encoding == 1 ? "\xff\xfe" : "";
    const auto unit = [&](char32_t u) {
        const char high = static_cast<char>(u >> 8), low = static_cast<char>(u & 0xFF);
        if (encoding == 0)
            out += low;
        else
            out += encoding == 1 ? std::string{low, high} : std::string{high, low};
    };
    for (const char32_t c : text) {
        if (c >= 0x10000 && encoding != 0) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

std::string terminator(int encoding) { return encoding == 1 || encoding == 2 ? std::string(2, '\0') : std::string(1, '\0'); }

// A tag of the given version (2, 3 or 4) holding the given frames; `unsynchronised`, a
// zero after every FF of its body (versions 2 and 3).
std::string id3TagOfVersion(int version, const std::vector<std::pair<std::string, std::string>>& frames,
                            bool unsynchronised = false)
{
    std::string body;
    for (const auto& [id, data] : frames) {
        const auto size = static_cast<std::uint32_t>(data.size());
        if (version == 2)
            body += id + be32(size).substr(1) + data;
        else
            body += id + (version == 4 ? syncsafe32(size) : be32(size)) + std::string(2, '\0') + data;
    }
    if (unsynchronised) {
        std::string encoded;
        for (const char c : body) {
            encoded += c;
            if (c == '\xff')
                encoded += '\0';
        }
        body = std::move(encoded);
    }
    return "ID3" + std::string(1, static_cast<char>(version)) + '\0' + (unsynchronised ? '\x80' : '\0')
           + syncsafe32(static_cast<std::uint32_t>(body.size())) + body;
}

// Lines of notes, each opened by its number: multi-byte characters wherever a cut
// may fall (Latin-1 has none of them: accented letters there).
std::u32string noteLines(std::size_t units, bool latin1)
{
    std::u32string text;
    for (int line = 1; text.size() < units; ++line) {
        for (const char c : std::to_string(line))
            text += static_cast<char32_t>(c);
        text += U' ';
        text += std::u32string(24, latin1 ? U'\u00e9' : U'\U0001F3B5');
        text += U'\n';
    }
    text.pop_back();
    return text;
}

} // namespace

// A tag past the size read whole is read from a copy: a lyrics frame of megabytes
// gives its first lines, cut where a whole line ends, in every text encoding and
// wherever the frame's cut falls inside a character; the frames after it are read.
TEST(AudioMetadataLoad, ALyricsFrameOfMegabytesGivesItsFirstLines)
{
    const auto song = fileBytes(test::tone("large-tag-base.mp3", 0.5, 44100, 1, {"-map_metadata", "-1"}));
    ASSERT_FALSE(song.empty());
    struct Case {
        int version;
        int encoding;
        std::size_t descriptionUnits; // moves where the frame's cut falls within a character
        bool unsynchronised = false;
    };
    std::vector<Case> cases;
    for (const int version : {3, 4}) {
        cases.push_back({version, 0, 0});
        for (const int encoding : {1, 2})
            for (const std::size_t units : {0u, 1u}) // a character is two units of two bytes
                cases.push_back({version, encoding, units});
        for (const std::size_t units : {0u, 1u, 2u, 3u}) // a character is four bytes
            cases.push_back({version, 3, units});
    }
    cases.push_back({2, 0, 0});
    cases.push_back({2, 1, 1});
    // Its frames are found once the whole tag is restored (a byte order mark holds FF).
    cases.push_back({3, 1, 0, true});
    // Past the size of a tag read whole: four bytes a character, one in Latin-1.
    const std::u32string notes = noteLines(kMaxWholeTagBytes / 3, false);
    const std::u32string accents = noteLines(kMaxWholeTagBytes, true);
    const std::string notesText = utf8Of(notes), accentsText = utf8Of(accents);
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + ", encoding " + std::to_string(c.encoding)
                     + ", description " + std::to_string(c.descriptionUnits)
                     + (c.unsynchronised ? ", unsynchronised" : ""));
        const std::u32string& lyrics = c.encoding == 0 ? accents : notes;
        const std::string& whole = c.encoding == 0 ? accentsText : notesText;
        const std::string lyricsId = c.version == 2 ? "ULT" : "USLT";
        const std::string titleId = c.version == 2 ? "TT2" : "TIT2";
        const std::string artistId = c.version == 2 ? "TP1" : "TPE1";
        const std::string description = id3Encoded(std::u32string(c.descriptionUnits, U'd'), c.encoding);
        const std::string tag = id3TagOfVersion(
            c.version, {{artistId, std::string(1, '\0') + "Band"},
                        {lyricsId, static_cast<char>(c.encoding) + std::string("eng") + description
                                       + terminator(c.encoding) + id3Encoded(lyrics, c.encoding)},
                        {titleId, std::string(1, '\0') + "Title after the lyrics"}},
            c.unsynchronised);
        ASSERT_GT(tag.size(), kMaxWholeTagBytes);
        const auto file = test::bytesFile("large-tag.mp3", tag + song);

        const AudioMetadata m = AudioMetadata::load(file);
        ASSERT_TRUE(m.lyrics);
        EXPECT_TRUE(m.lyricsCut);
        EXPECT_TRUE(text::isValidUtf8(*m.lyrics));
        EXPECT_LE(m.lyrics->size(), kMaxLyricsBytes);
        EXPECT_GT(m.lyrics->size(), kMaxLyricsBytes / 2);
        EXPECT_EQ(*m.lyrics, whole.substr(0, m.lyrics->size()));
        EXPECT_EQ(whole[m.lyrics->size()], '\n') << "the last line kept is whole";
        EXPECT_EQ(m.title, Text("Title after the lyrics"));
        EXPECT_EQ(m.artist, Text("Band"));
        EXPECT_GT(m.duration, 0.4) << "the sound after the tag is read";
    }
}

TEST(AudioMetadataLoad, ALargeTagIsReadOnlyAsFarAsItsTextsNeed)
{
    const auto bytesRead = bytesReadSoFar();
    if (!bytesRead)
        GTEST_SKIP() << "this kernel does not count the bytes a process reads";
    const auto song = fileBytes(test::tone("read-bound-base.mp3", 0.5, 44100, 1, {"-map_metadata", "-1"}));
    ASSERT_FALSE(song.empty());
    std::string lyrics;
    for (int line = 1; lyrics.size() < (std::size_t(32) << 20); ++line)
        lyrics += "line " + std::to_string(line) + " of a song that does not end\n";
    struct Case {
        const char* name;
        std::pair<std::string, std::string> large;
        bool hasLyrics;
        bool lyricsCut;
    };
    const Case cases[] = {
        {"a lyrics frame", {"USLT", "\x03" "eng" + std::string(1, '\0') + lyrics}, true, true},
        // A cover picture, however large, is left out: nothing reads it.
        {"a picture", {"APIC", std::string(1, '\0') + "image/png" + std::string(2, '\0') + std::string(32 << 20, 'p')},
         false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = test::bytesFile("read-bound.mp3",
                                          id3Tag({c.large, textFrame("TIT2", "Long Song")}) + song);
        const auto before = bytesReadSoFar();
        const AudioMetadata m = AudioMetadata::load(file);
        const auto read = *bytesReadSoFar() - *before;
        EXPECT_LT(read, 2 * kMaxTagCopyBytes) << "the tag holds " << fs::file_size(file) << " bytes";
        EXPECT_EQ(m.title, Text("Long Song"));
        EXPECT_EQ(m.lyrics.has_value(), c.hasLyrics);
        EXPECT_EQ(m.lyricsCut, c.lyricsCut);
        if (m.lyrics) {
            EXPECT_EQ(*m.lyrics, lyrics.substr(0, m.lyrics->size()));
        }
        EXPECT_GT(m.duration, 0.4);
        fs::remove(file);
    }
}
