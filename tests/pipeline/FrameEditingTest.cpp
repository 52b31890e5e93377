#include "StoreHarness.h"

#include "fakes/PictureBytes.h"
#include "model/MediaLibrary.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace vl;
using namespace vl::testing;

namespace {

constexpr const char* kEditWorkflow = "workflows/brindlecove/lyric-video-edit-frame";

struct FrameEditing : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;
    Uuid chunkID;

    void SetUp() override
    {
        h.storedKey = kTestKey;
        Project project = ProjectStore::defaultNewProject();
        project.characters = {processedCharacter(h.vendor.url("/media/mara.png"))};
        StoryboardChunk chunk = plannedChunk(7);
        chunk.index = 0;
        chunk.frame = frameAt("generated.png", h.vendor.defaultImageURL());
        chunk.frame->prompt = "the generated prompt";
        chunkID = chunk.id;
        project.chunks = {chunk};
        store = h.make(project);
    }

    const StoryboardChunk& chunk() const { return store->project().chunks[0]; }

    std::string picture(const std::string& name) { return h.picture(name); }
};

} // namespace

TEST_F(FrameEditing, EditUndoRedoAndANewFrameAfterUndo)
{
    const GeneratedFrame generated = *chunk().frame;
    PublishedLog log(*store);
    store->editFrameById(QString::fromStdString(chunkID.text()), "  make it night \n");
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(log.showed("Editing frame 1")) << "the position on screen, not chunk number 7";
    const auto bodies = h.submitted(kEditWorkflow);
    ASSERT_EQ(bodies.size(), 1u);
    EXPECT_EQ(bodies[0]["frame_to_edit"], nlohmann::json::array({h.vendor.defaultImageURL()}));
    EXPECT_EQ(bodies[0]["users_edit_request"], "make it night");

    const GeneratedFrame edited = *chunk().frame;
    EXPECT_EQ(edited.editRequest, std::optional<std::string>("make it night"));
    EXPECT_EQ(edited.prompt, "the generated prompt");
    EXPECT_EQ(chunk().undoStack, std::vector<GeneratedFrame>{generated});

    store->undoFrameEdit(chunkID);
    EXPECT_EQ(chunk().frame, generated);
    EXPECT_EQ(chunk().redoStack, std::vector<GeneratedFrame>{edited});
    store->redoFrameEdit(chunkID);
    EXPECT_EQ(chunk().frame, edited);
    EXPECT_TRUE(chunk().redoStack.empty());

    store->undoFrameEdit(chunkID);
    store->generateFrame(chunkID);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(chunk().redoStack.empty()) << "a new frame after undo drops the redo side";
    EXPECT_EQ(chunk().undoStack, std::vector<GeneratedFrame>{generated});

    // Stepping past either end, or on an unknown chunk, only stamps the project.
    store->redoFrameEdit(chunkID);
    store->undoFrameEdit(Uuid::random());
    EXPECT_EQ(chunk().undoStack, std::vector<GeneratedFrame>{generated});
}

TEST_F(FrameEditing, EditsThatCannotBeSent)
{
    struct Case {
        const char* name;
        std::function<void(Project&)> change;
        std::string instruction;
        std::optional<std::string> banner;
    };
    const std::string noSource = "This frame has no source URL to edit. Regenerate it first.";
    const Case cases[] = {
        {"blank instruction", [](Project&) {}, " \n\t ", std::nullopt},
        {"no frame", [](Project& p) { p.chunks[0].frame.reset(); }, "brighter", std::nullopt},
        {"no address", [](Project& p) { p.chunks[0].frame->remoteURL.reset(); }, "brighter", noSource},
        {"an empty address", [](Project& p) { p.chunks[0].frame->remoteURL = ""; }, "brighter", noSource},
    };
    const Project start = store->project();
    for (const auto& c : cases) {
        store->setProject(start);
        store->editProject(c.change);
        PublishedLog log(*store);
        store->editFrame(chunkID, c.instruction);
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        EXPECT_EQ(store->lastError(), c.banner) << c.name;
        EXPECT_TRUE(log.labels.empty()) << c.name;
    }
    EXPECT_EQ(h.vendor.requestCount(), 0u);
}

TEST_F(FrameEditing, ImportedPicturesBecomeTheFrame)
{
    struct Case {
        const char* name;
        std::string file;
        std::string extension;
    };
    const Case cases[] = {{"capital extension", "Photo.JPG", ".jpg"}, {"no extension", "scan", ".png"}};
    for (const auto& c : cases) {
        const GeneratedFrame previous = *chunk().frame;
        store->setLastError("old");
        store->importFrameImageAt(QString::fromStdString(picture(c.file)), QString::fromStdString(chunkID.text()));
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        EXPECT_FALSE(store->lastError()) << c.name;
        const GeneratedFrame& frame = *chunk().frame;
        EXPECT_EQ(frame.prompt, "Imported image") << c.name;
        EXPECT_FALSE(frame.remoteURL) << c.name;
        const std::filesystem::path copy = frame.localPath;
        EXPECT_EQ(copy.filename().string(), chunkID.text() + "_" + frame.id.text() + c.extension) << c.name;
        EXPECT_EQ(copy.parent_path(),
                  ProjectLibrary(h.projectsRoot(), h.settings).library(store->project().id).root() / "frames");
        EXPECT_EQ(files::readAll(copy), fakes::FakeVendor::pngBytes()) << c.name;
        EXPECT_EQ(chunk().undoStack.back(), previous) << c.name;
    }

    // An imported picture has no address the edit workflow could fetch.
    store->editFrame(chunkID, "brighter");
    EXPECT_EQ(store->lastError(),
              std::optional<std::string>("This frame has no source URL to edit. Regenerate it first."));

    const auto frameBefore = chunk().frame;
    store->importFrameImage((h.folder.path() / "missing.png").string(), chunkID);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    ASSERT_TRUE(store->lastError());
    EXPECT_TRUE(store->lastError()->starts_with("Could not import that image: ")) << *store->lastError();
    EXPECT_EQ(chunk().frame, frameBefore);

    const auto count = store->project().chunks.size();
    store->setLastError(std::nullopt);
    store->importFrameImage(picture("stray.png"), Uuid::random());
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_FALSE(store->lastError());
    EXPECT_EQ(store->project().chunks.size(), count);
}

TEST_F(FrameEditing, APictureThatCannotBeUsedIsRefusedAtImport)
{
    const auto frameBefore = chunk().frame;
    const auto frames = ProjectLibrary(h.projectsRoot(), h.settings).library(store->project().id).root() / "frames";
    const std::string png = fakes::FakeVendor::pngBytes();
    const std::pair<std::string, std::string> cases[] = {
        {png.substr(0, 20), "is damaged or incomplete."},
        {"just some text", "is not a PNG, JPEG or WebP picture."},
        {vl::testing::dicomAbort(), "is not a PNG, JPEG or WebP picture."},
        {vl::testing::pngClaiming(20000, 20000), "is too large (20000 \u00d7 20000 pixels); pictures may have at most 100 megapixels."},
        // Known by their headers, but their pixels never decode.
        {png.substr(0, png.size() - 20), "is damaged or incomplete."},
        {vl::testing::pngClaiming(9000, 9000), "is damaged or incomplete."},
    };
    for (const auto& [bytes, reason] : cases) {
        const auto file = h.folder.path() / "chosen.png";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
        store->setLastError(std::nullopt);
        store->importFrameImage(file.string(), chunkID);
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        ASSERT_TRUE(store->lastError());
        EXPECT_EQ(*store->lastError(), "Could not import that image: The picture \u201cchosen.png\u201d " + reason)
            << *store->lastError();
        EXPECT_EQ(chunk().frame, frameBefore);
        EXPECT_TRUE(!std::filesystem::exists(frames) || std::filesystem::is_empty(frames));
    }
}

TEST_F(FrameEditing, ImagePromptAndRegeneratingThePlan)
{
    store->setImagePromptById("  as typed ", QString::fromStdString(chunkID.text()));
    EXPECT_EQ(chunk().imagePrompt, "  as typed ");

    store->editProject([](Project& p) {
        p.title = "Kept";
        p.rawLyrics = "kept lyrics";
        p.audioPath = "/music/song.mp3";
        p.plan = StoryboardPlan{};
        p.transcript = {{Uuid::random(), "line", 0, 1}};
        p.primaryCharacterID = p.characters[0].id;
        p.style.continuityNotes = "kept notes";
    });
    const auto path = picture("ref.png");
    store->uploadedImageURL(path, store->makeFalClient(), {});
    store->setSelectedStage(PipelineStage::frames);
    store->setLastError("banner");

    store->regeneratePlan();
    const Project& p = store->project();
    EXPECT_FALSE(p.plan);
    EXPECT_TRUE(p.chunks.empty());
    EXPECT_TRUE(p.characters.empty());
    EXPECT_FALSE(p.primaryCharacterID);
    EXPECT_TRUE(p.transcript.empty());
    EXPECT_EQ(p.title, "Kept");
    EXPECT_EQ(p.rawLyrics, "kept lyrics");
    EXPECT_EQ(p.audioPath, "/music/song.mp3");
    EXPECT_EQ(p.style.continuityNotes, "kept notes");
    EXPECT_EQ(store->selectedStage(), PipelineStage::intake);
    EXPECT_FALSE(store->lastError());
    EXPECT_EQ(store->assetURLCache().size(), 0u) << "pictures go up again after a new start";
}

TEST_F(FrameEditing, TheCallerHearsOnceWhenAnEditIsOverHoweverItEnded)
{
    struct Case {
        const char* name;
        std::function<void(Project&)> change;
        std::string instruction;
        bool vendorFails;
        bool newFrame;
        bool banner;
    };
    const Case cases[] = {
        {"edited", [](Project&) {}, "make it night", false, true, false},
        {"vendor fails", [](Project&) {}, "make it night", true, false, true},
        {"blank instruction", [](Project&) {}, "\n\n", false, false, false},
        {"no address", [](Project& p) { p.chunks[0].frame->remoteURL.reset(); }, "brighter", false, false, true},
        {"no frame", [](Project& p) { p.chunks[0].frame.reset(); }, "brighter", false, false, false},
    };
    const Project start = store->project();
    for (const auto& c : cases) {
        store->setProject(start);
        store->editProject(c.change);
        store->setLastError(std::nullopt);
        if (c.vendorFails)
            h.vendor.inject(fakes::Route::submit, fakes::Reply::text("overloaded", 500));
        const auto before = chunk().frame;
        int calls = 0;
        bool busyWhenCalled = true;
        std::optional<GeneratedFrame> frameWhenCalled;
        store->editFrame(chunkID, c.instruction, [&] {
            ++calls;
            busyWhenCalled = store->isBusy();
            frameWhenCalled = chunk().frame;
        });
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_FALSE(busyWhenCalled) << c.name << ": the run is over when the caller hears of it";
        EXPECT_EQ(frameWhenCalled != before, c.newFrame) << c.name << ": the result is in place by then";
        EXPECT_EQ(store->lastError().has_value(), c.banner) << c.name;
    }
}
