#include "media/Id3Tag.h"

#include "media/HeaderBytes.h"

#include <algorithm>
#include <fstream>

namespace vl {

namespace {

using header::bigEndian;
using header::byteAt;
using header::readAt;

std::optional<std::uint32_t> syncsafe(std::string_view b, std::size_t at)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        if (byteAt(b, at + i) & 0x80)
            return std::nullopt;
        v = v << 7 | byteAt(b, at + i);
    }
    return v;
}

std::string bigEndianBytes(std::uint64_t v, int count)
{
    std::string out(static_cast<std::size_t>(count), '\0');
    for (int i = count - 1; i >= 0; --i, v >>= 8)
        out[static_cast<std::size_t>(i)] = static_cast<char>(v & 0xFF);
    return out;
}

std::string syncsafeBytes(std::uint64_t v)
{
    std::string out(4, '\0');
    for (int i = 3; i >= 0; --i, v >>= 7)
        out[static_cast<std::size_t>(i)] = static_cast<char>(v & 0x7F);
    return out;
}

bool isFrameId(std::string_view id, std::size_t length)
{
    if (id.size() < length)
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = id[i];
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// The size a frame header states, read as the parsers read it.
std::uint64_t frameSize(const Id3BodyReader& body, std::string_view head, std::uint64_t at, int version)
{
    if (version == 2)
        return bigEndian(head, 3, 3);
    if (version == 3)
        return bigEndian(head, 4, 4);
    // Some writers ignore syncsafe sizes; iTunes writes plain ones that happen to be
    // syncsafe too, which tells only where the next frame would start.
    const std::uint32_t plain = bigEndian(head, 4, 4);
    const auto safe = syncsafe(head, 4);
    if (!safe)
        return plain;
    if (*safe > 127 && !isFrameId(body(at + 10 + *safe, 4), 4) && isFrameId(body(at + 10 + plain, 4), 4))
        return plain;
    return *safe;
}

// Frames whose text a cut may shorten: the text frames, lyrics and comments. Where
// their strings start in the body: after the encoding byte, and for lyrics and
// comments after a language code too.
std::optional<std::size_t> textFieldsStart(std::string_view id)
{
    if (id.starts_with('T'))
        return 1;
    if (id == "USLT" || id == "COMM" || id == "ULT" || id == "COM")
        return 4;
    return std::nullopt;
}

// Whether the body's bytes are encoded (compression, encryption, grouping,
// unsynchronisation of the frame or of a whole tag of version 2.4, a length
// indicator): such a body is kept whole or not at all.
bool isEncoded(const Id3Frame& frame, const Id3Header& header)
{
    const std::uint32_t format = frame.flags & 0xFF;
    if (header.version == 4)
        return (format & 0x4F) != 0 || header.unsynchronised();
    return header.version == 3 && (format & 0xE0) != 0;
}

// A tag body with every FF 00 read as FF.
std::string restoredBody(const std::string& body)
{
    std::string plain;
    plain.reserve(body.size());
    for (std::size_t i = 0; i < body.size(); ++i) {
        plain += body[i];
        if (byteAt(body, i) == 0xFF && i + 1 < body.size() && body[i + 1] == '\0')
            ++i;
    }
    return plain;
}

// How much of a text frame's start to keep, at most `limit` bytes of `body` (which
// holds at least one byte more when there is one), so that its text ends after a whole
// character of its encoding: the parsers drop the whole text of a frame whose UTF-8 or
// UTF-16 ends inside a character.
std::size_t textCut(std::string_view body, std::size_t fieldsStart, std::size_t limit)
{
    std::size_t keep = std::min(limit, body.size());
    if (keep <= fieldsStart)
        return 0;
    const std::uint32_t encoding = byteAt(body, 0);
    if (encoding == 3) { // UTF-8: back to a lead byte
        for (int back = 0; back < 3 && keep < body.size() && (byteAt(body, keep) & 0xC0) == 0x80; ++back)
            --keep;
    } else if (encoding == 1 || encoding == 2) { // UTF-16, in two-byte units from the fields' start
        keep -= (keep - fieldsStart) % 2;
        // A first half of a surrogate pair, in either byte order, goes too.
        const auto firstHalf = [](std::uint32_t b) { return b >= 0xD8 && b <= 0xDB; };
        while (keep >= fieldsStart + 2 && (firstHalf(byteAt(body, keep - 2)) || firstHalf(byteAt(body, keep - 1))))
            keep -= 2;
    }
    return keep > fieldsStart ? keep : 0;
}

} // namespace

std::optional<Id3Header> parseId3Header(std::string_view bytes)
{
    if (bytes.size() < 10 || bytes.substr(0, 3) != "ID3")
        return std::nullopt;
    Id3Header header;
    header.version = static_cast<int>(byteAt(bytes, 3));
    const auto size = syncsafe(bytes, 6);
    if (header.version < 2 || header.version > 4 || byteAt(bytes, 4) == 0xFF || !size)
        return std::nullopt; // the parsers do not take it for a tag either
    header.flags = byteAt(bytes, 5);
    header.bodyBytes = *size;
    header.totalBytes = 10 + std::uint64_t(*size) + ((header.version == 4 && (header.flags & 0x10)) ? 10 : 0);
    return header;
}

Id3BodyReader id3BodyReader(std::ifstream& in, std::uint64_t offset, const Id3Header& header, std::string& restored)
{
    // Version 2.4 unsynchronises frame by frame, never its frame headers.
    if (header.unsynchronised() && header.version <= 3) {
        restored = restoredBody(readAt(in, offset + 10, header.bodyBytes));
        return [&restored](std::uint64_t at, std::size_t count) {
            return at < restored.size() ? restored.substr(static_cast<std::size_t>(at), count) : std::string();
        };
    }
    return [&in, offset, size = std::uint64_t(header.bodyBytes)](std::uint64_t at, std::size_t count) {
        const std::uint64_t left = at < size ? size - at : 0;
        return readAt(in, offset + 10 + at, static_cast<std::size_t>(std::min<std::uint64_t>(count, left)));
    };
}

std::vector<Id3Frame> id3Frames(const Id3BodyReader& body, const Id3Header& header, std::size_t limit)
{
    const int version = header.version;
    const std::uint64_t end = header.bodyBytes;
    std::uint64_t at = 0;
    if (header.flags & 0x40) { // extended header
        const std::string extended = body(0, 4);
        if (extended.size() < 4)
            return {};
        if (version == 3)
            at = 4 + std::uint64_t(bigEndian(extended, 0, 4));
        else if (version == 4)
            at = syncsafe(extended, 0).value_or(0);
    }
    const std::uint32_t headerBytes = version == 2 ? 6 : 10;
    const std::size_t idLength = version == 2 ? 3 : 4;
    std::vector<Id3Frame> frames;
    while (frames.size() < limit && at + headerBytes <= end) {
        const std::string head = body(at, headerBytes);
        if (head.size() < headerBytes || !isFrameId(head, idLength))
            break;
        const std::uint64_t size = frameSize(body, head, at, version);
        if (size > end - at - headerBytes)
            break;
        frames.push_back({head.substr(0, idLength), at, headerBytes, size,
                          version == 2 ? 0 : bigEndian(head, 8, 2)});
        at += headerBytes + size;
    }
    return frames;
}

std::optional<Id3TagCopy> copyLeadingId3Tag(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    const auto header = parseId3Header(readAt(in, 0, 10));
    if (!header)
        return std::nullopt;
    const int version = header->version;
    std::string restored;
    const Id3BodyReader body = id3BodyReader(in, 0, *header, restored);

    Id3TagCopy copy;
    copy.replacedBytes = header->totalBytes;
    std::string frames;
    // The limit on the count is checkSongFile's business; this walk only has to end.
    for (const Id3Frame& frame : id3Frames(body, *header, std::size_t(1) << 16)) {
        const std::uint64_t used = 10 + frames.size() + frame.headerBytes;
        const std::uint64_t room = used < kMaxTagCopyBytes ? kMaxTagCopyBytes - used : 0;
        const std::uint64_t bodyAt = frame.at + frame.headerBytes;
        std::string data;
        if (frame.bodyBytes <= std::min(kMaxTagFrameCopyBytes, room)) {
            data = body(bodyAt, static_cast<std::size_t>(frame.bodyBytes));
            if (data.size() < frame.bodyBytes)
                break; // the file ended early
        } else {
            // Only a frame too large on its own is cut; pictures, binary data and frames
            // whose bytes are encoded cannot be, and nothing is cut to squeeze it in.
            const auto fieldsStart = textFieldsStart(frame.id);
            if (frame.bodyBytes <= kMaxTagFrameCopyBytes || room < kMaxTagFrameCopyBytes || !fieldsStart
                || isEncoded(frame, *header))
                continue;
            data = body(bodyAt, static_cast<std::size_t>(kMaxTagFrameCopyBytes) + 1);
            data.resize(textCut(data, *fieldsStart, static_cast<std::size_t>(kMaxTagFrameCopyBytes)));
            if (data.empty())
                continue;
            copy.cutFrameBytes.insert(data.size());
        }
        frames += frame.id;
        if (version == 2)
            frames += bigEndianBytes(data.size(), 3);
        else
            frames += (version == 4 ? syncsafeBytes(data.size()) : bigEndianBytes(data.size(), 4))
                      + bigEndianBytes(frame.flags, 2);
        frames += data;
    }
    // No extended header or footer, and the body as restored; a tag of version 2.4 keeps
    // saying that its frames are unsynchronised.
    const char flags = static_cast<char>(version == 4 ? header->flags & 0x80 : 0);
    copy.bytes = std::string("ID3") + static_cast<char>(version) + '\0' + flags + syncsafeBytes(frames.size()) + frames;
    return copy;
}

} // namespace vl
