#include "app/AppFixtures.h"
#include "screens/frames/FrameEditSheetModel.h"
#include "screens/frames/FramePromptSheetModel.h"
#include "screens/frames/FrameViewerSheetModel.h"
#include "screens/frames/LightboxController.h"

#include <QFile>
#include <QQuickWindow>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::screens;
using vl::testing::HeldOperation;
using vl::testing::kTestKey;
using vl::testing::StoreHarness;

namespace {

// One project with four chunks, the first numbered 7 and generated at the vendor,
// the second imported from a file, the third without a frame, the fourth edited.
struct FrameSheets : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;
    Uuid generated, imported, unframed, edited;

    void SetUp() override
    {
        h.storedKey = kTestKey;
        Project project = vl::testing::projectWithChunks(4, 0);
        // The frame workflow needs a picture of someone or something to start from.
        project.characters = {vl::testing::processedCharacter(h.vendor.url("/media/mara.png"))};
        auto& chunks = project.chunks;
        for (auto& c : chunks)
            c.primaryCharacterInFrame = true;
        chunks[0].chunkNumber = 7;
        chunks[0].imagePrompt = "a neon harbour at night";
        chunks[0].frame = vl::testing::frameAt(h.picture("generated.png"), h.vendor.defaultImageURL());
        chunks[1].frame = vl::testing::frameAt(h.picture("imported.png"));
        chunks[3].frame = vl::testing::frameAt(h.picture("edited.png"), h.vendor.defaultImageURL());
        chunks[3].frame->editRequest = "make it night";
        chunks[3].undoStack = {vl::testing::frameAt(h.picture("older.png")), vl::testing::frameAt(h.picture("old.png"))};
        generated = chunks[0].id;
        imported = chunks[1].id;
        unframed = chunks[2].id;
        edited = chunks[3].id;
        store = h.make(project);
    }

    void TearDown() override { LightboxController::dismiss(); }

    template <typename Model>
    std::unique_ptr<Model> model(const Uuid& chunkID)
    {
        auto m = std::make_unique<Model>();
        m->setStore(store.get());
        m->setChunkID(QString::fromStdString(chunkID.text()));
        return m;
    }

    const StoryboardChunk& chunk(const Uuid& id) const { return *store->project().chunk(id); }

    std::vector<std::string> imagePromptsSent() const
    {
        std::vector<std::string> prompts;
        for (const auto& r : h.vendor.requests(fakes::Route::submit)) {
            const auto body = nlohmann::json::parse(r.body);
            if (body.contains("image_prompt"))
                prompts.push_back(body["image_prompt"].get<std::string>());
        }
        return prompts;
    }
};

} // namespace

TEST_F(FrameSheets, SendingNeedsTextOtherThanSpacesAndAnIdleStore)
{
    auto m = model<FrameEditSheetModel>(generated);
    struct Case {
        const char* name;
        QString text;
        bool canSend;
    };
    const Case cases[] = {
        {"empty", "", false},
        {"spaces and a tab", "  \t", false},
        {"an em space", QString::fromUtf8("\u2003"), false},
        {"a line break", "\n", true},
        {"padded words", " a ", true},
    };
    for (const auto& c : cases) {
        m->setText(c.text);
        EXPECT_EQ(m->canSend(), c.canSend) << c.name;
    }

    QSignalSpy canSendChanged(m.get(), &FrameEditSheetModel::canSendChanged);
    HeldOperation op(*store, "Generating 3 frames");
    EXPECT_FALSE(m->canSend()) << "any running operation holds sending back";
    EXPECT_FALSE(m->canUndo());
    EXPECT_GE(canSendChanged.count(), 1);
    m->send();
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(m->canSend());
    EXPECT_TRUE(h.vendor.requests(fakes::Route::submit).empty()) << "nothing was sent while busy";
}

TEST_F(FrameSheets, ReturnSendsAndShiftOrAltReturnIsLeftToTheField)
{
    struct Case {
        const char* name;
        Qt::KeyboardModifiers modifiers;
        bool taken; // sent, and no new line for the field
    };
    const Case cases[] = {
        {"plain Return", Qt::NoModifier, true},
        {"keypad Enter", Qt::KeypadModifier, true},
        {"Ctrl+Return", Qt::ControlModifier, true},
        {"Shift+Return", Qt::ShiftModifier, false},
        {"Alt+Return", Qt::AltModifier, false},
        {"Ctrl+Shift+Return", Qt::ControlModifier | Qt::ShiftModifier, false},
    };
    for (const auto& c : cases) {
        auto m = model<FrameEditSheetModel>(generated);
        m->setText("make the sky orange");
        const auto before = h.vendor.requests(fakes::Route::submit).size();
        EXPECT_EQ(m->returnPressed(static_cast<int>(c.modifiers)), c.taken) << c.name;
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;
        EXPECT_EQ(h.vendor.requests(fakes::Route::submit).size(), before + (c.taken ? 1 : 0)) << c.name;
        EXPECT_EQ(m->text().isEmpty(), c.taken) << c.name << ": a sent instruction clears the field";
    }
    // Nothing to send: Return is still taken, so it never adds a line, and sends nothing.
    auto m = model<FrameEditSheetModel>(generated);
    m->setText("   ");
    const auto before = h.vendor.requests(fakes::Route::submit).size();
    EXPECT_TRUE(m->returnPressed(Qt::NoModifier));
    EXPECT_EQ(h.vendor.requests(fakes::Route::submit).size(), before);
}

TEST_F(FrameSheets, TheViewerIsTitledByItsFrameOrPlainlyOnceTheChunkIsGone)
{
    struct Case {
        const char* name;
        Uuid chunk;
        const char* title;
    };
    const Case cases[] = {
        {"its own number, not its place", generated, "Frame 7"},
        {"a chunk without a frame", unframed, "Frame 3"},
        {"no such chunk", Uuid::random(), "Frame"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(model<FrameViewerSheetModel>(c.chunk)->windowTitle(), c.title) << c.name;

    auto viewer = model<FrameViewerSheetModel>(generated);
    QSignalSpy changed(viewer.get(), &FrameViewerSheetModel::stateChanged);
    store->editProject([&](Project& p) { p.chunks.erase(p.chunks.begin()); });
    EXPECT_EQ(viewer->windowTitle(), "Frame");
    EXPECT_GE(changed.count(), 1);
}

TEST_F(FrameSheets, TheVersionLabelCountsTheShownFrameAndWhatCanBeRedone)
{
    struct Case {
        std::size_t undo, redo;
        const char* label;
    };
    const Case cases[] = {
        {0, 0, "Version 1"}, {2, 0, "Version 3"}, {2, 1, "Version 3 \u00B7 1 redo"}, {0, 3, "Version 1 \u00B7 3 redo"}};
    for (const auto& c : cases)
        EXPECT_EQ(versionLabel(c.undo, c.redo), QString::fromUtf8(c.label));

    // Through the model, following undo and redo made anywhere.
    auto m = model<FrameEditSheetModel>(edited);
    EXPECT_EQ(m->versionText(), "Version 3");
    EXPECT_TRUE(m->canUndo());
    EXPECT_FALSE(m->canRedo());
    EXPECT_EQ(m->lastEditText(), QString::fromUtf8("Last edit: \u201Cmake it night\u201D"));
    m->undo();
    EXPECT_EQ(m->versionText(), QString::fromUtf8("Version 2 \u00B7 1 redo"));
    EXPECT_TRUE(m->lastEditText().isEmpty()) << "the older frame was not an edit";
    store->undoFrameEdit(edited); // as the frames card's arrow does
    EXPECT_EQ(m->versionText(), QString::fromUtf8("Version 1 \u00B7 2 redo"));
    EXPECT_FALSE(m->canUndo());
    m->redo();
    EXPECT_EQ(m->versionText(), QString::fromUtf8("Version 2 \u00B7 1 redo"));

    auto bare = model<FrameEditSheetModel>(unframed);
    EXPECT_EQ(bare->versionText(), "Version 1");
    EXPECT_FALSE(bare->hasFrame());
    EXPECT_TRUE(bare->lastEditText().isEmpty());
}

TEST_F(FrameSheets, SendingClearsTheTextOnlyWhenTheEditLeftNoError)
{
    struct Case {
        const char* name;
        Uuid* chunk;
        QString text;
        bool vendorFails;
        bool cleared;
        bool requested;
    };
    Case cases[] = {
        {"edited", &generated, "  make it night \n", false, true, true},
        {"no address to edit", &imported, "brighter", false, false, false},
        {"the vendor fails", &generated, "brighter", true, false, true},
        {"line breaks only", &generated, "\n\n", false, true, false},
    };
    for (auto& c : cases) {
        const auto before = h.vendor.requests(fakes::Route::submit).size();
        store->setLastError(std::nullopt);
        if (c.vendorFails)
            h.vendor.inject(fakes::Route::submit, fakes::Reply::text("overloaded", 500));
        auto m = model<FrameEditSheetModel>(*c.chunk);
        m->setText(c.text);
        ASSERT_TRUE(m->canSend()) << c.name;
        m->send();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;
        EXPECT_EQ(m->text().isEmpty(), c.cleared) << c.name;
        EXPECT_EQ(h.vendor.requests(fakes::Route::submit).size() > before, c.requested) << c.name;
    }
    // The first case's edit is the frame now, with the instruction the store trimmed.
    EXPECT_EQ(chunk(generated).frame->editRequest, std::optional<std::string>("make it night"));
}

TEST_F(FrameSheets, ASheetClosedWhileItsEditRunsIsLeftAlone)
{
    h.vendor.setJobDuration(std::chrono::milliseconds(300));
    auto m = model<FrameEditSheetModel>(generated);
    m->setText("brighter");
    m->send();
    EXPECT_TRUE(store->isBusy());
    m.reset();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(chunk(generated).frame->editRequest, std::optional<std::string>("brighter"));
}

TEST_F(FrameSheets, ANewShowingStartsEmptyAndAnEarlierShowingsEditLeavesItAlone)
{
    h.vendor.setJobDuration(std::chrono::milliseconds(300));
    auto m = model<FrameEditSheetModel>(generated);
    m->setText("brighter");
    m->send();
    ASSERT_TRUE(store->isBusy());
    m->begin(); // closed and shown again while the edit runs
    EXPECT_EQ(m->text().toStdString(), "");
    m->setText("darker");
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(chunk(generated).frame->editRequest, std::optional<std::string>("brighter"));
    EXPECT_EQ(m->text().toStdString(), "darker") << "the earlier edit's success clears nothing of this showing";
}

TEST_F(FrameSheets, TheMeterShowsOnlyWhileARunHasPublishedAFraction)
{
    auto m = model<FrameEditSheetModel>(generated);
    EXPECT_FALSE(m->showsMeter());
    store->progressHandler(0.4); // no run: the value is published on its own
    vl::testing::waitUntil([&] { return store->taskProgress().has_value(); });
    EXPECT_FALSE(m->showsMeter()) << "a fraction without a running operation";

    HeldOperation op(*store, "Editing frame 1");
    EXPECT_FALSE(m->showsMeter()) << "running, but no fraction yet";
    store->progressHandler(0.25);
    ASSERT_TRUE(vl::testing::waitUntil([&] { return m->showsMeter(); }));
    EXPECT_DOUBLE_EQ(m->progress(), 0.25);
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_FALSE(m->showsMeter());
}

TEST_F(FrameSheets, AChunkThatWentAwayLeavesOnlyTheHeader)
{
    auto edit = model<FrameEditSheetModel>(generated);
    auto viewer = model<FrameViewerSheetModel>(generated);
    edit->setText("brighter");
    store->editProject([&](Project& p) { p.chunks.erase(p.chunks.begin()); });
    EXPECT_FALSE(edit->chunkExists());
    EXPECT_FALSE(edit->canSend());
    EXPECT_TRUE(edit->versionText().isEmpty());
    EXPECT_FALSE(viewer->chunkExists());
    EXPECT_FALSE(viewer->canEdit());
    EXPECT_FALSE(viewer->canRegenerateImage());
    EXPECT_FALSE(viewer->showFullScreen());
    edit->send();
    EXPECT_TRUE(h.vendor.requests().empty());
}

TEST_F(FrameSheets, ThePromptSheetStoresWhatWasEditedThenRegenerates)
{
    auto m = model<FramePromptSheetModel>(generated);
    QSignalSpy closed(m.get(), &FramePromptSheetModel::closeRequested);
    m->load();
    EXPECT_EQ(m->text(), "a neon harbour at night");

    // Loaded once: a change made elsewhere while the sheet is open is not picked up.
    store->setImagePrompt("changed elsewhere", generated);
    EXPECT_EQ(m->text(), "a neon harbour at night");

    // An unchanged Save still writes (and stamps) the prompt.
    QSignalSpy changed(store.get(), &ProjectStore::projectChanged);
    m->save();
    EXPECT_EQ(chunk(generated).imagePrompt, "a neon harbour at night");
    EXPECT_GE(changed.count(), 1);
    EXPECT_EQ(closed.count(), 1);

    // Save & regenerate: stored, closed, and only then the request, which carries it.
    m->setText("  a harbour at dawn ");
    bool storedWhenClosed = false;
    bool requestedWhenClosed = true;
    QObject::connect(m.get(), &FramePromptSheetModel::closeRequested, [&] {
        storedWhenClosed = chunk(generated).imagePrompt == "  a harbour at dawn ";
        requestedWhenClosed = store->isBusy();
    });
    m->saveAndRegenerate();
    EXPECT_TRUE(storedWhenClosed);
    EXPECT_FALSE(requestedWhenClosed);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    ASSERT_FALSE(imagePromptsSent().empty());
    EXPECT_EQ(imagePromptsSent().back(), "  a harbour at dawn ");
    EXPECT_EQ(closed.count(), 2);
}

TEST_F(FrameSheets, ThePromptSheetCannotRegenerateWhileWorkRunsButCanSave)
{
    auto m = model<FramePromptSheetModel>(unframed);
    m->load();
    EXPECT_EQ(m->text(), "");
    HeldOperation op(*store, "Rendering motion");
    EXPECT_FALSE(m->canRegenerate());
    m->setText("new");
    m->saveAndRegenerate();
    EXPECT_EQ(chunk(unframed).imagePrompt, "") << "refused whole while busy";
    m->save();
    EXPECT_EQ(chunk(unframed).imagePrompt, "new");
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(imagePromptsSent().empty());

    // A prompt sheet for no chunk starts empty and changes nothing.
    auto none = model<FramePromptSheetModel>(Uuid::random());
    none->load();
    EXPECT_EQ(none->text(), "");
    const Project before = store->project();
    none->setText("stray");
    none->save();
    EXPECT_EQ(store->project().chunks, before.chunks);
}

TEST_F(FrameSheets, TheViewerMenuFollowsTheFrameAndTheStore)
{
    struct Case {
        const char* name;
        Uuid* chunk;
        bool busy;
        bool canEdit, canRegenerateImage, canRegeneratePlan, fullScreen;
    };
    Case cases[] = {
        {"no frame", &unframed, false, false, true, true, false},
        {"imported", &imported, false, false, true, true, true},
        {"generated", &generated, false, true, true, true, true},
        {"busy", &generated, true, true, false, false, true},
    };
    for (auto& c : cases) {
        std::optional<HeldOperation> op;
        if (c.busy)
            op.emplace(*store, "Generating frame 2");
        auto m = model<FrameViewerSheetModel>(*c.chunk);
        EXPECT_EQ(m->canEdit(), c.canEdit) << c.name;
        EXPECT_EQ(m->canRegenerateImage(), c.canRegenerateImage) << c.name;
        EXPECT_EQ(m->canRegeneratePlan(), c.canRegeneratePlan) << c.name;
        EXPECT_EQ(m->showFullScreen(), c.fullScreen) << c.name;
        EXPECT_TRUE(QTest::qWaitFor([] { return !LightboxController::loading(); }, 30000)) << c.name;
        EXPECT_EQ(LightboxController::window() != nullptr, c.fullScreen) << c.name;
        LightboxController::dismiss();
        if (op)
            op->release();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    }

    auto m = model<FrameViewerSheetModel>(generated);
    EXPECT_EQ(m->kickerText(), "Frame 7") << "the chunk's own number, not its place";
    EXPECT_EQ(m->renderedText(), "LINE 1");

    // A frame whose file went away: the address is not used for full screen.
    store->editProject([&](Project& p) { p.chunk(generated)->frame->localPath = "/nowhere/gone.png"; });
    EXPECT_FALSE(m->showFullScreen());
    EXPECT_EQ(LightboxController::window(), nullptr);
    EXPECT_TRUE(h.vendor.requests().empty());
}

TEST_F(FrameSheets, TheLightboxReadsItsPictureOffTheWindowsThread)
{
    auto m = model<FrameViewerSheetModel>(imported);
    ASSERT_TRUE(m->showFullScreen());
    // The call returns before the picture is decoded: the window comes when it is.
    EXPECT_TRUE(LightboxController::loading());
    EXPECT_EQ(LightboxController::window(), nullptr);
    ASSERT_TRUE(QTest::qWaitFor([] { return LightboxController::window() != nullptr; }, 30000));
    QQuickWindow* shown = LightboxController::window();

    // A file that is there but does not decode shows nothing and leaves the lightbox up.
    const std::string broken = h.picture("broken.png");
    {
        QFile file(QString::fromStdString(broken));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("\x89PNG\r\n\x1a\n not a picture after all");
    }
    store->editProject([&](Project& p) { p.chunk(imported)->frame->localPath = broken; });
    EXPECT_TRUE(m->showFullScreen());
    ASSERT_TRUE(QTest::qWaitFor([] { return !LightboxController::loading(); }, 30000));
    EXPECT_EQ(LightboxController::window(), shown);

    // Of two reads on their way, only the newer one is shown.
    auto other = model<FrameViewerSheetModel>(generated);
    LightboxController::dismiss();
    ASSERT_TRUE(other->showFullScreen());
    const QImage direct(8, 8, QImage::Format_RGB32);
    LightboxController::present(direct);
    QQuickWindow* newest = LightboxController::window();
    ASSERT_NE(newest, nullptr);
    ASSERT_TRUE(QTest::qWaitFor([] { return !LightboxController::loading(); }, 30000));
    EXPECT_EQ(LightboxController::window(), newest) << "the older read came back later and was dropped";
}

TEST_F(FrameSheets, RegeneratingTheImageKeepsTheViewerOpenAndRecordsTheNewFrame)
{
    auto m = model<FrameViewerSheetModel>(generated);
    QSignalSpy closed(m.get(), &FrameViewerSheetModel::closeRequested);
    const auto before = chunk(generated).frame;
    m->regenerateImage();
    EXPECT_FALSE(m->canRegenerateImage());
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_NE(chunk(generated).frame, before);
    ASSERT_FALSE(chunk(generated).undoStack.empty());
    EXPECT_EQ(chunk(generated).undoStack.back(), before);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_EQ(imagePromptsSent(), std::vector<std::string>{"a neon harbour at night"});
}

TEST_F(FrameSheets, RegeneratingThePlanClosesTheViewerFirstAndIsRefusedWhileWorkRuns)
{
    auto m = model<FrameViewerSheetModel>(generated);
    store->setSelectedStage(PipelineStage::frames);
    const QString question = m->planQuestion();
    EXPECT_TRUE(question.contains("4 chunks")) << question.toStdString();
    EXPECT_TRUE(question.contains("1 character ")) << question.toStdString();
    EXPECT_TRUE(question.contains("cannot be undone")) << question.toStdString();

    {
        HeldOperation op(*store, "Generating 3 frames");
        EXPECT_FALSE(m->canRegeneratePlan());
        m->regeneratePlan();
        EXPECT_EQ(store->project().chunks.size(), 4u) << "nothing is dropped while work runs";
        EXPECT_TRUE(store->isBusy()) << "and the running label stays";
        op.release();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    }

    std::size_t chunksWhenClosed = 0;
    QObject::connect(m.get(), &FrameViewerSheetModel::closeRequested,
                     [&] { chunksWhenClosed = store->project().chunks.size(); });
    m->regeneratePlan();
    EXPECT_EQ(chunksWhenClosed, 4u) << "the viewer closes before the plan goes";
    EXPECT_TRUE(store->project().chunks.empty());
    EXPECT_EQ(store->selectedStage(), PipelineStage::intake);
    EXPECT_FALSE(m->chunkExists());
}
