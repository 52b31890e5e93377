#include "media/SongFileCheck.h"

#include "media/HeaderBytes.h"
#include "media/Id3Tag.h"

#include <fstream>
#include <optional>
#include <string_view>

namespace vl {

namespace {

using header::bigEndian;
using header::byteAt;
using header::readAt;

std::uint32_t littleEndian32(std::string_view b, std::size_t at)
{
    return byteAt(b, at) | byteAt(b, at + 1) << 8 | byteAt(b, at + 2) << 16 | byteAt(b, at + 3) << 24;
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
    const auto header = parseId3Header(readAt(in, offset, 10));
    if (!header)
        return std::nullopt;
    TagVerdict verdict;
    verdict.totalBytes = header->totalBytes;
    if (verdict.totalBytes > available) {
        verdict.overclaims = true;
        verdict.problem = "its ID3 tag claims " + std::to_string(verdict.totalBytes) + " bytes where the file holds "
                          + std::to_string(available);
        return verdict;
    }
    if (header->bodyBytes > kMaxSongTagBytes) {
        verdict.problem = "its ID3 tag of " + std::to_string(header->bodyBytes) + " bytes is over the limit of "
                          + std::to_string(kMaxSongTagBytes);
        return verdict;
    }
    std::string restored;
    const Id3BodyReader body = id3BodyReader(in, offset, *header, restored);
    const std::size_t frames = id3Frames(body, *header, kMaxSongTagFrames + 1).size();
    if (frames > kMaxSongTagFrames)
        verdict.problem = "its ID3 tag holds more than " + std::to_string(kMaxSongTagFrames) + " frames, over the limit";
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
            check.tagSkipped = true;
            check.skipTagBytes = tag->totalBytes;
            check.note = tag->problem;
        } else if (tag->totalBytes > kMaxWholeTagBytes) {
            check.skipTagBytes = tag->totalBytes;
        }
    }
    return check;
}

} // namespace vl
