#include "model/ProjectJson.h"

#include "model/Text.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <limits>
#include <string>

namespace vl {

using json::DecodeError;
using json::Json;
using json::ObjectReader;

namespace {

// ---- one field list per record, shared by the tree writer and the file writer

template <typename T> constexpr bool isRecord = false;
template <> constexpr bool isRecord<TranscriptSegment> = true;
template <> constexpr bool isRecord<PlanElement> = true;
template <> constexpr bool isRecord<StoryboardPlan> = true;
template <> constexpr bool isRecord<ReviewChecklist> = true;
template <> constexpr bool isRecord<GeneratedFrame> = true;
template <> constexpr bool isRecord<StoryboardChunk> = true;
template <> constexpr bool isRecord<CharacterReference> = true;
template <> constexpr bool isRecord<StyleGuidance> = true;
template <> constexpr bool isRecord<DepthFlowSettings> = true;
template <> constexpr bool isRecord<ExportSettings> = true;
template <> constexpr bool isRecord<Project> = true;

// Fields in declaration order; `optional` leaves an absent value out.
template <typename W> void fields(W& w, const TranscriptSegment& s)
{
    w.field("id", s.id);
    w.field("text", s.text);
    w.field("start", s.start);
    w.field("end", s.end);
}

template <typename W> void fields(W& w, const PlanElement& e)
{
    w.field("id", e.id);
    w.field("type", e.type);
    w.field("continuityDescription", e.continuityDescription);
    w.field("textToImagePrompt", e.textToImagePrompt);
    w.optional("imageRemoteURL", e.imageRemoteURL);
    w.optional("imageLocalPath", e.imageLocalPath);
}

template <typename W> void fields(W& w, const StoryboardPlan& p)
{
    w.field("artDirectionStatement", p.artDirectionStatement);
    w.field("ideogramStylePreset", p.ideogramStylePreset);
    w.field("palette", p.palette);
    w.field("colorScheme", p.colorScheme);
    w.field("motif", p.motif);
    w.field("storyline", p.storyline);
    w.field("emotionalArc", p.emotionalArc);
    w.field("visualAnchor", p.visualAnchor);
    w.field("elements", p.elements);
    w.field("rawJSON", p.rawJSON);
}

template <typename W> void fields(W& w, const ReviewChecklist& r)
{
    w.field("spellingCorrect", r.spellingCorrect);
    w.field("readable", r.readable);
    w.field("placementOK", r.placementOK);
    w.field("characterConsistent", r.characterConsistent);
    w.field("styleContinuous", r.styleContinuous);
}

template <typename W> void fields(W& w, const GeneratedFrame& f)
{
    w.field("id", f.id);
    w.field("localPath", f.localPath);
    w.optional("remoteURL", f.remoteURL);
    w.field("prompt", f.prompt);
    w.optional("editRequest", f.editRequest);
    w.optional("motionClipPath", f.motionClipPath);
    w.field("review", f.review);
    w.field("createdAt", f.createdAt);
}

template <typename W> void fields(W& w, const StoryboardChunk& c)
{
    w.field("id", c.id);
    w.field("index", c.index);
    w.field("chunkNumber", c.chunkNumber);
    w.field("start", c.start);
    w.field("end", c.end);
    w.field("lyricExcerpt", c.lyricExcerpt);
    w.field("renderedText", c.renderedText);
    w.field("surface", c.surface);
    w.field("primaryCharacterInFrame", c.primaryCharacterInFrame);
    w.field("elementIdsUsed", c.elementIdsUsed);
    w.field("imagePrompt", c.imagePrompt);
    w.field("videoPrompt", c.videoPrompt);
    w.optional("characterID", c.characterID);
    w.optional("frame", c.frame);
    w.field("undoStack", c.undoStack);
    w.field("redoStack", c.redoStack);
}

template <typename W> void fields(W& w, const CharacterReference& c)
{
    w.field("id", c.id);
    w.field("name", c.name);
    w.field("notes", c.notes);
    w.field("referenceImagePaths", c.referenceImagePaths);
    w.optional("processedImageURL", c.processedImageURL);
    w.optional("processedImagePath", c.processedImagePath);
}

template <typename W> void fields(W& w, const StyleGuidance& s)
{
    w.field("paletteName", s.paletteName);
    w.field("mood", s.mood);
    w.field("medium", s.medium);
    w.field("negativePrompts", s.negativePrompts);
    w.field("continuityNotes", s.continuityNotes);
}

template <typename W> void fields(W& w, const DepthFlowSettings& m)
{
    w.field("intensity", m.intensity);
    w.field("zoom", m.zoom);
    w.field("durationSeconds", m.durationSeconds);
    w.field("fps", m.fps);
    w.field("loop", m.loop);
}

template <typename W> void fields(W& w, const ExportSettings& e)
{
    w.field("resolution", e.resolution);
    w.field("container", e.container);
    w.field("includeOriginalAudio", e.includeOriginalAudio);
    w.field("destinationFolder", e.destinationFolder);
}

template <typename W> void fields(W& w, const Project& p)
{
    w.field("id", p.id);
    w.field("title", p.title);
    w.field("artist", p.artist);
    w.field("audioPath", p.audioPath);
    w.field("rawLyrics", p.rawLyrics);
    w.field("transcript", p.transcript);
    w.optional("lyricsSource", p.lyricsSource);
    w.optional("transcriptionEngine", p.transcriptionEngine);
    w.optional("plan", p.plan);
    w.field("planImported", p.planImported);
    w.field("conceptPrompt", p.conceptPrompt);
    w.field("chunks", p.chunks);
    w.field("characters", p.characters);
    w.optional("primaryCharacterID", p.primaryCharacterID);
    w.field("style", p.style);
    w.field("motion", p.motion);
    w.field("export", p.exportSettings);
    w.field("createdAt", p.createdAt);
    w.field("updatedAt", p.updatedAt);
}

// ---- the tree writer: records as json::Json values

Json tree(const std::string& v, std::string_view) { return v; }
Json tree(const Uuid& v, std::string_view) { return v.text(); }
Json tree(Date v, std::string_view) { return formatIsoDate(v); }
Json tree(double v, std::string_view key) { return json::finite(v, key); }
Json tree(std::int64_t v, std::string_view) { return v; }
Json tree(bool v, std::string_view) { return v; }
Json tree(LyricsSource v, std::string_view) { return std::string(rawValue(v)); }
Json tree(ExportResolution v, std::string_view) { return std::string(rawValue(v)); }
Json tree(ExportContainer v, std::string_view) { return std::string(rawValue(v)); }
template <typename T> Json tree(const std::vector<T>& list, std::string_view key);
template <typename R> requires isRecord<R> Json tree(const R& record, std::string_view key);

class TreeWriter {
public:
    Json object = Json::object();

    template <typename T> void field(std::string_view key, const T& value)
    {
        object.get_ref<Json::object_t&>().emplace_hint(object.get_ref<Json::object_t&>().end(), std::string(key),
                                                       tree(value, key));
    }
    template <typename T> void optional(std::string_view key, const std::optional<T>& value)
    {
        if (value) field(key, *value);
    }
};

template <typename T> Json tree(const std::vector<T>& list, std::string_view key)
{
    Json out = Json::array();
    out.get_ref<Json::array_t&>().reserve(list.size());
    for (const auto& item : list) out.push_back(tree(item, key));
    return out;
}

template <typename R> requires isRecord<R> Json tree(const R& record, std::string_view)
{
    TreeWriter w;
    fields(w, record);
    return std::move(w.object);
}

// ---- the file writer: indented text straight from the records, keys sorted

class TextWriter {
public:
    std::string out;

    void newline()
    {
        out += '\n';
        out.append(static_cast<std::size_t>(depth_) * 2, ' ');
    }
    void open(char bracket) { out += bracket; ++depth_; }
    void close(char bracket)
    {
        --depth_;
        newline();
        out += bracket;
    }

    void string(std::string_view s)
    {
        // One pass over the common case: ASCII without characters that need escaping.
        std::size_t i = 0;
        bool ascii = true;
        for (; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c < 0x20 || c == '"' || c == '\\') break;
            ascii = ascii && c < 0x80;
        }
        if (i == s.size() && ascii) {
            out += '"';
            out += s;
            out += '"';
            return;
        }
        if (!text::isValidUtf8(s)) {
            // Rare: let the library replace the broken sequences, as the tree writer does.
            out += json::dump(Json(std::string(s)));
            return;
        }
        out += '"';
        std::size_t plain = 0;
        for (i = 0; i < s.size(); ++i) {
            const unsigned char c = static_cast<unsigned char>(s[i]);
            if (c >= 0x20 && c != '"' && c != '\\')
                continue;
            out.append(s.substr(plain, i - plain));
            plain = i + 1;
            switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default: {
                static constexpr char hex[] = "0123456789abcdef";
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            }
            }
        }
        out.append(s.substr(plain));
        out += '"';
    }

private:
    int depth_ = 0;
};

void emit(TextWriter& w, const std::string& v, std::string_view) { w.string(v); }
void emit(TextWriter& w, const Uuid& v, std::string_view)
{
    // Formatted in place: ids are the most frequent value in a document.
    static constexpr char hex[] = "0123456789ABCDEF";
    char text[38];
    std::size_t n = 0;
    text[n++] = '"';
    for (std::size_t i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text[n++] = '-';
        text[n++] = hex[v.bytes()[i] >> 4];
        text[n++] = hex[v.bytes()[i] & 0xF];
    }
    text[n++] = '"';
    w.out.append(text, n);
}
void emit(TextWriter& w, Date v, std::string_view) { w.string(formatIsoDate(v)); }
void emit(TextWriter& w, std::int64_t v, std::string_view)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, v);
    w.out.append(digits, result.ptr);
}
void emit(TextWriter& w, bool v, std::string_view) { w.out += v ? "true" : "false"; }
void emit(TextWriter& w, LyricsSource v, std::string_view) { w.string(rawValue(v)); }
void emit(TextWriter& w, ExportResolution v, std::string_view) { w.string(rawValue(v)); }
void emit(TextWriter& w, ExportContainer v, std::string_view) { w.string(rawValue(v)); }

void emit(TextWriter& w, double v, std::string_view key)
{
    json::finite(v, key);
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, v);
    (void)error; // 32 bytes hold any shortest double
    const std::string_view digits(buffer, static_cast<std::size_t>(end - buffer));
    w.out += digits;
    // Keep a number that was a double recognisable as one, like the tree writer's "4.0".
    if (digits.find_first_of(".e") == std::string_view::npos)
        w.out += ".0";
}

template <typename T> void emit(TextWriter& w, const std::vector<T>& list, std::string_view key);
template <typename R> requires isRecord<R> void emit(TextWriter& w, const R& record, std::string_view key);

template <typename T> void emitErased(TextWriter& w, const void* value, std::string_view key)
{
    emit(w, *static_cast<const T*>(value), key);
}

// Collects a record's fields so they can be written in key order.
class FieldCollector {
public:
    struct Entry {
        std::string_view key;
        const void* value;
        void (*emit)(TextWriter&, const void*, std::string_view);
    };
    std::array<Entry, 24> entries{};
    std::size_t count = 0;

    template <typename T> void field(std::string_view key, const T& value)
    {
        entries[count++] = Entry{key, &value, &emitErased<T>};
    }
    template <typename T> void optional(std::string_view key, const std::optional<T>& value)
    {
        if (value) field(key, *value);
    }
};

template <typename T> void emit(TextWriter& w, const std::vector<T>& list, std::string_view key)
{
    if (list.empty()) {
        w.out += "[]";
        return;
    }
    w.open('[');
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) w.out += ',';
        w.newline();
        emit(w, list[i], key);
    }
    w.close(']');
}

template <typename R> requires isRecord<R> void emit(TextWriter& w, const R& record, std::string_view)
{
    FieldCollector c;
    fields(c, record);
    const auto begin = c.entries.begin();
    const auto end = begin + static_cast<std::ptrdiff_t>(c.count);
    std::sort(begin, end, [](const auto& a, const auto& b) { return a.key < b.key; });
    if (c.count == 0) {
        w.out += "{}";
        return;
    }
    w.open('{');
    for (auto it = begin; it != end; ++it) {
        if (it != begin) w.out += ',';
        w.newline();
        w.out += '"';
        w.out += it->key;
        w.out += "\": ";
        it->emit(w, it->value, it->key);
    }
    w.close('}');
}

// ---- reading helpers

Uuid readUuid(const Json& value, std::string_view what)
{
    if (auto id = Uuid::parse(json::asString(value, what)))
        return *id;
    throw DecodeError(std::string(what) + ": not a UUID");
}

Date readDate(const Json& value, std::string_view what)
{
    if (auto date = parseIsoDate(json::asString(value, what)))
        return *date;
    throw DecodeError(std::string(what) + ": not an ISO 8601 date");
}

const Json& arrayOf(const Json& value, std::string_view what)
{
    if (!value.is_array())
        throw DecodeError(std::string(what) + ": expected an array");
    return value;
}

std::vector<std::string> readStringList(const Json& value, std::string_view what)
{
    std::vector<std::string> out;
    const Json& array = arrayOf(value, what);
    out.reserve(array.size());
    for (const Json& item : array) out.push_back(json::asString(item, what));
    return out;
}

template <typename T>
std::vector<T> readList(const Json& value, std::string_view what, T (*read)(const Json&))
{
    std::vector<T> out;
    const Json& array = arrayOf(value, what);
    out.reserve(array.size());
    for (const Json& item : array) out.push_back(read(item));
    return out;
}

} // namespace

// ---- writing

Json toJson(const TranscriptSegment& segment) { return tree(segment, "transcript segment"); }
Json toJson(const PlanElement& element) { return tree(element, "plan element"); }
Json toJson(const StoryboardPlan& plan) { return tree(plan, "plan"); }
Json toJson(const ReviewChecklist& review) { return tree(review, "review"); }
Json toJson(const GeneratedFrame& frame) { return tree(frame, "frame"); }
Json toJson(const StoryboardChunk& chunk) { return tree(chunk, "chunk"); }
Json toJson(const CharacterReference& character) { return tree(character, "character"); }
Json toJson(const StyleGuidance& style) { return tree(style, "style"); }
Json toJson(const DepthFlowSettings& motion) { return tree(motion, "motion"); }
Json toJson(const ExportSettings& exportSettings) { return tree(exportSettings, "export"); }
Json toJson(const Project& project) { return tree(project, "project"); }

std::string toIndentedJsonText(const Project& project)
{
    // Autosave writes the same project again and again; start at about its last size.
    static std::atomic<std::size_t> lastSize{64 * 1024};
    TextWriter w;
    w.out.reserve(lastSize.load(std::memory_order_relaxed) + 4096);
    emit(w, project, "project");
    lastSize.store(w.out.size(), std::memory_order_relaxed);
    return std::move(w.out);
}

// ---- reading: strict records

TranscriptSegment readTranscriptSegment(const Json& value)
{
    const ObjectReader r(value, "transcript segment");
    TranscriptSegment s;
    s.id = readUuid(r.required("id"), r.path("id"));
    s.text = r.string("text");
    s.start = r.number("start");
    s.end = r.number("end");
    return s;
}

PlanElement readPlanElement(const Json& value)
{
    const ObjectReader r(value, "plan element");
    PlanElement e;
    e.id = r.string("id");
    e.type = r.string("type");
    e.continuityDescription = r.string("continuityDescription");
    e.textToImagePrompt = r.string("textToImagePrompt");
    e.imageRemoteURL = r.optionalString("imageRemoteURL");
    e.imageLocalPath = r.optionalString("imageLocalPath");
    return e;
}

ReviewChecklist readReviewChecklist(const Json& value)
{
    const ObjectReader r(value, "review");
    ReviewChecklist c;
    c.spellingCorrect = r.boolean("spellingCorrect");
    c.readable = r.boolean("readable");
    c.placementOK = r.boolean("placementOK");
    c.characterConsistent = r.boolean("characterConsistent");
    c.styleContinuous = r.boolean("styleContinuous");
    return c;
}

GeneratedFrame readGeneratedFrame(const Json& value)
{
    const ObjectReader r(value, "frame");
    GeneratedFrame f;
    f.id = readUuid(r.required("id"), r.path("id"));
    f.localPath = r.string("localPath");
    f.remoteURL = r.optionalString("remoteURL");
    f.prompt = r.string("prompt");
    f.editRequest = r.optionalString("editRequest");
    f.motionClipPath = r.optionalString("motionClipPath");
    f.review = readReviewChecklist(r.required("review"));
    f.createdAt = readDate(r.required("createdAt"), r.path("createdAt"));
    return f;
}

CharacterReference readCharacterReference(const Json& value)
{
    const ObjectReader r(value, "character");
    CharacterReference c;
    c.id = readUuid(r.required("id"), r.path("id"));
    c.name = r.string("name");
    c.notes = r.string("notes");
    c.referenceImagePaths = readStringList(r.required("referenceImagePaths"), r.path("referenceImagePaths"));
    c.processedImageURL = r.optionalString("processedImageURL");
    c.processedImagePath = r.optionalString("processedImagePath");
    return c;
}

StyleGuidance readStyleGuidance(const Json& value)
{
    const ObjectReader r(value, "style");
    StyleGuidance s;
    s.paletteName = r.string("paletteName");
    s.mood = r.string("mood");
    s.medium = r.string("medium");
    s.negativePrompts = r.string("negativePrompts");
    s.continuityNotes = r.string("continuityNotes");
    return s;
}

DepthFlowSettings readDepthFlowSettings(const Json& value)
{
    const ObjectReader r(value, "motion");
    DepthFlowSettings m;
    m.intensity = r.number("intensity");
    m.zoom = r.number("zoom");
    m.durationSeconds = r.number("durationSeconds");
    m.fps = r.integer("fps");
    m.loop = r.boolean("loop");
    return m;
}

ExportSettings readExportSettings(const Json& value)
{
    const ObjectReader r(value, "export");
    ExportSettings e;
    const auto resolution = exportResolutionFromRaw(r.string("resolution"));
    if (!resolution) throw DecodeError("export.resolution: unknown value");
    e.resolution = *resolution;
    const auto container = exportContainerFromRaw(r.string("container"));
    if (!container) throw DecodeError("export.container: unknown value");
    e.container = *container;
    e.includeOriginalAudio = r.boolean("includeOriginalAudio");
    e.destinationFolder = r.string("destinationFolder");
    return e;
}

// ---- reading: tolerant records

StoryboardPlan readStoryboardPlan(const Json& value)
{
    const ObjectReader r(value, "plan");
    StoryboardPlan p;
    p.artDirectionStatement = r.stringOr("artDirectionStatement", "");
    p.ideogramStylePreset = r.stringOr("ideogramStylePreset", "");
    if (const Json* v = r.find("palette")) p.palette = readStringList(*v, "plan.palette");
    if (const Json* v = r.find("colorScheme")) p.colorScheme = readStringList(*v, "plan.colorScheme");
    p.motif = r.stringOr("motif", "");
    p.storyline = r.stringOr("storyline", "");
    p.emotionalArc = r.stringOr("emotionalArc", "");
    p.visualAnchor = r.stringOr("visualAnchor", "");
    if (const Json* v = r.find("elements")) p.elements = readList(*v, "plan.elements", &readPlanElement);
    p.rawJSON = r.stringOr("rawJSON", "");
    return p;
}

StoryboardChunk readStoryboardChunk(const Json& value)
{
    const ObjectReader r(value, "chunk");
    StoryboardChunk c;
    if (const Json* v = r.find("id")) c.id = readUuid(*v, "chunk.id");
    c.index = r.integerOr("index", 0);
    // Without its own number a chunk is numbered after its index; the largest index
    // has no successor, so it keeps its own value rather than overflowing.
    const std::int64_t nextNumber = c.index == std::numeric_limits<std::int64_t>::max() ? c.index : c.index + 1;
    c.chunkNumber = r.integerOr("chunkNumber", nextNumber);
    c.start = r.numberOr("start", 0);
    c.end = r.numberOr("end", 0);
    c.lyricExcerpt = r.stringOr("lyricExcerpt", "");
    c.renderedText = r.stringOr("renderedText", "");
    c.surface = r.stringOr("surface", "");
    c.primaryCharacterInFrame = r.booleanOr("primaryCharacterInFrame", false);
    if (const Json* v = r.find("elementIdsUsed")) c.elementIdsUsed = readStringList(*v, "chunk.elementIdsUsed");
    c.imagePrompt = r.stringOr("imagePrompt", "");
    c.videoPrompt = r.stringOr("videoPrompt", "");
    if (const Json* v = r.find("characterID")) c.characterID = readUuid(*v, "chunk.characterID");
    if (const Json* v = r.find("frame")) c.frame = readGeneratedFrame(*v);
    if (const Json* v = r.find("undoStack")) c.undoStack = readList(*v, "chunk.undoStack", &readGeneratedFrame);
    if (const Json* v = r.find("redoStack")) c.redoStack = readList(*v, "chunk.redoStack", &readGeneratedFrame);
    return c;
}

Project readProject(const Json& value, std::optional<Uuid> idWhenMissing)
{
    const ObjectReader r(value, "project");
    Project p;
    if (const Json* v = r.find("id")) p.id = readUuid(*v, "project.id");
    else if (idWhenMissing) p.id = *idWhenMissing;
    p.title = r.stringOr("title", "");
    p.artist = r.stringOr("artist", "");
    p.audioPath = r.stringOr("audioPath", "");
    p.rawLyrics = r.stringOr("rawLyrics", "");
    if (const Json* v = r.find("transcript")) p.transcript = readList(*v, "project.transcript", &readTranscriptSegment);
    if (const Json* v = r.find("lyricsSource")) {
        p.lyricsSource = lyricsSourceFromRaw(json::asString(*v, "project.lyricsSource"));
        if (!p.lyricsSource) throw DecodeError("project.lyricsSource: unknown value");
    }
    p.transcriptionEngine = r.optionalString("transcriptionEngine");
    if (const Json* v = r.find("plan")) p.plan = readStoryboardPlan(*v);
    p.planImported = r.booleanOr("planImported", false);
    p.conceptPrompt = r.stringOr("conceptPrompt", "");
    if (const Json* v = r.find("chunks")) p.chunks = readList(*v, "project.chunks", &readStoryboardChunk);
    if (const Json* v = r.find("characters"))
        p.characters = readList(*v, "project.characters", &readCharacterReference);
    if (const Json* v = r.find("primaryCharacterID")) p.primaryCharacterID = readUuid(*v, "project.primaryCharacterID");
    if (const Json* v = r.find("style")) p.style = readStyleGuidance(*v);
    if (const Json* v = r.find("motion")) p.motion = readDepthFlowSettings(*v);
    if (const Json* v = r.find("export")) p.exportSettings = readExportSettings(*v);
    p.createdAt = r.has("createdAt") ? readDate(r.required("createdAt"), "project.createdAt") : currentDate();
    p.updatedAt = r.has("updatedAt") ? readDate(r.required("updatedAt"), "project.updatedAt") : currentDate();
    return p;
}

} // namespace vl
