#include "media/AudioMetadata.h"

#include "media/FFmpegSupport.h"
#include "media/Id3Tag.h"
#include "media/SongFileCheck.h"
#include "model/Log.h"
#include "model/Text.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/commentsframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/tdebuglistener.h>
#include <taglib/tfilestream.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/trueaudiofile.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/urllinkframe.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <set>

namespace vl {

namespace {

// ---- Lyric cleaning ------------------------------------------------------

// Byte length of the line break starting at s[i], or 0. Every break character
// counts on its own, so CR LF leaves an empty piece between them.
std::size_t lineBreakAt(std::string_view s, std::size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x0A && c <= 0x0D)
        return 1;
    if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x85)
        return 2; // U+0085
    if (c == 0xE2 && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0x80
        && (static_cast<unsigned char>(s[i + 2]) == 0xA8 || static_cast<unsigned char>(s[i + 2]) == 0xA9))
        return 3; // U+2028, U+2029
    return 0;
}

// Removes every "[...]" whose closing bracket is on the same line. An opening
// bracket that is never closed, and everything after it, stays.
std::string withoutBracketedTags(std::string_view line)
{
    std::string out;
    out.reserve(line.size());
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == '[') {
            const auto close = line.find(']', i + 1);
            if (close == std::string_view::npos) {
                out.append(line.substr(i));
                break;
            }
            i = close + 1;
            continue;
        }
        out += line[i++];
    }
    return out;
}

// Two or more spaces or tabs in a row become one space; a lone tab stays a tab.
std::string squeezeBlanks(std::string_view line)
{
    std::string out;
    out.reserve(line.size());
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] != ' ' && line[i] != '\t') {
            out += line[i++];
            continue;
        }
        std::size_t j = i;
        while (j < line.size() && (line[j] == ' ' || line[j] == '\t'))
            ++j;
        out += (j - i >= 2) ? ' ' : line[i];
        i = j;
    }
    return out;
}

// ---- Reading tags with TagLib ----------------------------------------------

std::string utf8(const TagLib::String& s) { return s.to8Bit(true); }

// TagLib reports odd files on standard error; the reader's answer is enough.
struct QuietTagLib : TagLib::DebugListener {
    void printMessage(const TagLib::String&) override {}
};

void quietTagLib()
{
    static QuietTagLib listener;
    static std::once_flag once;
    std::call_once(once, [] { TagLib::setDebugListener(&listener); });
}

// `cutFrameBytes`: the sizes of the frames a tag copy cut (Id3TagCopy).
MetadataFormat id3v2Format(TagLib::ID3v2::Tag& tag, const std::set<std::uint64_t>& cutFrameBytes)
{
    using namespace TagLib::ID3v2;
    MetadataFormat format{"org.id3", {}};
    for (Frame* frame : tag.frameList()) {
        const auto idBytes = frame->frameID();
        const std::string id(idBytes.data(), idBytes.size());
        MetadataItem item{"id3/" + id, {}, std::nullopt, cutFrameBytes.count(frame->size()) > 0};
        if (id == "TIT2")
            item.commonKey = metadata::kTitle;
        else if (id == "TPE1")
            item.commonKey = metadata::kArtist;

        if (auto* lyric = dynamic_cast<UnsynchronizedLyricsFrame*>(frame)) {
            item.stringValue = utf8(lyric->text());
        } else if (auto* user = dynamic_cast<UserTextIdentificationFrame*>(frame)) {
            // The first field is the description; the rest is the value.
            const auto fields = user->fieldList();
            std::string value;
            for (auto it = fields.begin(); it != fields.end(); ++it) {
                if (it == fields.begin())
                    continue;
                if (!value.empty())
                    value += ' ';
                value += utf8(*it);
            }
            item.stringValue = value;
        } else if (auto* textFrame = dynamic_cast<TextIdentificationFrame*>(frame)) {
            item.stringValue = utf8(textFrame->toString());
        } else if (auto* comment = dynamic_cast<CommentsFrame*>(frame)) {
            item.stringValue = utf8(comment->text());
        } else if (auto* link = dynamic_cast<UrlLinkFrame*>(frame)) {
            item.stringValue = utf8(link->url());
        }
        format.items.push_back(std::move(item));
    }
    return format;
}

MetadataFormat mp4Format(const TagLib::MP4::Tag& tag)
{
    MetadataFormat format{"com.apple.itunes", {}};
    for (const auto& [key, value] : tag.itemMap()) {
        const std::string name = utf8(key);
        MetadataItem item{"itsk/" + name, {}, std::nullopt};
        if (name == "\u00a9nam")
            item.commonKey = metadata::kTitle;
        else if (name == "\u00a9ART")
            item.commonKey = metadata::kArtist;
        const auto strings = value.toStringList();
        if (!strings.isEmpty())
            item.stringValue = utf8(strings.toString("\n"));
        format.items.push_back(std::move(item));
    }
    return format;
}

// An item of a field map keyed by name (Xiph comments, APE, generic properties),
// whose names are matched without regard to case.
MetadataItem namedItem(const std::string& prefix, const std::string& key, std::optional<std::string> value)
{
    MetadataItem item{prefix + key, {}, std::move(value)};
    const auto lower = text::asciiLower(key);
    if (lower == "title")
        item.commonKey = metadata::kTitle;
    else if (lower == "artist")
        item.commonKey = metadata::kArtist;
    return item;
}

MetadataFormat xiphFormat(const TagLib::Ogg::XiphComment& tag)
{
    MetadataFormat format{"org.xiph.vorbis-comment", {}};
    for (const auto& [key, values] : tag.fieldListMap())
        for (const auto& v : values)
            format.items.push_back(namedItem("xiph/", utf8(key), utf8(v)));
    return format;
}

MetadataFormat apeFormat(const TagLib::APE::Tag& tag)
{
    MetadataFormat format{"ape", {}};
    for (const auto& [key, item] : tag.itemListMap()) {
        if (item.type() != TagLib::APE::Item::Text) {
            format.items.push_back(namedItem("ape/", utf8(key), std::nullopt));
            continue;
        }
        for (const auto& v : item.values())
            format.items.push_back(namedItem("ape/", utf8(key), utf8(v)));
    }
    return format;
}

MetadataFormat id3v1Format(const TagLib::ID3v1::Tag& tag)
{
    MetadataFormat format{"id3v1", {}};
    // Version 1 has fixed fields; an empty one means the field is not there.
    if (!tag.title().isEmpty())
        format.items.push_back({"id3v1/title", std::string(metadata::kTitle), utf8(tag.title())});
    if (!tag.artist().isEmpty())
        format.items.push_back({"id3v1/artist", std::string(metadata::kArtist), utf8(tag.artist())});
    return format;
}

MetadataFormat riffInfoFormat(const TagLib::RIFF::Info::Tag& tag)
{
    MetadataFormat format{"riff.info", {}};
    for (const auto& [key, value] : tag.fieldListMap()) {
        const std::string id(key.data(), key.size());
        MetadataItem item{"riff/" + id, {}, utf8(value)};
        if (id == "INAM")
            item.commonKey = metadata::kTitle;
        else if (id == "IART")
            item.commonKey = metadata::kArtist;
        format.items.push_back(std::move(item));
    }
    return format;
}

MetadataFormat genericFormat(const TagLib::File& file)
{
    MetadataFormat format{"tags", {}};
    for (const auto& [key, values] : file.properties())
        for (const auto& v : values)
            format.items.push_back(namedItem("tag/", utf8(key), utf8(v)));
    return format;
}

std::vector<MetadataFormat> formatsOf(TagLib::File& file, const std::set<std::uint64_t>& cutFrameBytes)
{
    std::vector<MetadataFormat> out;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(&file)) {
        if (auto* t = mpeg->ID3v2Tag())
            out.push_back(id3v2Format(*t, cutFrameBytes));
        if (auto* t = mpeg->APETag())
            out.push_back(apeFormat(*t));
        if (auto* t = mpeg->ID3v1Tag())
            out.push_back(id3v1Format(*t));
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(&file)) {
        if (auto* t = mp4->tag())
            out.push_back(mp4Format(*t));
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(&file)) {
        if (auto* t = flac->xiphComment())
            out.push_back(xiphFormat(*t));
        if (auto* t = flac->ID3v2Tag())
            out.push_back(id3v2Format(*t, cutFrameBytes));
        if (auto* t = flac->ID3v1Tag())
            out.push_back(id3v1Format(*t));
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(&file)) {
        if (auto* t = wav->ID3v2Tag())
            out.push_back(id3v2Format(*t, cutFrameBytes));
        if (auto* t = wav->InfoTag())
            out.push_back(riffInfoFormat(*t));
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(&file)) {
        if (auto* t = aiff->tag())
            out.push_back(id3v2Format(*t, cutFrameBytes));
    } else if (auto* ape = dynamic_cast<TagLib::APE::File*>(&file)) {
        if (auto* t = ape->APETag())
            out.push_back(apeFormat(*t));
        if (auto* t = ape->ID3v1Tag())
            out.push_back(id3v1Format(*t));
    } else if (auto* wv = dynamic_cast<TagLib::WavPack::File*>(&file)) {
        if (auto* t = wv->APETag())
            out.push_back(apeFormat(*t));
        if (auto* t = wv->ID3v1Tag())
            out.push_back(id3v1Format(*t));
    } else if (auto* mpc = dynamic_cast<TagLib::MPC::File*>(&file)) {
        if (auto* t = mpc->APETag())
            out.push_back(apeFormat(*t));
        if (auto* t = mpc->ID3v1Tag())
            out.push_back(id3v1Format(*t));
    } else if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(&file)) {
        if (auto* t = tta->ID3v2Tag())
            out.push_back(id3v2Format(*t, cutFrameBytes));
        if (auto* t = tta->ID3v1Tag())
            out.push_back(id3v1Format(*t));
    } else if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(file.tag())) {
        // Ogg Vorbis, Opus, Speex and Ogg FLAC all keep a Xiph comment.
        out.push_back(xiphFormat(*xiph));
    } else {
        out.push_back(genericFormat(file));
    }
    return out;
}

// The first item carrying `key` as its common key, and its value if it has one.
std::optional<std::string> firstValue(const std::vector<MetadataItem>& items, std::string_view key)
{
    for (const auto& item : items)
        if (item.commonKey == key)
            return item.stringValue;
    return std::nullopt;
}

struct FoundLyrics {
    std::string text;
    bool cut; // from an item holding only the start of its text
};

std::optional<FoundLyrics> usableLyrics(const MetadataItem& item)
{
    if (!item.stringValue || item.stringValue->empty())
        return std::nullopt;
    auto cleaned = cleanLyricsText(*item.stringValue);
    if (text::trimWhitespaceAndNewlines(cleaned).empty())
        return std::nullopt;
    return FoundLyrics{std::move(cleaned), item.cut};
}

std::optional<FoundLyrics> searchLyrics(const std::vector<MetadataItem>& items)
{
    for (const auto id : {metadata::kID3UnsynchronizedLyric, metadata::kITunesLyrics}) {
        for (const auto& item : items) {
            if (item.identifier != id)
                continue;
            // Only the first item with the identifier is considered.
            if (auto lyrics = usableLyrics(item))
                return lyrics;
            break;
        }
    }
    for (const auto& item : items) {
        const auto name = text::asciiLower(item.commonKey + " " + item.identifier);
        if (name.find("lyric") == std::string::npos)
            continue;
        if (auto lyrics = usableLyrics(item))
            return lyrics;
    }
    return std::nullopt;
}

std::optional<std::string> trimmedOrAbsent(const std::optional<std::string>& value)
{
    if (!value)
        return std::nullopt;
    auto t = text::trimWhitespaceAndNewlines(*value);
    if (t.empty())
        return std::nullopt;
    return t;
}

void logCut(std::string_view what, std::size_t from, std::size_t to)
{
    logLine("Song tags", "The " + std::string(what) + " of " + std::to_string(from) + " bytes was cut to "
                             + std::to_string(to) + " bytes.");
}

// A title or artist cut to at most kMaxTagTextBytes, never inside a UTF-8 character.
std::optional<std::string> cappedName(std::optional<std::string> value, std::string_view what)
{
    if (!value || value->size() <= kMaxTagTextBytes)
        return value;
    const std::size_t from = value->size();
    value->resize(text::prefixWithinBytes(*value, kMaxTagTextBytes).size());
    logCut(what, from, value->size());
    return trimmedOrAbsent(value);
}

// A TagLib stream over a file whose first `replacedBytes` are read from `head` instead.
class SplicedStream final : public TagLib::IOStream {
public:
    SplicedStream(const std::filesystem::path& file, std::string head, std::uint64_t replacedBytes)
        : file_(file.c_str(), true), head_(std::move(head)), replaced_(static_cast<long>(replacedBytes))
    {
    }

    TagLib::FileName name() const override { return file_.name(); }
    bool isOpen() const override { return file_.isOpen(); }
    bool readOnly() const override { return true; }
    long tell() const override { return position_; }
    long length() override { return headLength() + std::max(0L, file_.length() - replaced_); }

    void seek(long offset, Position from) override
    {
        const long base = from == Beginning ? 0 : from == Current ? position_ : length();
        position_ = std::max(0L, base + offset);
    }

    TagLib::ByteVector readBlock(unsigned long length) override
    {
        TagLib::ByteVector out;
        if (position_ < headLength()) {
            const auto take = std::min<unsigned long>(length, static_cast<unsigned long>(headLength() - position_));
            out.append(TagLib::ByteVector(head_.data() + position_, static_cast<unsigned int>(take)));
            position_ += static_cast<long>(take);
            length -= take;
        }
        if (length > 0 && position_ >= headLength()) {
            file_.seek(replaced_ + position_ - headLength());
            const TagLib::ByteVector rest = file_.readBlock(length);
            out.append(rest);
            position_ += static_cast<long>(rest.size());
        }
        return out;
    }

    // Reading only.
    void writeBlock(const TagLib::ByteVector&) override {}
    void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
    void removeBlock(unsigned long, unsigned long) override {}
    void truncate(long) override {}

private:
    long headLength() const { return static_cast<long>(head_.size()); }

    TagLib::FileStream file_;
    std::string head_;
    long replaced_;
    long position_ = 0;
};

} // namespace

std::string cleanLyricsText(std::string_view input)
{
    std::string out;
    const auto takePiece = [&](std::string_view piece) {
        const auto line = text::trimWhitespaceAndNewlines(squeezeBlanks(withoutBracketedTags(piece)));
        if (line.empty())
            return;
        if (!out.empty())
            out += '\n';
        out += line;
    };
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < input.size()) {
        if (const auto len = lineBreakAt(input, i)) {
            takePiece(input.substr(start, i - start));
            i += len;
            start = i;
        } else {
            ++i;
        }
    }
    takePiece(input.substr(start));
    return out;
}

std::optional<std::string> findLyrics(const std::vector<MetadataItem>& items)
{
    auto found = searchLyrics(items);
    return found ? std::optional<std::string>(std::move(found->text)) : std::nullopt;
}

std::vector<MetadataItem> commonItems(const std::vector<MetadataFormat>& formats)
{
    std::vector<MetadataItem> out;
    for (const auto& format : formats)
        for (const auto& item : format.items)
            if (!item.commonKey.empty())
                out.push_back(item);
    return out;
}

std::vector<MetadataFormat> readTagFormats(const std::filesystem::path& file)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec))
        return {};
    // TagLib trusts the sizes and counts a tag claims; an absurd one is not read.
    const auto check = checkSongFile(file);
    if (!check.tagsReadable()) {
        logLine("Song tags", "Not reading the tags of \u201c" + file.filename().string() + "\u201d: " + check.note + ".");
        return {};
    }
    quietTagLib();
    if (check.skipTagBytes == 0) {
        TagLib::FileRef ref(file.c_str(), false);
        if (ref.isNull() || !ref.file()->isValid())
            return {};
        return formatsOf(*ref.file(), {});
    }
    // TagLib reads a tag whole and every frame of it: a large one is read from a copy.
    const auto copy = copyLeadingId3Tag(file);
    if (!copy)
        return {};
    SplicedStream stream(file, copy->bytes, copy->replacedBytes);
    TagLib::FileRef ref(&stream, false);
    if (ref.isNull() || !ref.file()->isValid())
        return {};
    return formatsOf(*ref.file(), copy->cutFrameBytes);
}

std::optional<double> knownSongSeconds(const std::string& audioPath, const std::string& component)
{
    if (audioPath.empty())
        return std::nullopt;
    try {
        const double seconds = audioDuration(audioPath);
        return std::isfinite(seconds) && seconds > 0 ? std::optional<double>(seconds) : std::nullopt;
    } catch (const std::exception& e) {
        logLine(component, std::string("song length unknown: ") + e.what());
        return std::nullopt;
    }
}

double audioDuration(const std::filesystem::path& file)
{
    int error = 0;
    const auto input = ffmpeg::openInput(file, error);
    if (!input)
        return 0;
    const int index = ffmpeg::firstAudioStream(*input);
    // Packets nothing here can decode are no song either.
    if (index < 0 || !avcodec_find_decoder(input->streams[index]->codecpar->codec_id))
        return 0;
    // The length is where the stream's packets end, not what a header claims: an
    // MP3's Xing frame count can make a few hundred bytes "last" ten years.
    // Demuxing reads the file but decodes nothing.
    const AVStream& stream = *input->streams[index];
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != index)
            input->streams[i]->discard = AVDISCARD_ALL;
    ffmpeg::PacketPtr packet(av_packet_alloc());
    if (!packet)
        return 0;
    std::int64_t first = AV_NOPTS_VALUE;
    std::int64_t end = AV_NOPTS_VALUE;
    while (av_read_frame(input.get(), packet.get()) >= 0) {
        if (packet->stream_index == index && packet->duration > 0) {
            const std::int64_t start = packet->pts != AV_NOPTS_VALUE ? packet->pts
                                       : end != AV_NOPTS_VALUE        ? end
                                                                      : 0;
            if (first == AV_NOPTS_VALUE || start < first)
                first = start;
            if (end == AV_NOPTS_VALUE || start + packet->duration > end)
                end = start + packet->duration;
        }
        av_packet_unref(packet.get());
    }
    if (end == AV_NOPTS_VALUE)
        return 0;
    const std::int64_t origin = stream.start_time != AV_NOPTS_VALUE ? std::min(stream.start_time, first) : first;
    return static_cast<double>(end - origin) * av_q2d(stream.time_base);
}

AudioMetadata AudioMetadata::fromTags(const std::vector<MetadataItem>& common,
                                      const std::vector<MetadataFormat>& formats, double duration)
{
    AudioMetadata m;
    // A length that is not a finite, non-negative number would poison the project file.
    m.duration = (std::isfinite(duration) && duration > 0) ? duration : 0;
    m.title = firstValue(common, metadata::kTitle);
    m.artist = firstValue(common, metadata::kArtist);
    bool lyricsFromCutItem = false;
    for (const auto& format : formats) {
        if (!m.lyrics)
            if (auto found = searchLyrics(format.items)) {
                m.lyrics = std::move(found->text);
                lyricsFromCutItem = found->cut;
            }
        if (!m.title)
            m.title = firstValue(format.items, metadata::kTitle);
        if (!m.artist)
            m.artist = firstValue(format.items, metadata::kArtist);
    }
    m.title = cappedName(trimmedOrAbsent(m.title), "title");
    m.artist = cappedName(trimmedOrAbsent(m.artist), "artist");
    m.lyrics = trimmedOrAbsent(m.lyrics);
    if (m.lyrics) {
        const std::size_t from = m.lyrics->size();
        m.lyricsCut = capLyrics(*m.lyrics) || lyricsFromCutItem;
        if (m.lyrics->size() != from) {
            logCut("lyrics", from, m.lyrics->size());
            m.lyrics = trimmedOrAbsent(m.lyrics);
        }
    }
    return m;
}

AudioMetadata AudioMetadata::load(const std::filesystem::path& file)
{
    std::vector<MetadataFormat> formats;
    double duration = 0;
    // Nothing leaves the reader: a tag block or a stream that cannot be read
    // counts as missing.
    try {
        formats = readTagFormats(file);
    } catch (...) {
        formats.clear();
    }
    try {
        duration = audioDuration(file);
    } catch (...) {
        duration = 0;
    }
    return fromTags(commonItems(formats), formats, duration);
}

} // namespace vl
