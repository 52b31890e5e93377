#include "StoreHarness.h"

#include "model/MediaLibrary.h"
#include "pipeline/FramePrompt.h"

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::testing;

namespace {

constexpr const char* kFrameWorkflow = "workflows/brindlecove/lyric-video-frames-character";

struct Frames : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;

    void SetUp() override { h.storedKey = kTestKey; }

    // A project of `count` chunks, each showing a character the vendor already has.
    void makeStore(int count)
    {
        Project project = ProjectStore::defaultNewProject();
        project.characters = {processedCharacter(h.vendor.url("/media/mara.png"))};
        for (int i = 1; i <= count; ++i)
            project.chunks.push_back(plannedChunk(i, "line " + std::to_string(i)));
        store = h.make(project);
    }

    std::size_t submits() const { return h.vendor.requests(fakes::Route::submit).size(); }
};

} // namespace

TEST_F(Frames, ABatchKeepsAtMostTwelveRequestsInFlight)
{
    makeStore(30);
    for (int i = 0; i < 30; ++i)
        h.vendor.scriptNextJob({{}, std::nullopt, true});
    PublishedLog log(*store);
    store->generateMissingFrames();
    EXPECT_EQ(store->runningTask(), std::optional<std::string>("Generating 30 frames"));
    EXPECT_EQ(store->taskProgress(), std::optional<double>(0.0));

    ASSERT_TRUE(waitUntil([&] { return submits() == 12; }));
    spin(150);
    EXPECT_EQ(submits(), 12u) << "the thirteenth waits for a free place";

    // Each completion makes room for exactly one more.
    for (int done = 1; done <= 18; ++done) {
        h.vendor.release("req-" + std::to_string(done));
        ASSERT_TRUE(waitUntil([&] { return submits() == 12u + done; })) << done;
        spin(done == 1 ? 150 : 10);
        ASSERT_EQ(submits(), 12u + done) << "after " << done << " completions";
    }
    h.vendor.releaseAll();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));

    EXPECT_EQ(store->project().framedCount(), 30u);
    EXPECT_FALSE(store->runningTask());
    EXPECT_FALSE(store->taskProgress());
    EXPECT_FALSE(store->lastError());
    EXPECT_TRUE(log.showed("Generating frames (1/30)"));
    EXPECT_TRUE(log.showed("Generating frames (30/30)"));
    for (const auto& chunk : store->project().chunks) {
        ASSERT_TRUE(chunk.frame);
        EXPECT_EQ(std::filesystem::path(chunk.frame->localPath).filename().string(),
                  chunk.id.text() + "_" + chunk.frame->id.text() + ".png");
        EXPECT_TRUE(std::filesystem::exists(chunk.frame->localPath));
    }
}

TEST_F(Frames, FailuresAreSummedUpByChunkNumber)
{
    makeStore(4);
    // Chunk 3 shows nothing the vendor could use as a reference.
    store->editProject([](Project& p) { p.chunks[2].primaryCharacterInFrame = false; });
    PublishedLog log(*store);
    store->generateMissingFrames();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(store->lastError(), std::optional<std::string>("1 frame failed (3). Retry from the Frames tab."));
    ASSERT_GE(log.progress.size(), 2u);
    EXPECT_EQ(log.progress[log.progress.size() - 2], std::optional<double>(0.75)) << "only successes move the bar";
    EXPECT_FALSE(log.progress.back());
    EXPECT_TRUE(log.showed("Generating frames (4/4)"));
    EXPECT_EQ(store->project().framedCount(), 3u);

    // A retry takes only what is missing.
    const auto sent = submits();
    store->editProject([](Project& p) { p.chunks[2].primaryCharacterInFrame = true; });
    store->generateMissingFrames();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(submits(), sent + 1);
    EXPECT_FALSE(store->lastError());

    // Nothing missing: no label, the banner stays.
    PublishedLog idle(*store);
    store->setLastError("kept");
    store->generateMissingFrames();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(idle.labels.empty());
    EXPECT_EQ(store->lastError(), std::optional<std::string>("kept"));
}

TEST_F(Frames, AnElementFailureStaysReadableThroughTheBatch)
{
    makeStore(2);
    StoryboardPlan plan;
    PlanElement logo;
    logo.id = "logo";
    plan.elements = {logo};
    store->editProject([&](Project& p) { p.plan = plan; });
    const std::string elementSummary = "Couldn't render 1 element (logo). Tap \u201CRender elements\u201D to retry.";

    struct Case {
        const char* name;
        bool frameFails;
        std::string banner;
    };
    const Case cases[] = {
        {"frames all made", false, elementSummary},
        {"a frame failed too", true, elementSummary + " 1 frame failed (2). Retry from the Frames tab."},
    };
    for (const auto& c : cases) {
        store->editProject([&](Project& p) {
            for (auto& chunk : p.chunks)
                chunk.frame.reset();
            p.chunks[1].primaryCharacterInFrame = !c.frameFails;
        });
        // Elements render first, one at a time, so the first job is the logo's.
        h.vendor.scriptNextJob({{fakes::FakeVendor::status("FAILED")}, std::nullopt, false});
        store->generateMissingFrames();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;
        ASSERT_TRUE(waitUntil([&] { return !store->runningTask(); })) << c.name;
        EXPECT_EQ(store->lastError(), std::optional<std::string>(c.banner)) << c.name;
        EXPECT_EQ(store->project().framedCount(), c.frameFails ? 1u : 2u) << c.name;
    }
}

TEST_F(Frames, OnlyTheElementsOwnFailureIsCarriedIntoTheBatch)
{
    makeStore(2);
    StoryboardPlan plan;
    PlanElement logo;
    logo.id = "logo";
    plan.elements = {logo};
    const std::string otherBanner = "This frame has no reference image yet. Render the storyboard elements first.";

    struct Case {
        const char* name;
        bool frameFails;
        std::optional<std::string> banner;
    };
    const Case cases[] = {
        {"frames all made", false, std::nullopt},
        {"a frame failed", true, "1 frame failed (2). Retry from the Frames tab."},
    };
    for (const auto& c : cases) {
        store->editProject([&](Project& p) {
            p.plan = plan;
            for (auto& chunk : p.chunks)
                chunk.frame.reset();
            p.chunks[1].primaryCharacterInFrame = !c.frameFails;
        });
        const std::size_t before = submits();
        h.vendor.scriptNextJob({{}, std::nullopt, true});
        store->generateMissingFrames();
        ASSERT_TRUE(waitUntil([&] { return submits() == before + 1; })) << c.name;
        // While the element renders, another operation's error comes up; the element
        // itself then renders fine.
        store->setLastError(otherBanner);
        h.vendor.release(h.vendor.lastRequestID());
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;
        ASSERT_TRUE(waitUntil([&] { return !store->runningTask(); })) << c.name;
        EXPECT_EQ(store->lastError(), c.banner) << c.name;
        EXPECT_EQ(store->project().framedCount(), c.frameFails ? 1u : 2u) << c.name;
    }
}

TEST_F(Frames, ReferencesComeCharacterFirstEachOnce)
{
    makeStore(1);
    const std::string character = h.vendor.url("/media/mara.png");
    const std::string kite = h.vendor.url("/media/kite.png");
    StoryboardPlan plan;
    plan.ideogramStylePreset = "JAZZY";
    auto element = [](std::string id, std::optional<std::string> url) {
        PlanElement e;
        e.id = std::move(id);
        e.imageRemoteURL = std::move(url);
        return e;
    };
    plan.elements = {element("kite", kite), element("portrait", character), element("unrendered", std::nullopt)};
    store->editProject([&](Project& p) {
        p.plan = plan;
        p.chunks[0].elementIdsUsed = {"kite", "unrendered", "nowhere", "portrait"};
    });

    struct Case {
        const char* name;
        bool characterInFrame;
        nlohmann::json references;
    };
    const Case cases[] = {
        {"character first, the element repeating it dropped", true, nlohmann::json::array({character, kite})},
        {"elements alone, in the chunk's order", false, nlohmann::json::array({kite, character})},
    };
    for (const auto& c : cases) {
        store->editProject([&](Project& p) { p.chunks[0].primaryCharacterInFrame = c.characterInFrame; });
        store->generateFrame(store->project().chunks[0].id);
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        const auto bodies = h.submitted(kFrameWorkflow);
        ASSERT_FALSE(bodies.empty());
        EXPECT_EQ(bodies.back()["reference_image_urls"], c.references) << c.name;
        EXPECT_EQ(bodies.back()["style_preset"], "JAZZY") << c.name;
    }
}

TEST_F(Frames, ThePromptIsTheChunksOwnOrTheFramePromptWithoutCharacter)
{
    makeStore(1);
    struct Case {
        const char* name;
        std::string imagePrompt;
    };
    const Case cases[] = {{"blanks are a prompt of their own", "   "}, {"empty: the frame prompt", ""}};
    for (const auto& c : cases) {
        store->editProject([&](Project& p) { p.chunks[0].imagePrompt = c.imagePrompt; });
        const StoryboardChunk chunk = store->project().chunks[0];
        store->generateFrame(chunk.id);
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        const std::string expected =
            c.imagePrompt.empty() ? framePrompt(chunk, store->project().style, nullptr) : c.imagePrompt;
        EXPECT_EQ(h.submitted(kFrameWorkflow).back()["image_prompt"], expected) << c.name;
        EXPECT_EQ(h.submitted(kFrameWorkflow).back()["style_preset"], "") << c.name << ": no plan, no preset";
        EXPECT_EQ(store->project().chunks[0].frame->prompt, expected) << c.name;
    }
}

TEST_F(Frames, OneFrameKeepsTheOldOneOnTheUndoStack)
{
    makeStore(1);
    store->editProject([](Project& p) { p.chunks[0].chunkNumber = 7; });
    const Uuid id = store->project().chunks[0].id;

    PublishedLog log(*store);
    store->generateFrameById(QString::fromStdString(id.text()));
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(log.showed("Generating frame 7"));
    const GeneratedFrame first = *store->project().chunks[0].frame;
    EXPECT_EQ(first.remoteURL, std::optional<std::string>(h.vendor.defaultImageURL()));
    EXPECT_FALSE(first.editRequest);
    EXPECT_EQ(std::filesystem::path(first.localPath).parent_path(),
              ProjectLibrary(h.projectsRoot(), h.settings).library(store->project().id).root() / "frames");

    store->editProject([&](Project& p) { p.chunks[0].redoStack = {frameAt("redo.png")}; });
    store->generateFrame(id);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    const auto& chunk = store->project().chunks[0];
    EXPECT_NE(chunk.frame->id, first.id);
    EXPECT_EQ(chunk.undoStack, std::vector<GeneratedFrame>{first});
    EXPECT_TRUE(chunk.redoStack.empty());
    EXPECT_TRUE(std::filesystem::exists(first.localPath)) << "the old picture's file stays";

    // No such chunk: the label names number 0 and nothing is sent.
    const auto sent = submits();
    PublishedLog unknown(*store);
    store->generateFrame(Uuid::random());
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(unknown.showed("Generating frame 0"));
    EXPECT_EQ(submits(), sent);
    EXPECT_FALSE(store->lastError());
}

TEST_F(Frames, AResultPictureThatDoesNotDecodeIsRefusedAtOnce)
{
    makeStore(1);
    const Uuid id = store->project().chunks[0].id;
    const std::string png = fakes::FakeVendor::pngBytes();
    // Cut inside the header, and cut inside the pixels (the header still reads).
    for (const std::string& bytes : {png.substr(0, 20), png.substr(0, 45)}) {
        h.vendor.serveFile("/media/frame.png", fakes::Reply::text(bytes, 200, "image/png"));
        store->generateFrame(id);
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        EXPECT_EQ(store->lastError(),
                  std::optional<std::string>("The picture from the generation service is damaged or incomplete."));
        EXPECT_FALSE(store->project().chunks[0].frame);
        const auto frames = ProjectLibrary(h.projectsRoot(), h.settings).library(store->project().id).root() / "frames";
        EXPECT_TRUE(!std::filesystem::exists(frames) || std::filesystem::is_empty(frames));
    }
}

TEST_F(Frames, WithoutReferencesNothingIsSent)
{
    makeStore(1);
    store->editProject([](Project& p) { p.chunks[0].primaryCharacterInFrame = false; });
    store->generateFrame(store->project().chunks[0].id);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(store->lastError(),
              std::optional<std::string>("This frame has no reference image yet. Render the storyboard elements first."));
    EXPECT_EQ(h.vendor.requestCount(), 0u);
}

TEST_F(Frames, ABatchDeliversOnlyToTheProjectItStartedIn)
{
    makeStore(14);
    Project other = store->project();
    other.id = Uuid::random(); // the same chunks under another project
    ProjectLibrary(h.projectsRoot(), h.settings).save(other);
    for (int i = 0; i < 14; ++i)
        h.vendor.scriptNextJob({{}, std::nullopt, true});

    store->generateMissingFrames();
    ASSERT_TRUE(waitUntil([&] { return submits() == 12; }));
    store->openProject(other.id);
    h.vendor.releaseAll();
    ASSERT_TRUE(waitUntil([&] { return !store->runningTask(); }));
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));

    EXPECT_EQ(store->project().id, other.id);
    EXPECT_EQ(store->project().framedCount(), 0u);
    EXPECT_EQ(submits(), 12u) << "no request starts for a project that is no longer open";
    EXPECT_FALSE(store->lastError());
}
