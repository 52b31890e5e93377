#include "StoreHarness.h"

#include "fakes/VendorReplies.h"
#include "model/PipelineError.h"
#include "model/PlanLimits.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <fstream>
#include <limits>
#include <sys/stat.h>

using namespace vl;
using namespace vl::testing;

namespace {

constexpr const char* kPlanWorkflow = "workflows/brindlecove/lyric-video-planner-character";

// A planner answer with the storyboard one level down, as the workflow wraps it.
fakes::Reply plannerAnswer(const nlohmann::json& frames)
{
    return fakes::replies::workflowOutput({{"frames", frames}, {"motif", "paper boats"}, {"ideogramStylePreset", "JAZZY"}});
}

struct Planning : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;

    void SetUp() override
    {
        h.storedKey = kTestKey;
        Project project = ProjectStore::defaultNewProject();
        project.artist = "The Marker Kids";
        project.transcript = {{Uuid::random(), "hello", 12.04, 15.56}, {Uuid::random(), "goodbye", 170.0, 183.5}};
        project.characters = {processedCharacter(h.vendor.url("/media/mara.png"))};
        project.style.continuityNotes = "red jacket";
        store = h.make(project);
    }

    void planAndWait()
    {
        store->planStoryboard();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    }
};

} // namespace

TEST_F(Planning, SendsTheTimedTranscriptLengthGuidanceAndCharacter)
{
    h.vendor.scriptNextJob({{}, plannerAnswer({{{"chunkNumber", 1}, {"renderedText", "HI"}}}), false});
    store->setSelectedStage(PipelineStage::storyboard);
    planAndWait();

    const auto bodies = h.submitted(kPlanWorkflow);
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0]["artist"], "The Marker Kids");
    EXPECT_EQ(bodies[0]["duration_seconds"], "184") << "a whole number, as text";
    EXPECT_EQ(bodies[0]["transcript"], "[12.0-15.6] hello\n[170.0-183.5] goodbye");
    EXPECT_EQ(bodies[0]["style_guidance"], "red jacket") << "no concept: the continuity notes";
    EXPECT_EQ(bodies[0]["image_urls"], nlohmann::json::array({h.vendor.url("/media/mara.png")}));
    EXPECT_TRUE(h.vendor.requests(fakes::Route::fileUpload).empty()) << "a processed picture needs no upload";

    EXPECT_FALSE(store->lastError());
    ASSERT_TRUE(store->project().plan);
    EXPECT_EQ(store->project().plan->motif, "paper boats");
    ASSERT_EQ(store->project().chunks.size(), 1u);
    EXPECT_EQ(store->project().chunks[0].renderedText, "HI");
    EXPECT_FALSE(store->project().planImported);
    EXPECT_EQ(store->selectedStage(), PipelineStage::storyboard) << "planning leaves the stage alone";
}

TEST_F(Planning, TheConceptWinsOverTheContinuityNotes)
{
    store->editProject([](Project& p) { p.conceptPrompt = " night swim "; });
    planAndWait();
    const auto bodies = h.submitted(kPlanWorkflow);
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0]["style_guidance"], " night swim ");
}

TEST_F(Planning, PreconditionsFailBeforeAnythingIsSent)
{
    const std::string lyrics = "Add lyrics before planning the storyboard.";
    const std::string character = "Add a character with a reference image before planning \u2014 the plan is built around it.";
    CharacterReference bare;
    bare.name = "Nobody";
    CharacterReference emptyProcessed = bare;
    emptyProcessed.processedImageURL = "";
    struct Case {
        const char* name;
        std::function<void(Project&)> change;
        std::string banner;
    };
    const Case cases[] = {
        {"lyrics but no timed transcript", [](Project& p) { p.rawLyrics = "la la"; p.transcript.clear(); }, lyrics},
        {"no character", [](Project& p) { p.characters.clear(); }, character},
        {"a character without pictures", [&](Project& p) { p.characters = {bare}; }, character},
        {"an empty processed address and no pictures", [&](Project& p) { p.characters = {emptyProcessed}; }, character},
    };
    for (const auto& c : cases) {
        auto before = store->project();
        store->editProject(c.change);
        const auto planned = store->project();
        planAndWait();
        EXPECT_EQ(store->lastError(), std::optional<std::string>(c.banner)) << c.name;
        EXPECT_EQ(store->project().chunks, planned.chunks) << c.name;
        store->setProject(before);
    }
    EXPECT_EQ(h.vendor.requestCount(), 0u);
}

TEST_F(Planning, AnAnswerWithoutChunksLeavesTheStoryboardAlone)
{
    store->editProject([](Project& p) { p.chunks = {plannedChunk(1)}; });
    const auto before = store->project();
    h.vendor.scriptNextJob({{}, fakes::replies::workflowOutput("no storyboard today"), false});
    planAndWait();
    EXPECT_EQ(store->lastError(),
              std::optional<std::string>("The planner returned no frames. Check the transcript and try again."));
    EXPECT_EQ(store->project().chunks, before.chunks);
    EXPECT_EQ(store->project().plan, before.plan);
}

TEST_F(Planning, APlannerAnswerBeyondThePlanBoundsIsRefused)
{
    store->editProject([](Project& p) { p.chunks = {plannedChunk(1)}; });
    const auto before = store->project();
    nlohmann::json frames = nlohmann::json::array();
    for (std::size_t i = 0; i <= kMaxPlanChunks; ++i)
        frames.push_back({{"chunkNumber", i + 1}});
    h.vendor.scriptNextJob({{}, plannerAnswer(frames), false});
    planAndWait();
    EXPECT_EQ(store->lastError(), std::optional<std::string>("That plan has 2001 chunks; a plan may have at most 2000."));
    EXPECT_EQ(store->project().chunks, before.chunks);
    EXPECT_EQ(store->project().plan, before.plan);
}

TEST(PlannerInput, NumbersAreFiniteAndLocaleFree)
{
    // A desktop in a comma-decimal locale must still send full stops.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<TranscriptSegment> transcript = {
        {Uuid::random(), "a", 12.04, 15.56}, {Uuid::random(), "b", 0.05, 0.25}, {Uuid::random(), "", std::nan(""), inf}};
    EXPECT_EQ(ProjectStore::plannerTranscript(transcript), "[12.0-15.6] a\n[0.1-0.2] b\n[0.0-0.0] ") << german;
    std::setlocale(LC_NUMERIC, saved.c_str());

    struct Case {
        double duration;
        long long seconds;
    };
    const Case cases[] = {{183.5, 184}, {0, 0}, {184.49, 184}, {std::nan(""), 0}, {inf, 0}, {-inf, 0}, {1e300, 1000000000000000}};
    for (const auto& c : cases)
        EXPECT_EQ(ProjectStore::plannerDurationSeconds(c.duration), c.seconds) << c.duration;
    EXPECT_EQ(ProjectStore::plannerTranscript({}), "");
}

TEST(PlanMerge, PicturesFollowTheirChunksByNumberThenByExcerpt)
{
    auto framed = [](std::int64_t number, std::string excerpt, std::string picture) {
        StoryboardChunk chunk = plannedChunk(number, std::move(excerpt));
        chunk.undoStack = {frameAt(picture + "-old")};
        chunk.redoStack = {frameAt(picture + "-redo")};
        chunk.frame = frameAt(std::move(picture));
        return chunk;
    };
    auto picture = [](const StoryboardChunk& c) { return c.frame ? c.frame->localPath : std::string("-"); };

    struct Case {
        const char* name;
        std::vector<StoryboardChunk> current;
        std::vector<StoryboardChunk> parsed;
        std::vector<std::string> pictures;
    };
    const Case cases[] = {
        {"by number, then a new number by its excerpt",
         {framed(1, "one", "A"), framed(2, "two", "B"), framed(3, "three", "C")},
         {plannedChunk(1, "x"), plannedChunk(2, "y"), plannedChunk(7, "three")},
         {"A", "B", "C"}},
        {"of two chunks with one number only the first lends",
         {framed(1, "one", "A"), framed(1, "uno", "B")},
         {plannedChunk(1, "uno")},
         {"A"}},
        {"a partner by number without a frame blocks the excerpt",
         {plannedChunk(1, "one"), framed(2, "same", "B")},
         {plannedChunk(1, "same")},
         {"-"}},
        {"no partner: nothing", {framed(1, "one", "A")}, {plannedChunk(4, "four")}, {"-"}},
    };
    for (const auto& c : cases) {
        const auto merged = ProjectStore::mergeChunks(c.current, c.parsed);
        std::vector<std::string> pictures;
        for (const auto& chunk : merged)
            pictures.push_back(picture(chunk));
        EXPECT_EQ(pictures, c.pictures) << c.name;
        for (std::size_t i = 0; i < merged.size(); ++i) {
            EXPECT_EQ(merged[i].id, c.parsed[i].id) << c.name << ": the new chunk keeps its own id";
            EXPECT_EQ(merged[i].lyricExcerpt, c.parsed[i].lyricExcerpt) << c.name;
            if (merged[i].frame) {
                EXPECT_EQ(merged[i].undoStack.size(), 1u) << c.name;
                EXPECT_EQ(merged[i].redoStack.size(), 1u) << c.name;
            }
        }
    }
}

namespace {

struct PlanImport : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store = h.make(ProjectStore::defaultNewProject());

    // Imports are read and checked on a worker; waits until the result has landed.
    void settle() { ASSERT_TRUE(StoreHarness::waitForIdle(*store)); }
};

const char* kPlan = R"({"frames": [{"chunkNumber": 1, "lyricExcerpt": "one"}, {"chunkNumber": 2}],
                        "motif": "kites"})";

} // namespace

TEST_F(PlanImport, FailuresNameTheirCauseAndChangeNothing)
{
    struct Case {
        const char* name;
        std::string text;
        std::string bannerStart;
    };
    const Case cases[] = {
        {"prose before the JSON", std::string("Here is the plan: ") + kPlan,
         "Could not read that plan JSON: expected a JSON value at line 1, column 1."},
        {"a JSON array", "[1, 2]", "That isn't a JSON object."},
        {"an empty chunk list", R"({"frames": []})", "The planner returned no frames. Check the transcript and try again."},
        {"bytes that are not UTF-8", "{\"motif\": \"\xff\"}", "The text could not be read."},
    };
    for (const auto& c : cases) {
        store->setSelectedStage(PipelineStage::intake);
        const auto before = store->project();
        store->applyPlanText(c.text);
        settle();
        ASSERT_TRUE(store->lastError()) << c.name;
        EXPECT_TRUE(store->lastError()->starts_with(c.bannerStart)) << c.name << ": " << *store->lastError();
        EXPECT_EQ(store->project(), before) << c.name;
        EXPECT_EQ(store->selectedStage(), PipelineStage::intake) << c.name;
    }
}

TEST_F(PlanImport, ASuccessfulImportOpensTheFramesStage)
{
    store->editProject([](Project& p) {
        p.chunks = {plannedChunk(2, "old two")};
        p.chunks[0].frame = frameAt("two.png");
    });
    store->setLastError("old banner");
    store->applyPlan(kPlan);
    settle();
    EXPECT_FALSE(store->lastError());
    EXPECT_EQ(store->selectedStage(), PipelineStage::frames);
    const Project& p = store->project();
    EXPECT_TRUE(p.planImported);
    ASSERT_TRUE(p.plan);
    EXPECT_EQ(p.plan->motif, "kites");
    ASSERT_EQ(p.chunks.size(), 2u);
    EXPECT_FALSE(p.chunks[0].frame);
    ASSERT_TRUE(p.chunks[1].frame) << "chunk 2 keeps its picture";
    EXPECT_EQ(p.chunks[1].frame->localPath, "two.png");
}

TEST_F(PlanImport, FromTheClipboard)
{
    const std::string empty = "The clipboard is empty \u2014 copy the plan JSON first.";
    struct Case {
        const char* name;
        std::optional<std::string> content;
        std::optional<std::string> bannerStart;
    };
    const Case cases[] = {
        {"no text", std::nullopt, empty},
        {"empty text", std::string(), empty},
        {"a single space goes to the import", std::string(" "), std::string("Could not read that plan JSON: ")},
        {"more than a plan may hold", std::string(kMaxPlanBytes + 1, ' '),
         std::string("That plan is larger than 8 MB.")},
        {"a plan", std::string(kPlan), std::nullopt},
    };
    for (const auto& c : cases) {
        h.clipboard.setText(c.content);
        store->setLastError(std::nullopt);
        store->importPlanFromClipboard();
        settle();
        if (c.bannerStart) {
            ASSERT_TRUE(store->lastError()) << c.name;
            EXPECT_TRUE(store->lastError()->starts_with(*c.bannerStart)) << c.name << ": " << *store->lastError();
        } else {
            EXPECT_FALSE(store->lastError()) << c.name;
            EXPECT_EQ(store->project().chunks.size(), 2u) << c.name;
        }
    }

    StoreContext noClipboard = h.context();
    noClipboard.clipboard = nullptr;
    ProjectStore bare(ProjectStore::defaultNewProject(), {}, noClipboard);
    bare.importPlanFromClipboard();
    EXPECT_EQ(bare.lastError(), std::optional<std::string>(empty));
}

TEST_F(PlanImport, FromAFile)
{
    const auto file = h.folder.path() / "plan.json";
    std::ofstream(file) << kPlan;
    store->importPlanFromFile(file.string());
    settle();
    EXPECT_FALSE(store->lastError());
    EXPECT_EQ(store->project().chunks.size(), 2u);

    store->importPlanFromFile(""); // the picker was cancelled
    settle();
    EXPECT_FALSE(store->lastError());

    store->importPlanFromFile((h.folder.path() / "missing.json").string());
    settle();
    ASSERT_TRUE(store->lastError());
    EXPECT_TRUE(store->lastError()->starts_with("Could not read that file: ")) << *store->lastError();
    EXPECT_EQ(store->project().chunks.size(), 2u);
}

TEST_F(PlanImport, OnlyAPlainFileUnderTheCapIsRead)
{
    // Each of these once froze the window: a FIFO for good, a device or a huge file
    // while it was read whole. Each is refused before a byte is read, and says why.
    const auto folder = h.folder.path() / "plans";
    std::filesystem::create_directories(folder / "a folder.json");
    const auto fifo = folder / "fifo.json";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto huge = folder / "huge.json";
    std::ofstream(huge) << "{}";
    std::filesystem::resize_file(huge, kMaxPlanBytes + 1); // sparse: nothing is written

    struct Case {
        const char* name;
        std::filesystem::path file;
        std::string banner;
    };
    const Case cases[] = {
        {"a folder", folder / "a folder.json", "Could not read that file: it is a folder."},
        {"a FIFO", fifo, "Could not read that file: it is not a plain file."},
        {"an endless device", "/dev/zero", "Could not read that file: it is not a plain file."},
        {"a file over the cap", huge, "Could not read that file: it is larger than 8 MB."},
        {"a missing file", folder / "missing.json", "Could not read that file: No such file or directory."},
    };
    for (const auto& c : cases) {
        store->setLastError(std::nullopt);
        const auto before = store->project();
        store->importPlanFromFile(c.file.string());
        settle();
        EXPECT_EQ(store->lastError(), std::optional<std::string>(c.banner)) << c.name;
        EXPECT_EQ(store->project(), before) << c.name;
    }
}

TEST_F(PlanImport, APlanBeyondItsBoundsNeverReachesTheProject)
{
    // A one-second song: times are checked against its real length.
    const auto song = h.song("song.wav", 1.0);
    ASSERT_FALSE(song.empty());
    store->editProject([&](Project& p) { p.audioPath = song.string(); });

    auto chunks = [](std::size_t count, double end) {
        nlohmann::json list = nlohmann::json::array();
        for (std::size_t i = 0; i < count; ++i)
            list.push_back({{"chunkNumber", i + 1}, {"startTime", 0}, {"endTime", end}});
        return list;
    };
    struct Case {
        const char* name;
        nlohmann::json plan;
        std::optional<std::string> banner; // none: accepted
    };
    const Case cases[] = {
        {"times within the song and its slack", {{"frames", chunks(3, 1.0 + kPlanTimeSlackSeconds)}}, std::nullopt},
        {"a time far past the song", {{"frames", chunks(1, 1e308)}},
         "That plan's chunk 1 is timed at 1e+308 s, outside the song (0 to 1 s)."},
        {"a negative time", {{"frames", {{{"chunkNumber", 4}, {"startTime", -2}}}}},
         "That plan's chunk 4 is timed at -2 s, outside the song (0 to 1 s)."},
        {"too many chunks", {{"frames", chunks(kMaxPlanChunks + 1, 0.5)}},
         "That plan has 2001 chunks; a plan may have at most 2000."},
        {"a text too long", {{"frames", {{{"chunkNumber", 2}, {"imagePrompt", std::string(kMaxPlanTextBytes + 1, 'a')}}}}},
         "That plan's chunk 2 image prompt is longer than 8192 bytes."},
    };
    for (const auto& c : cases) {
        store->editProject([](Project& p) { p.chunks.clear(); p.plan.reset(); });
        store->setLastError(std::nullopt);
        store->applyPlan(c.plan.dump());
        settle();
        EXPECT_EQ(store->lastError(), c.banner) << c.name;
        EXPECT_EQ(store->project().chunks.empty(), c.banner.has_value()) << c.name;
    }

    // Text beyond the cap is refused before it is parsed at all.
    store->applyPlanText(std::string(kMaxPlanBytes + 1, ' '));
    settle();
    EXPECT_EQ(store->lastError(), std::optional<std::string>("That plan is larger than 8 MB."));
}
