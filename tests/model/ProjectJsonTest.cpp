#include "ModelFixtures.h"

#include "model/Files.h"
#include "model/ProjectJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

using namespace vl;
using vl::json::Json;

namespace {

Project read(const char* text) { return readProject(json::parse(text)); }

// A minimal valid instance of each strict record, to break one key at a time.
const char* kFrame =
    R"({"id":"3F2504E0-4F89-11D3-9A0C-0305E82C3301","localPath":"a.png","prompt":"p","createdAt":"2026-01-02T03:04:05Z",)"
    R"("review":{"spellingCorrect":true,"readable":true,"placementOK":false,"characterConsistent":false,"styleContinuous":true}})";

Json withKey(const char* base, const char* key, Json value)
{
    Json j = json::parse(base);
    if (value.is_discarded()) j.erase(key);
    else j[key] = std::move(value);
    return j;
}

const Json kRemove = Json(Json::value_t::discarded);

} // namespace

TEST(ProjectJson, FullProjectRoundTrips)
{
    const Project p = fixtures::fullProject();
    const Json j = toJson(p);
    EXPECT_EQ(readProject(j), p);
    EXPECT_TRUE(j.contains("export"));
    EXPECT_FALSE(j.contains("exportSettings"));
    EXPECT_EQ(j["export"]["resolution"], "4K");
    EXPECT_EQ(j["export"]["container"], "MOV (ProRes)");
    EXPECT_EQ(j["lyricsSource"], "embeddedMismatch");
    EXPECT_EQ(j["id"], p.id.text());
    EXPECT_EQ(j["updatedAt"], "2023-11-14T22:16:40Z");
    EXPECT_EQ(j["chunks"][0]["undoStack"].size(), 1u);
    EXPECT_EQ(j["chunks"][0]["redoStack"].size(), 1u);
    EXPECT_EQ(j["plan"]["colorScheme"], Json({"#112233", "#abc"}));
}

TEST(ProjectJson, FileTextMatchesTheTreeDump)
{
    // The file writer skips the tree for speed; it must still write the same document.
    Project p = fixtures::fullProject();
    p.title = "quote \" backslash \\ tab \t bell \x07 nul " + std::string(1, '\0') + " del \x7f \u00e9 \U0001F3B5";
    p.artist = "broken \xC3\x28 utf-8 \xFF";
    p.transcript.at(0).start = 0.1;
    p.transcript.at(0).end = 1e-7;
    p.transcript.at(1).start = -0.0;
    p.transcript.at(1).end = 1e300;
    p.chunks.at(0).start = 4.0;
    p.chunks.at(0).end = 123456789.125;
    p.chunks.at(0).index = std::numeric_limits<std::int64_t>::min();
    p.motion.zoom = 2.5e-300;
    for (const Project& q : {p, Project{}}) {
        const std::string text = toIndentedJsonText(q);
        EXPECT_EQ(text, json::dump(toJson(q), 2));
        EXPECT_NO_THROW(json::parse(text));
    }
    const Project full = fixtures::fullProject();
    EXPECT_EQ(readProject(json::parse(toIndentedJsonText(full))), full);
}

TEST(ProjectJson, ASavedDocumentWritesBackByteForByte)
{
    // A project.json as saving writes it, with every record, optional present and
    // absent, escapes, extreme numbers and empty lists: reading it and writing it
    // again must give the same bytes, or every saved project changes at its next save.
    const std::string saved = files::readAll(VL_FIXTURES_DIR "/model/rich-project.json");
    const Project p = readProject(json::parse(saved));
    EXPECT_EQ(toIndentedJsonText(p), saved);
    EXPECT_EQ(json::dump(toJson(p), 2), saved);
}

TEST(ProjectJson, AbsentOptionalsAreLeftOutNeverNull)
{
    const Project p; // no optional value present
    const Json j = toJson(p);
    for (const char* key : {"lyricsSource", "transcriptionEngine", "plan", "primaryCharacterID"})
        EXPECT_FALSE(j.contains(key)) << key;
    for (const char* key : {"title", "transcript", "chunks", "characters", "conceptPrompt", "style", "motion"})
        EXPECT_TRUE(j.contains(key)) << key;

    const Json chunk = toJson(StoryboardChunk{});
    EXPECT_FALSE(chunk.contains("characterID"));
    EXPECT_FALSE(chunk.contains("frame"));
    const Json frame = toJson(GeneratedFrame{});
    for (const char* key : {"remoteURL", "editRequest", "motionClipPath"}) EXPECT_FALSE(frame.contains(key)) << key;
    const Json character = toJson(CharacterReference{});
    EXPECT_FALSE(character.contains("processedImageURL"));
    EXPECT_FALSE(toJson(PlanElement{}).contains("imageLocalPath"));

    EXPECT_EQ(toJson(ExportSettings{}),
              json::parse(R"j({"resolution":"1080p","container":"MP4 (H.264)","includeOriginalAudio":true,"destinationFolder":""})j"));
}

TEST(ProjectJson, NonFiniteNumbersAreAnEncodingError)
{
    const double bad[] = {std::nan(""), HUGE_VAL, -HUGE_VAL};
    const std::function<void(Project&, double)> setters[] = {
        [](Project& p, double v) { p.transcript.at(0).end = v; },
        [](Project& p, double v) { p.chunks.at(0).start = v; },
        [](Project& p, double v) { p.chunks.at(0).end = v; },
        [](Project& p, double v) { p.motion.intensity = v; },
        [](Project& p, double v) { p.motion.zoom = v; },
        [](Project& p, double v) { p.motion.durationSeconds = v; },
    };
    for (double v : bad) {
        for (std::size_t i = 0; i < std::size(setters); ++i) {
            Project p = fixtures::fullProject();
            setters[i](p, v);
            EXPECT_THROW(toJson(p), json::EncodeError) << "setter " << i << " value " << v;
            EXPECT_THROW(toIndentedJsonText(p), json::EncodeError) << "setter " << i << " value " << v;
        }
    }
}

TEST(ProjectJson, EmptyDocumentTakesEveryDefault)
{
    const auto before = currentDate();
    const Project a = read("{}");
    const Project b = read("{}");
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.title, "");
    EXPECT_TRUE(a.transcript.empty());
    EXPECT_FALSE(a.plan);
    EXPECT_FALSE(a.planImported);
    EXPECT_EQ(a.style, StyleGuidance{});
    EXPECT_EQ(a.style.paletteName, "Acid & Coral");
    EXPECT_EQ(a.motion, (DepthFlowSettings{0.5, 0.15, 4.0, 30, true}));
    EXPECT_EQ(a.exportSettings, (ExportSettings{ExportResolution::p1080, ExportContainer::mp4, true, ""}));
    EXPECT_GE(a.createdAt, before);
    EXPECT_LE(a.updatedAt, currentDate());
}

TEST(ProjectJson, NullKeysReadAsAbsentAndStayOutWhenWritten)
{
    const Project p = read(R"({"lyricsSource":null,"plan":null,"primaryCharacterID":null,"title":null,
                                "style":null,"chunks":null,"transcriptionEngine":null,"id":null})");
    EXPECT_FALSE(p.lyricsSource);
    EXPECT_FALSE(p.plan);
    EXPECT_FALSE(p.primaryCharacterID);
    EXPECT_EQ(p.style, StyleGuidance{});
    const Json j = toJson(p);
    EXPECT_FALSE(j.contains("lyricsSource"));
    EXPECT_FALSE(j.contains("plan"));
    EXPECT_FALSE(j.contains("primaryCharacterID"));
}

TEST(ProjectJson, IdFallsBackToTheGivenFolderId)
{
    const Uuid folder = Uuid::random();
    EXPECT_EQ(readProject(json::parse("{}"), folder).id, folder);
    EXPECT_EQ(readProject(json::parse(R"({"id":null})"), folder).id, folder);
    const Project own = readProject(json::parse(R"({"id":"3f2504e0-4f89-11d3-9a0c-0305e82c3301"})"), folder);
    EXPECT_EQ(own.id.text(), "3F2504E0-4F89-11D3-9A0C-0305E82C3301");
}

TEST(ProjectJson, TolerantRecordsTakeDefaultsPerKey)
{
    const StoryboardPlan plan = readStoryboardPlan(json::parse("{}"));
    EXPECT_EQ(plan, StoryboardPlan{});

    struct Case { const char* json; std::int64_t index, number; };
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const Case cases[] = {
        {"{}", 0, 1},
        {R"({"index":4})", 4, 5},
        {R"({"index":4,"chunkNumber":9})", 4, 9},
        {R"({"chunkNumber":9})", 0, 9},
        {R"({"index":4,"chunkNumber":null})", 4, 5},
        {R"({"index":9223372036854775807})", max, max}, // no successor: kept, never wrapped
    };
    for (const auto& c : cases) {
        const StoryboardChunk chunk = readStoryboardChunk(json::parse(c.json));
        EXPECT_EQ(chunk.index, c.index) << c.json;
        EXPECT_EQ(chunk.chunkNumber, c.number) << c.json;
    }
    const StoryboardChunk empty = readStoryboardChunk(json::parse("{}"));
    EXPECT_FALSE(empty.frame);
    EXPECT_TRUE(empty.undoStack.empty() && empty.redoStack.empty());
    EXPECT_EQ(empty.start, 0);
    EXPECT_NE(empty.id, readStoryboardChunk(json::parse("{}")).id);

    // Missing settings objects take the whole default record.
    EXPECT_EQ(read(R"({"style":{"paletteName":"x","mood":"m","medium":"d","negativePrompts":"n","continuityNotes":"c"}})")
                  .style.paletteName,
              "x");
}

TEST(ProjectJson, ReadingFailsOnWrongOrIncompleteValues)
{
    const char* style = R"({"paletteName":"x","mood":"m","medium":"d","negativePrompts":"n","continuityNotes":"c"})";
    const char* motion = R"({"intensity":0.5,"zoom":0.15,"durationSeconds":4,"fps":30,"loop":true})";
    const char* exportSettings = R"j({"resolution":"4K","container":"MOV (ProRes)","includeOriginalAudio":true,"destinationFolder":""})j";
    const char* segment = R"({"id":"3F2504E0-4F89-11D3-9A0C-0305E82C3301","text":"t","start":0,"end":1})";
    const char* element = R"({"id":"e","type":"t","continuityDescription":"c","textToImagePrompt":"p"})";
    const char* character = R"({"id":"3F2504E0-4F89-11D3-9A0C-0305E82C3301","name":"n","notes":"","referenceImagePaths":[]})";

    // Sanity: the unbroken records read.
    ASSERT_NO_THROW(readStyleGuidance(json::parse(style)));
    ASSERT_NO_THROW(readDepthFlowSettings(json::parse(motion)));
    ASSERT_EQ(readExportSettings(json::parse(exportSettings)).resolution, ExportResolution::p2160);
    ASSERT_NO_THROW(readTranscriptSegment(json::parse(segment)));
    ASSERT_NO_THROW(readPlanElement(json::parse(element)));
    ASSERT_NO_THROW(readCharacterReference(json::parse(character)));
    ASSERT_NO_THROW(readGeneratedFrame(json::parse(kFrame)));

    struct Case { const char* name; Json project; };
    const auto in = [](const char* key, Json value) { Json j = Json::object(); j[key] = std::move(value); return j; };
    const auto inList = [&](const char* key, Json value) { return in(key, Json::array({std::move(value)})); };
    const auto chunkWith = [&](const char* key, Json value) { return inList("chunks", in(key, std::move(value))); };
    const Case cases[] = {
        {"top level is an array", json::parse("[]")},
        {"number as title", in("title", 5)},
        {"object as chunks", in("chunks", Json::object())},
        {"string as planImported", in("planImported", "true")},
        {"unknown lyrics source", in("lyricsSource", "Manual")},
        {"id not a UUID", in("id", "{3F2504E0-4F89-11D3-9A0C-0305E82C3301}")},
        {"date with offset", in("updatedAt", "2026-01-02T03:04:05+01:00")},
        {"date as number", in("createdAt", 1700000000)},
        {"style with only paletteName", in("style", json::parse(R"({"paletteName":"x"})"))},
        {"motion without loop", in("motion", withKey(motion, "loop", kRemove))},
        {"motion with null loop", in("motion", withKey(motion, "loop", nullptr))},
        {"fps with a fraction", in("motion", withKey(motion, "fps", 29.97))},
        {"fps beyond 64 bits", in("motion", withKey(motion, "fps", json::parse("18446744073709551615")))},
        {"loop as 1", in("motion", withKey(motion, "loop", 1))},
        {"resolution in lower case", in("export", withKey(exportSettings, "resolution", "4k"))},
        {"resolution as case name", in("export", withKey(exportSettings, "resolution", "p2160"))},
        {"container part of a raw value", in("export", withKey(exportSettings, "container", "MOV"))},
        {"segment without end", inList("transcript", withKey(segment, "end", kRemove))},
        {"segment time as text", inList("transcript", withKey(segment, "start", "0:12"))},
        {"null segment", inList("transcript", nullptr)},
        {"element without type", in("plan", inList("elements", withKey(element, "type", kRemove)))},
        {"palette with a number", in("plan", in("palette", Json::array({"a", 1})))},
        {"character without notes", inList("characters", withKey(character, "notes", kRemove))},
        {"frame without review", chunkWith("frame", withKey(kFrame, "review", kRemove))},
        {"review without readable",
         chunkWith("frame", withKey(kFrame, "review", withKey(json::dump(json::parse(kFrame)["review"]).c_str(),
                                                              "readable", kRemove)))},
        {"bad frame on the undo stack", chunkWith("undoStack", Json::array({withKey(kFrame, "id", "x")}))},
        {"chunk index as text", chunkWith("index", "3")},
        {"chunk index beyond 64 bits", chunkWith("index", json::parse("18446744073709551615"))},
        {"chunk start as boolean", chunkWith("start", true)},
    };
    for (const auto& c : cases)
        EXPECT_THROW(readProject(c.project), json::DecodeError) << c.name;
}
