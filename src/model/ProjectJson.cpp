#include "model/ProjectJson.h"

#include <limits>
#include <string>

namespace vl {

using json::DecodeError;
using json::Json;
using json::ObjectReader;

namespace {

// ---- writing helpers

Json stringList(const std::vector<std::string>& list)
{
    Json out = Json::array();
    for (const auto& s : list) out.push_back(s);
    return out;
}

template <typename T>
Json recordList(const std::vector<T>& list)
{
    Json out = Json::array();
    for (const auto& item : list) out.push_back(toJson(item));
    return out;
}

template <typename T>
void putOptional(Json& out, const char* key, const std::optional<T>& value)
{
    if (value) out[key] = *value;
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

std::optional<std::string> readOptionalString(const ObjectReader& r, std::string_view key)
{
    return r.optionalString(key);
}

} // namespace

// ---- writing

Json toJson(const TranscriptSegment& segment)
{
    Json out = Json::object();
    out["id"] = segment.id.text();
    out["text"] = segment.text;
    out["start"] = json::finite(segment.start, "transcript segment start");
    out["end"] = json::finite(segment.end, "transcript segment end");
    return out;
}

Json toJson(const PlanElement& element)
{
    Json out = Json::object();
    out["id"] = element.id;
    out["type"] = element.type;
    out["continuityDescription"] = element.continuityDescription;
    out["textToImagePrompt"] = element.textToImagePrompt;
    putOptional(out, "imageRemoteURL", element.imageRemoteURL);
    putOptional(out, "imageLocalPath", element.imageLocalPath);
    return out;
}

Json toJson(const StoryboardPlan& plan)
{
    Json out = Json::object();
    out["artDirectionStatement"] = plan.artDirectionStatement;
    out["ideogramStylePreset"] = plan.ideogramStylePreset;
    out["palette"] = stringList(plan.palette);
    out["colorScheme"] = stringList(plan.colorScheme);
    out["motif"] = plan.motif;
    out["storyline"] = plan.storyline;
    out["emotionalArc"] = plan.emotionalArc;
    out["visualAnchor"] = plan.visualAnchor;
    out["elements"] = recordList(plan.elements);
    out["rawJSON"] = plan.rawJSON;
    return out;
}

Json toJson(const ReviewChecklist& review)
{
    Json out = Json::object();
    out["spellingCorrect"] = review.spellingCorrect;
    out["readable"] = review.readable;
    out["placementOK"] = review.placementOK;
    out["characterConsistent"] = review.characterConsistent;
    out["styleContinuous"] = review.styleContinuous;
    return out;
}

Json toJson(const GeneratedFrame& frame)
{
    Json out = Json::object();
    out["id"] = frame.id.text();
    out["localPath"] = frame.localPath;
    putOptional(out, "remoteURL", frame.remoteURL);
    out["prompt"] = frame.prompt;
    putOptional(out, "editRequest", frame.editRequest);
    putOptional(out, "motionClipPath", frame.motionClipPath);
    out["review"] = toJson(frame.review);
    out["createdAt"] = formatIsoDate(frame.createdAt);
    return out;
}

Json toJson(const StoryboardChunk& chunk)
{
    Json out = Json::object();
    out["id"] = chunk.id.text();
    out["index"] = chunk.index;
    out["chunkNumber"] = chunk.chunkNumber;
    out["start"] = json::finite(chunk.start, "chunk start");
    out["end"] = json::finite(chunk.end, "chunk end");
    out["lyricExcerpt"] = chunk.lyricExcerpt;
    out["renderedText"] = chunk.renderedText;
    out["surface"] = chunk.surface;
    out["primaryCharacterInFrame"] = chunk.primaryCharacterInFrame;
    out["elementIdsUsed"] = stringList(chunk.elementIdsUsed);
    out["imagePrompt"] = chunk.imagePrompt;
    out["videoPrompt"] = chunk.videoPrompt;
    if (chunk.characterID) out["characterID"] = chunk.characterID->text();
    if (chunk.frame) out["frame"] = toJson(*chunk.frame);
    out["undoStack"] = recordList(chunk.undoStack);
    out["redoStack"] = recordList(chunk.redoStack);
    return out;
}

Json toJson(const CharacterReference& character)
{
    Json out = Json::object();
    out["id"] = character.id.text();
    out["name"] = character.name;
    out["notes"] = character.notes;
    out["referenceImagePaths"] = stringList(character.referenceImagePaths);
    putOptional(out, "processedImageURL", character.processedImageURL);
    putOptional(out, "processedImagePath", character.processedImagePath);
    return out;
}

Json toJson(const StyleGuidance& style)
{
    Json out = Json::object();
    out["paletteName"] = style.paletteName;
    out["mood"] = style.mood;
    out["medium"] = style.medium;
    out["negativePrompts"] = style.negativePrompts;
    out["continuityNotes"] = style.continuityNotes;
    return out;
}

Json toJson(const DepthFlowSettings& motion)
{
    Json out = Json::object();
    out["intensity"] = json::finite(motion.intensity, "motion intensity");
    out["zoom"] = json::finite(motion.zoom, "motion zoom");
    out["durationSeconds"] = json::finite(motion.durationSeconds, "motion durationSeconds");
    out["fps"] = motion.fps;
    out["loop"] = motion.loop;
    return out;
}

Json toJson(const ExportSettings& exportSettings)
{
    Json out = Json::object();
    out["resolution"] = std::string(rawValue(exportSettings.resolution));
    out["container"] = std::string(rawValue(exportSettings.container));
    out["includeOriginalAudio"] = exportSettings.includeOriginalAudio;
    out["destinationFolder"] = exportSettings.destinationFolder;
    return out;
}

Json toJson(const Project& project)
{
    Json out = Json::object();
    out["id"] = project.id.text();
    out["title"] = project.title;
    out["artist"] = project.artist;
    out["audioPath"] = project.audioPath;
    out["rawLyrics"] = project.rawLyrics;
    out["transcript"] = recordList(project.transcript);
    if (project.lyricsSource) out["lyricsSource"] = std::string(rawValue(*project.lyricsSource));
    putOptional(out, "transcriptionEngine", project.transcriptionEngine);
    if (project.plan) out["plan"] = toJson(*project.plan);
    out["planImported"] = project.planImported;
    out["conceptPrompt"] = project.conceptPrompt;
    out["chunks"] = recordList(project.chunks);
    out["characters"] = recordList(project.characters);
    if (project.primaryCharacterID) out["primaryCharacterID"] = project.primaryCharacterID->text();
    out["style"] = toJson(project.style);
    out["motion"] = toJson(project.motion);
    out["export"] = toJson(project.exportSettings);
    out["createdAt"] = formatIsoDate(project.createdAt);
    out["updatedAt"] = formatIsoDate(project.updatedAt);
    return out;
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
    e.imageRemoteURL = readOptionalString(r, "imageRemoteURL");
    e.imageLocalPath = readOptionalString(r, "imageLocalPath");
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
    f.remoteURL = readOptionalString(r, "remoteURL");
    f.prompt = r.string("prompt");
    f.editRequest = readOptionalString(r, "editRequest");
    f.motionClipPath = readOptionalString(r, "motionClipPath");
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
    c.processedImageURL = readOptionalString(r, "processedImageURL");
    c.processedImagePath = readOptionalString(r, "processedImagePath");
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
