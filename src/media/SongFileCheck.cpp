#include "media/SongFileCheck.h"

#include <fstream>
#include <optional>
#include <string_view>

namespace vl {

namespace {

std::uint32_t byteAt(std::string_view b, std::size_t i) { return static_cast<unsigned char>(b[i]); }

std::uint32_t bigEndian(std::string_view b, std::size_t at, int count)
{
    std::uint32_t v = 0;
    for (int i = 0; i < count; ++i)
        v = v << 8 | byteAt(b, at + static_cast<std::size_t>(i));
    return v;
}

std::uint32_t littleEndian32(std::string_view b, std::size_t at)
{
    return byteAt(b, at) | byteAt(b, at + 1) << 8 | byteAt(b, at + 2) << 16 | byteAt(b, at + 3) << 24;
}

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

std::string readAt(std::ifstream& in, std::uint64_t offset, std::size_t count)
{
    std::string bytes(count, '\0');
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(in ? count : static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

bool isFrameIdChar(std::uint32_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Frames of an ID3v2 tag body (after its 10-byte header), counted the way the
// parsers walk them; stops at padding or at the first header that does not fit.
std::size_t countFrames(std::string body, int version, std::uint32_t flags)
{
    if (version <= 3 && (flags & 0x80)) {
        // The whole tag is unsynchronised: every FF 00 stands for FF.
        std::string plain;
        plain.reserve(body.size());
        for (std::size_t i = 0; i < body.size(); ++i) {
            plain += body[i];
            if (byteAt(body, i) == 0xFF && i + 1 < body.size() && body[i + 1] == '\0')
                ++i;
        }
        body = std::move(plain);
    }
    std::size_t at = 0;
    if (flags & 0x40) { // extended header
        if (body.size() < 4)
            return 0;
        if (version == 3)
            at = 4 + std::size_t(bigEndian(body, 0, 4));
        else if (version == 4)
            at = syncsafe(body, 0).value_or(0);
    }
    const std::size_t headerSize = version == 2 ? 6 : 10;
    const int idLength = version == 2 ? 3 : 4;
    std::size_t frames = 0;
    while (at + headerSize <= body.size()) {
        bool idFits = true;
        for (int i = 0; i < idLength; ++i)
            idFits = idFits && isFrameIdChar(byteAt(body, at + static_cast<std::size_t>(i)));
        if (!idFits)
            break;
        std::uint64_t size = 0;
        if (version == 2)
            size = bigEndian(body, at + 3, 3);
        else if (version == 4)
            size = syncsafe(body, at + 4).value_or(bigEndian(body, at + 4, 4)); // some writers ignore syncsafe
        else
            size = bigEndian(body, at + 4, 4);
        if (size > body.size() - at - headerSize)
            break;
        ++frames;
        at += headerSize + static_cast<std::size_t>(size);
    }
    return frames;
}

struct TagVerdict {
    std::uint64_t totalBytes = 0;
    bool overclaims = false; // more bytes than the file holds there
    std::string problem;     // too large or too busy; empty when the tag is fine
};

// The ID3v2 tag at `offset`, with `available` bytes of the file from there; nothing
// when no tag starts there.
std::optional<TagVerdict> id3TagAt(std::ifstream& in, std::uint64_t offset, std::uint64_t available)
{
    const std::string header = readAt(in, offset, 10);
    if (header.size() < 10 || header.substr(0, 3) != "ID3")
        return std::nullopt;
    const int version = static_cast<int>(byteAt(header, 3));
    const auto size = syncsafe(header, 6);
    if (version < 2 || version > 4 || byteAt(header, 4) == 0xFF || !size)
        return std::nullopt; // the parsers do not take it for a tag either
    const std::uint32_t flags = byteAt(header, 5);
    TagVerdict verdict;
    verdict.totalBytes = 10 + std::uint64_t(*size) + ((version == 4 && (flags & 0x10)) ? 10 : 0);
    if (verdict.totalBytes > available) {
        verdict.overclaims = true;
        verdict.problem = "its ID3 tag claims " + std::to_string(verdict.totalBytes) + " bytes where the file holds "
                          + std::to_string(available);
        return verdict;
    }
    if (*size > kMaxSongTagBytes) {
        verdict.problem = "its ID3 tag of " + std::to_string(*size) + " bytes is over the limit of "
                          + std::to_string(kMaxSongTagBytes);
        return verdict;
    }
    const std::size_t frames = countFrames(readAt(in, offset + 10, *size), version, flags);
    if (frames > kMaxSongTagFrames)
        verdict.problem = "its ID3 tag holds " + std::to_string(frames) + " frames, over the limit of "
                          + std::to_string(kMaxSongTagFrames);
    return verdict;
}

// RIFF (WAV, little-endian sizes) and AIFF (big-endian): every chunk but the sound
// itself must fit in the file, and so must the items of a LIST chunk and an
// embedded ID3 tag. The sound chunk may run past the end (a recording cut short);
// nothing after it is then there to check.
SongFileCheck checkChunks(std::ifstream& in, std::uint64_t fileSize, bool littleEndian)
{
    const auto size32 = [&](std::string_view b, std::size_t at) {
        return littleEndian ? littleEndian32(b, at) : bigEndian(b, at, 4);
    };
    const std::string_view sound = littleEndian ? "data" : "SSND";
    SongFileCheck check;
    std::uint64_t at = 12;
    for (std::size_t n = 0; at + 8 <= fileSize; ++n) {
        if (n == kMaxSongChunks) {
            check.refused = true;
            check.note = "it holds more than " + std::to_string(kMaxSongChunks) + " chunks";
            return check;
        }
        const std::string head = readAt(in, at, 8);
        if (head.size() < 8)
            break;
        const std::string id = head.substr(0, 4);
        const std::uint64_t size = size32(head, 4);
        const std::uint64_t available = fileSize - at - 8;
        if (id == sound && size > available)
            break;
        if (size > available) {
            check.refused = true;
            check.note = "its \u201c" + id + "\u201d chunk claims " + std::to_string(size) + " bytes where the file holds "
                         + std::to_string(available);
            return check;
        }
        if (id == "LIST" && size >= 4) {
            // LIST items are read into buffers of the size they claim.
            std::uint64_t item = at + 12;
            const std::uint64_t end = at + 8 + size;
            for (std::size_t k = 0; item + 8 <= end; ++k) {
                const std::string itemHead = readAt(in, item, 8);
                const std::uint64_t itemSize = size32(itemHead, 4);
                if (k == kMaxSongChunks || itemHead.size() < 8 || itemSize > end - item - 8) {
                    check.refused = true;
                    check.note = "an item of its LIST chunk claims more than the chunk holds";
                    return check;
                }
                item += 8 + itemSize + (itemSize & 1);
            }
        }
        if (id == "id3 " || id == "ID3 ") {
            if (const auto tag = id3TagAt(in, at + 8, size); tag && (tag->overclaims || !tag->problem.empty())) {
                check.refused = true;
                check.note = tag->problem;
                return check;
            }
        }
        at += 8 + size + (size & 1);
    }
    return check;
}

} // namespace

SongFileCheck checkSongFile(const std::filesystem::path& file)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error))
        return {};
    const std::uint64_t fileSize = std::filesystem::file_size(file, error);
    if (error)
        return {};
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    const std::string start = readAt(in, 0, 12);
    if (start.size() == 12) {
        const std::string_view riff = std::string_view(start).substr(0, 4);
        const std::string_view kind = std::string_view(start).substr(8, 4);
        if ((riff == "RIFF" || riff == "RF64" || riff == "BW64") && kind == "WAVE")
            return checkChunks(in, fileSize, true);
        if (riff == "FORM" && (kind == "AIFF" || kind == "AIFC"))
            return checkChunks(in, fileSize, false);
    }
    SongFileCheck check;
    if (const auto tag = id3TagAt(in, 0, fileSize)) {
        if (tag->overclaims) {
            check.refused = true;
            check.note = tag->problem;
        } else if (!tag->problem.empty()) {
            check.skipTagBytes = tag->totalBytes;
            check.note = tag->problem;
        }
    }
    return check;
}

} // namespace vl
