#include "model/ProjectSummary.h"

#include "model/Json.h"

#include <optional>

namespace vl {

namespace {

// Follows the parser's events and keeps only the listed fields. What it accepts for
// them is what the full reader accepts: null counts as missing, a chunk must be an
// object, a frame an object or null. The last of repeated keys wins, as in a tree.
class SummaryReader {
public:
    using Json = json::Json;

    bool null() { return scalar(true, nullptr); }
    bool boolean(bool) { return scalar(false, nullptr); }
    bool number_integer(Json::number_integer_t) { return scalar(false, nullptr); }
    bool number_unsigned(Json::number_unsigned_t) { return scalar(false, nullptr); }
    bool number_float(Json::number_float_t, const Json::string_t&) { return scalar(false, nullptr); }
    bool string(Json::string_t& value) { return scalar(false, &value); }
    bool binary(Json::binary_t&) { return false; }

    bool start_object(std::size_t)
    {
        switch (slot()) {
        case Slot::root:
            break;
        case Slot::chunk:
            inChunk_ = true;
            chunkFramed_ = false;
            ++summary_.total;
            break;
        case Slot::frame:
            chunkFramed_ = true;
            break;
        case Slot::other:
            break;
        case Slot::title:
        case Slot::updatedAt:
        case Slot::chunks:
            return false;
        }
        return enter();
    }

    bool end_object()
    {
        --depth_;
        if (depth_ == kChunkDepth - 1 && inChunk_) {
            inChunk_ = false;
            if (chunkFramed_)
                ++summary_.framed;
        }
        return true;
    }

    bool start_array(std::size_t)
    {
        switch (slot()) {
        case Slot::chunks:
            inChunks_ = true;
            summary_.total = summary_.framed = 0;
            break;
        case Slot::other:
            break;
        default:
            return false;
        }
        return enter();
    }

    bool end_array()
    {
        --depth_;
        if (depth_ == kChunkDepth - 2)
            inChunks_ = false;
        return true;
    }

    bool key(Json::string_t& name)
    {
        if (depth_ == 1)
            topKey_ = name;
        else if (depth_ == kChunkDepth && inChunk_)
            chunkKey_ = name;
        return true;
    }

    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

    ProjectSummary take()
    {
        summary_.updatedAt = updatedAt_.value_or(currentDate());
        return std::move(summary_);
    }

private:
    // The root object is at depth 1, the chunk list at 2, each chunk at 3.
    static constexpr int kChunkDepth = 3;

    enum class Slot { root, title, updatedAt, chunks, chunk, frame, other };

    // Where the value about to start sits.
    Slot slot() const
    {
        if (depth_ == 0)
            return Slot::root;
        if (depth_ == 1) {
            if (topKey_ == "title")
                return Slot::title;
            if (topKey_ == "updatedAt")
                return Slot::updatedAt;
            if (topKey_ == "chunks")
                return Slot::chunks;
        }
        if (depth_ == kChunkDepth - 1 && inChunks_)
            return Slot::chunk;
        if (depth_ == kChunkDepth && inChunk_ && chunkKey_ == "frame")
            return Slot::frame;
        return Slot::other;
    }

    bool scalar(bool isNull, Json::string_t* text)
    {
        switch (slot()) {
        case Slot::other:
            return true;
        case Slot::title:
            if (!isNull && !text)
                return false;
            summary_.title = text ? std::move(*text) : std::string();
            return true;
        case Slot::updatedAt:
            if (isNull) {
                updatedAt_.reset();
                return true;
            }
            if (!text || !(updatedAt_ = parseIsoDate(*text)))
                return false;
            return true;
        case Slot::chunks:
            if (!isNull)
                return false;
            summary_.total = summary_.framed = 0;
            return true;
        case Slot::frame:
            if (!isNull)
                return false;
            chunkFramed_ = false;
            return true;
        case Slot::root:
        case Slot::chunk:
            break;
        }
        return false;
    }

    bool enter()
    {
        // The same bound as json::parse: nothing deeper reaches any later reader.
        if (++depth_ > json::kMaxDepth)
            return false;
        return true;
    }

    ProjectSummary summary_;
    std::optional<Date> updatedAt_;
    int depth_ = 0;
    std::string topKey_;
    std::string chunkKey_;
    bool inChunks_ = false;
    bool inChunk_ = false;
    bool chunkFramed_ = false;
};

} // namespace

ProjectSummary decodeProjectSummary(std::string_view bytes)
{
    SummaryReader reader;
    bool read = false;
    try {
        read = json::Json::sax_parse(bytes.begin(), bytes.end(), &reader);
    } catch (const nlohmann::json::exception&) {
        read = false;
    }
    // A handler that turns the document away stops the parse, which then returns false.
    if (!read)
        throw json::DecodeError("the project document cannot be listed");
    return reader.take();
}

} // namespace vl
