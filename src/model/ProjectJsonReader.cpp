#include "model/ProjectJson.h"

#include "model/ProjectFields.h"

#include <limits>
#include <string>

// The readers: each record filled by walking its field list.

namespace vl {

using json::DecodeError;
using json::Json;
using json::ObjectReader;

namespace {

// A tolerant record keeps its default for a missing or null key; a strict one
// requires every field that is not optional.
template <typename R> constexpr bool tolerant = false;
template <> constexpr bool tolerant<StoryboardPlan> = true;
template <> constexpr bool tolerant<StoryboardChunk> = true;
template <> constexpr bool tolerant<Project> = true;

template <fields::IsRecord R> R readRecord(const Json& value);

// ---- values; `what` names the value in error messages

void read(const Json& value, std::string_view what, std::string& out) { out = json::asString(value, what); }
void read(const Json& value, std::string_view what, double& out) { out = json::asDouble(value, what); }
void read(const Json& value, std::string_view what, std::int64_t& out) { out = json::asInt64(value, what); }
void read(const Json& value, std::string_view what, bool& out) { out = json::asBool(value, what); }

void read(const Json& value, std::string_view what, Uuid& out)
{
    if (auto id = Uuid::parse(json::asString(value, what))) {
        out = *id;
        return;
    }
    throw DecodeError(std::string(what) + ": not a UUID");
}

void read(const Json& value, std::string_view what, Date& out)
{
    if (auto date = parseIsoDate(json::asString(value, what))) {
        out = *date;
        return;
    }
    throw DecodeError(std::string(what) + ": not an ISO 8601 date");
}

// An enumeration by its raw value.
template <typename E> void readRaw(const Json& value, std::string_view what, E& out,
                                   std::optional<E> (*fromRaw)(std::string_view))
{
    if (const auto known = fromRaw(json::asString(value, what))) {
        out = *known;
        return;
    }
    throw DecodeError(std::string(what) + ": unknown value");
}
void read(const Json& value, std::string_view what, LyricsSource& out) { readRaw(value, what, out, &lyricsSourceFromRaw); }
void read(const Json& value, std::string_view what, ExportResolution& out)
{
    readRaw(value, what, out, &exportResolutionFromRaw);
}
void read(const Json& value, std::string_view what, ExportContainer& out)
{
    readRaw(value, what, out, &exportContainerFromRaw);
}

// A nested record names itself in messages.
template <fields::IsRecord R> void read(const Json& value, std::string_view, R& out) { out = readRecord<R>(value); }

template <typename T> T decoded(const Json& value, std::string_view what)
{
    if constexpr (fields::IsRecord<T>) {
        return readRecord<T>(value);
    } else {
        T out;
        read(value, what, out);
        return out;
    }
}

template <typename T> void read(const Json& value, std::string_view what, std::vector<T>& out)
{
    if (!value.is_array())
        throw DecodeError(std::string(what) + ": expected an array");
    out.clear();
    out.reserve(value.size());
    for (const Json& item : value) out.push_back(decoded<T>(item, what));
}

// ---- records

template <typename R> class FieldReader {
public:
    explicit FieldReader(const ObjectReader& object) : object_(object) {}

    template <typename T> void field(std::string_view key, T& member)
    {
        if constexpr (tolerant<R>) {
            if (const Json* value = object_.find(key)) read(*value, object_.path(key), member);
        } else {
            read(object_.required(key), object_.path(key), member);
        }
    }
    template <typename T> void optional(std::string_view key, std::optional<T>& member)
    {
        if (const Json* value = object_.find(key)) member = decoded<T>(*value, object_.path(key));
    }

private:
    const ObjectReader& object_;
};

// Defaults that depend on other fields, set once the whole record is read.
void complete(const ObjectReader&, auto&) {}
void complete(const ObjectReader& object, StoryboardChunk& c)
{
    // Without its own number a chunk is numbered after its index; the largest index
    // has no successor, so it keeps its own value rather than overflowing.
    if (!object.has("chunkNumber"))
        c.chunkNumber = c.index == std::numeric_limits<std::int64_t>::max() ? c.index : c.index + 1;
}

template <fields::IsRecord R> R readRecord(const Json& value)
{
    const ObjectReader object(value, fields::Record<R>::name);
    R record;
    FieldReader<R> reader(object);
    fields::list(reader, record);
    complete(object, record);
    return record;
}

} // namespace

TranscriptSegment readTranscriptSegment(const Json& value) { return readRecord<TranscriptSegment>(value); }
PlanElement readPlanElement(const Json& value) { return readRecord<PlanElement>(value); }
StoryboardPlan readStoryboardPlan(const Json& value) { return readRecord<StoryboardPlan>(value); }
ReviewChecklist readReviewChecklist(const Json& value) { return readRecord<ReviewChecklist>(value); }
GeneratedFrame readGeneratedFrame(const Json& value) { return readRecord<GeneratedFrame>(value); }
StoryboardChunk readStoryboardChunk(const Json& value) { return readRecord<StoryboardChunk>(value); }
CharacterReference readCharacterReference(const Json& value) { return readRecord<CharacterReference>(value); }
StyleGuidance readStyleGuidance(const Json& value) { return readRecord<StyleGuidance>(value); }
DepthFlowSettings readDepthFlowSettings(const Json& value) { return readRecord<DepthFlowSettings>(value); }
ExportSettings readExportSettings(const Json& value) { return readRecord<ExportSettings>(value); }

Project readProject(const Json& value, std::optional<Uuid> idWhenMissing)
{
    Project p = readRecord<Project>(value);
    if (idWhenMissing && !ObjectReader(value, fields::Record<Project>::name).has("id"))
        p.id = *idWhenMissing;
    return p;
}

} // namespace vl
