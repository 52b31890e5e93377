// The pipeline pages in the main window: what they show in each state, and the work
// they start, driven through their controls. No QML warning is allowed anywhere.

#include "PageWindow.h"

#include <gtest/gtest.h>

using namespace vl;
using vl::testing::HeldOperation;
using vl::testing::PageWindow;
using vl::testing::projectWithChunks;
using vl::testing::renderableProject;
using vl::testing::StoreHarness;

namespace fs = std::filesystem;

#define EXPECT_NO_QML_WARNINGS(w) EXPECT_TRUE((w).warnings.isEmpty()) << (w).warnings.join('\n').toStdString()

TEST(MotionPage, NoticeCountsAndButtonsInEachState)
{
    {
        PageWindow w(projectWithChunks(0, 0));
        ASSERT_NE(w.window, nullptr);
        w.select(PipelineStage::motion);
        w.settle("motion-empty");
        EXPECT_EQ(w.text("noticeText"), "Generate or import at least one frame first — 0/0 so far.");
        EXPECT_EQ(w.text("clipText"), "0 of 0 clips rendered");
        EXPECT_FALSE(w.enabled("renderMotionButton"));
        EXPECT_FALSE(w.enabled("previewTimelineButton"));
        w.tapInStage("goToFramesButton");
        EXPECT_EQ(w.store->selectedStage(), PipelineStage::frames);
        EXPECT_NO_QML_WARNINGS(w);
    }
    {
        PageWindow w(projectWithChunks(12, 7));
        w.select(PipelineStage::motion);
        w.settle("motion-partial");
        EXPECT_TRUE(w.text("noticeText").startsWith("7/12 frames generated."));
        EXPECT_EQ(w.text("framesText"), "7 frames · each clip's length matches its timing");
        EXPECT_TRUE(w.enabled("renderMotionButton"));
        HeldOperation op(*w.store, "Rendering motion");
        w.store->progressHandler(0.4);
        w.settle("motion-running");
        EXPECT_FALSE(w.enabled("renderMotionButton"));
        EXPECT_TRUE(w.enabled("previewTimelineButton"));
        ASSERT_NE(w.item("renderMeter"), nullptr);
        EXPECT_DOUBLE_EQ(w.item("renderMeter")->property("value").toDouble(), 0.4);
        op.release();
        ASSERT_TRUE(StoreHarness::waitForIdle(*w.store));
        w.settle();
        EXPECT_EQ(w.item("renderMeter"), nullptr);
        EXPECT_NO_QML_WARNINGS(w);
    }
}

TEST(MotionPage, RenderMotionRecordsAClipForEveryFramedChunk)
{
    StoreHarness scratch;
    PageWindow w(renderableProject(scratch, 3, 3));
    w.select(PipelineStage::motion);
    EXPECT_EQ(w.item("motionNotice"), nullptr) << "every chunk framed: no notice";
    w.tapInStage("renderMotionButton");
    EXPECT_EQ(w.store->runningTask(), std::optional<std::string>("Rendering motion"));
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store, 60000));
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    w.settle("motion-complete");
    EXPECT_EQ(w.text("clipText"), "All clips rendered");
    w.tapInStage("previewTimelineButton");
    EXPECT_EQ(w.store->selectedStage(), PipelineStage::preview);
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(ExportPage, GateNoticeAndSettings)
{
    PageWindow w(projectWithChunks(0, 0));
    ASSERT_NE(w.window, nullptr);
    w.select(PipelineStage::exportVideo);
    w.settle("export-empty");
    EXPECT_EQ(w.text("gateText"), "Export unlocks once at least one frame exists.");
    EXPECT_FALSE(w.enabled("exportButton"));
    EXPECT_EQ(w.text("summaryChunks"), "0");
    EXPECT_EQ(w.text("destinationText"), "Not chosen");

    w.store->setProject(projectWithChunks(5, 3));
    w.settle("export-partial");
    EXPECT_EQ(w.text("gateText"), "Exporting with 3/5 frames — missing frames use rotating instrumental clips.");
    EXPECT_TRUE(w.enabled("exportButton"));
    EXPECT_EQ(w.text("summaryOutput"), "1080p · MP4 (H.264)");

    // Choose…: the folder the picker answers becomes the destination.
    w.picker.answers = {QStringLiteral("/srv/videos")};
    w.tapInStage("chooseDestinationButton");
    ASSERT_TRUE(vl::testing::waitUntil([&] { return !w.store->project().exportSettings.destinationFolder.empty(); }));
    EXPECT_EQ(w.store->project().exportSettings.destinationFolder, "/srv/videos");
    EXPECT_EQ(w.picker.requests.at(0).mode, support::FileRequest::Mode::Folder);
    w.settle();
    EXPECT_EQ(w.text("destinationText"), "/srv/videos");

    // The audio switch and the pickers write the project.
    w.tapInStage("audioToggle");
    EXPECT_FALSE(w.store->project().exportSettings.includeOriginalAudio);
    QMetaObject::invokeMethod(w.item("resolutionPicker"), "activated", Q_ARG(int, 0));
    EXPECT_EQ(w.store->project().exportSettings.resolution, ExportResolution::p720);
    w.settle();
    EXPECT_EQ(w.text("summaryOutput"), "720p · MP4 (H.264)");

    HeldOperation op(*w.store, "Generating frame 2");
    w.settle("export-running");
    EXPECT_FALSE(w.enabled("exportButton"));
    EXPECT_EQ(w.text("exportButton"), "Exporting…");
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store));
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(ExportPage, ExportWritesTheVideoRevealsItAndNamesIt)
{
    StoreHarness scratch;
    PageWindow w(renderableProject(scratch, 3, 3));
    w.select(PipelineStage::exportVideo);
    EXPECT_EQ(w.item("exportGate"), nullptr);
    EXPECT_EQ(w.item("exportResult"), nullptr);
    w.tapInStage("exportButton");
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store, 60000));
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    w.settle("export-done");
    ASSERT_EQ(w.desktop.revealed.size(), 1);
    EXPECT_TRUE(fs::exists(w.desktop.revealed[0].toStdString()));
    EXPECT_EQ(w.text("exportedText"), "Exported to Night_Drive.mp4");
    w.tapInStage("revealButton");
    EXPECT_EQ(w.desktop.revealed.size(), 2);
    EXPECT_EQ(w.desktop.revealed[1], w.desktop.revealed[0]);

    // Leaving the page and coming back forgets the result row.
    w.select(PipelineStage::motion);
    w.select(PipelineStage::exportVideo);
    EXPECT_EQ(w.item("exportResult"), nullptr);
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(FramesPage, CardsFollowTheirChunksAndTheRun)
{
    Project project = projectWithChunks(3, 2);
    project.planImported = true;
    project.chunks[0].chunkNumber = 7;
    project.chunks[1].frame->remoteURL = "https://v3.fal.media/files/frame.png";
    project.chunks[1].undoStack = {project.chunks[1].frame.value(), project.chunks[1].frame.value()};
    PageWindow w(project);
    ASSERT_NE(w.window, nullptr);
    w.select(PipelineStage::frames);
    w.settle("frames-partial");
    EXPECT_EQ(w.text("framesCount"), "2/3 generated");
    EXPECT_TRUE(w.enabled("generateMissingButton"));
    EXPECT_EQ(w.text("setUpMotionButton"), "Set up motion — missing frames use instrumental clips");
    EXPECT_EQ(w.text("cardTitle"), "Frame 7") << "the first card shows its chunk's own number";

    QQuickItem* cards = w.item("frameCards");
    ASSERT_NE(cards, nullptr);
    EXPECT_EQ(cards->property("count").toInt(), 3);
    // The imported (no address) frame cannot be edited, the generated one can.
    const auto cardItem = [&](int row) {
        QQuickItem* found = nullptr;
        QMetaObject::invokeMethod(cards, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, found), Q_ARG(int, row));
        return found;
    };
    ASSERT_NE(cardItem(1), nullptr);
    EXPECT_FALSE(PageWindow::findItem(cardItem(0), "editButton")->isEnabled());
    EXPECT_TRUE(PageWindow::findItem(cardItem(1), "editButton")->isEnabled());
    EXPECT_EQ(PageWindow::findItem(cardItem(1), "versionChip")->property("text").toString(), "v3");
    EXPECT_EQ(PageWindow::findItem(cardItem(2), "importButton")->property("text").toString(), "Import image");
    EXPECT_TRUE(PageWindow::findItem(cardItem(2), "frameHint")->isVisible());

    // Import through the picker the test answers.
    w.picker.answers = {QString::fromStdString(w.h.picture("chosen.png"))};
    w.tapInStage(PageWindow::findItem(cardItem(2), "importButton"));
    ASSERT_TRUE(vl::testing::waitUntil([&] { return w.store->project().chunks[2].frame.has_value(); }));
    w.settle("frames-complete");
    EXPECT_EQ(w.text("framesCount"), "3/3 generated");
    EXPECT_FALSE(w.enabled("generateMissingButton"));
    EXPECT_EQ(w.text("setUpMotionButton"), "All frames generated — set up motion");

    HeldOperation op(*w.store, "Generating frame 7");
    w.settle("frames-running");
    EXPECT_FALSE(PageWindow::findItem(cardItem(1), "editButton")->isEnabled());
    EXPECT_FALSE(PageWindow::findItem(cardItem(1), "generateButton")->isEnabled());
    EXPECT_FALSE(PageWindow::findItem(cardItem(1), "undoButton")->isEnabled());
    EXPECT_TRUE(PageWindow::findItem(cardItem(1), "thumbnail")->isEnabled());
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store));
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(FramesPage, EmptyStateLeadsToTheStoryboardAndTheThumbnailOpensTheViewer)
{
    {
        PageWindow w(projectWithChunks(0, 0));
        w.select(PipelineStage::frames);
        w.settle("frames-empty");
        ASSERT_NE(w.item("framesEmpty"), nullptr);
        EXPECT_EQ(w.item("framesCount"), nullptr);
        w.tapInStage("goToStoryboardButton");
        EXPECT_EQ(w.store->selectedStage(), PipelineStage::storyboard);
        EXPECT_NO_QML_WARNINGS(w);
    }
    PageWindow w(projectWithChunks(2, 2));
    w.select(PipelineStage::frames);
    w.tapInStage("thumbnail");
    w.settle();
    bool viewerOpen = false;
    for (QWindow* top : QGuiApplication::topLevelWindows())
        viewerOpen = viewerOpen || (top != w.window && top->isVisible());
    EXPECT_TRUE(viewerOpen) << "the thumbnail opens the frame viewer";
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(FramesPage, OnlyTheCardsInViewAreBuilt)
{
    PageWindow w(projectWithChunks(200, 200));
    w.select(PipelineStage::frames);
    QQuickItem* cards = w.item("frameCards");
    ASSERT_NE(cards, nullptr);
    EXPECT_EQ(cards->property("count").toInt(), 200);
    const auto builtCards = [&] {
        int built = 0;
        for (int row = 0; row < 200; ++row) {
            QQuickItem* card = nullptr;
            QMetaObject::invokeMethod(cards, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, card), Q_ARG(int, row));
            built += card != nullptr ? 1 : 0;
        }
        return built;
    };
    EXPECT_GE(builtCards(), 2);
    EXPECT_LT(builtCards(), 12);
    // Scrolled to the end, the last card is there and reads its own chunk.
    QQuickItem* area = w.item("stageArea");
    area->setProperty("contentY", area->property("contentHeight").toDouble() - area->height());
    w.settle("frames-scrolled");
    QQuickItem* last = nullptr;
    QMetaObject::invokeMethod(cards, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, last), Q_ARG(int, 199));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(PageWindow::findItem(last, "cardTitle")->property("text").toString(), "Frame 200");
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(PreviewPage, StageStripAndFooterInEachState)
{
    {
        PageWindow w(projectWithChunks(0, 0));
        w.select(PipelineStage::preview);
        w.settle("preview-empty");
        EXPECT_EQ(w.text("previewChip"), "0/0 accepted");
        EXPECT_FALSE(w.enabled("previewExportButton"));
        EXPECT_EQ(w.text("previewTime"), "0:00.00");
        EXPECT_NO_QML_WARNINGS(w);
    }
    PageWindow w(projectWithChunks(4, 2));
    w.select(PipelineStage::preview);
    w.settle("preview-partial");
    EXPECT_EQ(w.text("previewChip"), "2/4 accepted");
    EXPECT_TRUE(w.enabled("previewExportButton"));
    EXPECT_EQ(w.item("clipPlayer"), nullptr) << "no clip rendered: the still";
    w.tapInStage("previewExportButton");
    EXPECT_EQ(w.store->selectedStage(), PipelineStage::exportVideo);
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(PreviewPage, APlayingClipSurvivesRedrawsAndANewChunkWaitsAtItsStart)
{
    StoreHarness scratch;
    Project project = renderableProject(scratch, 3, 3);
    for (std::size_t i = 0; i < project.chunks.size(); ++i) {
        project.chunks[i].start = static_cast<double>(i) * 2.0;
        project.chunks[i].end = project.chunks[i].start + 2.0;
        project.transcript[i].start = project.chunks[i].start;
        project.transcript[i].end = project.chunks[i].end;
    }
    PageWindow w(project);
    w.store->renderMotion();
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store, 60000));
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    w.select(PipelineStage::preview);
    w.settle("preview-complete");
    EXPECT_EQ(w.text("previewChip"), "Sequence complete");

    QQuickItem* stage = w.item("clipPlayer");
    ASSERT_NE(stage, nullptr);
    QObject* player = stage->property("player").value<QObject*>();
    ASSERT_NE(player, nullptr);
    const QUrl first = player->property("source").toUrl();
    EXPECT_EQ(first.toLocalFile().toStdString(), *w.store->project().chunks[0].frame->motionClipPath);
    EXPECT_EQ(player->property("position").toLongLong(), 0);

    w.tap(PageWindow::findItem(stage, "playButton"));
    ASSERT_TRUE(vl::testing::waitUntil([&] { return player->property("position").toLongLong() > 200; }, 20000));
    w.settle("preview-playing-1");
    const qint64 before = player->property("position").toLongLong();
    w.store->editProject([](Project& p) { p.title = "A New Title"; });
    ASSERT_TRUE(vl::testing::waitUntil([&] { return player->property("position").toLongLong() > before + 200; },
                                       20000));
    w.settle("preview-playing-2");
    EXPECT_EQ(w.item("clipPlayer"), stage) << "the same player";
    EXPECT_EQ(player->property("source").toUrl(), first);

    // Another chunk: its clip, paused at the start.
    QQuickItem* strip = w.item("previewStrip");
    QQuickItem* second = nullptr;
    QMetaObject::invokeMethod(strip, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, second), Q_ARG(int, 1));
    ASSERT_NE(second, nullptr);
    w.tap(second);
    w.settle();
    EXPECT_EQ(w.store->selectedChunkIDText().toStdString(), w.store->project().chunks[1].id.text());
    EXPECT_EQ(player->property("source").toUrl().toLocalFile().toStdString(),
              *w.store->project().chunks[1].frame->motionClipPath);
    EXPECT_EQ(player->property("position").toLongLong(), 0);
    EXPECT_NE(player->property("playbackState").toInt(), 1) << "not playing";
    EXPECT_EQ(w.text("previewTime"), "0:02.00");

    // Another stage: the preview's screen stays built, but its clip does not play on.
    w.tap(PageWindow::findItem(stage, "playButton"));
    ASSERT_TRUE(vl::testing::waitUntil([&] { return player->property("playbackState").toInt() == 1; }, 20000));
    w.select(PipelineStage::exportVideo);
    EXPECT_NE(player->property("playbackState").toInt(), 1) << "a hidden screen plays nothing";
    w.select(PipelineStage::preview);
    EXPECT_EQ(w.item("clipPlayer"), stage) << "the same player, back";
    EXPECT_NO_QML_WARNINGS(w);
}

TEST(CharactersPage, ANameLeftHalfTypedStartsEmptyWhenTheStageIsChosenAgain)
{
    PageWindow w(projectWithChunks(2, 0));
    ASSERT_NE(w.window, nullptr);
    w.select(PipelineStage::characters);
    w.tapInStage("newNameField");
    for (char key : std::string("Mara"))
        QTest::keyClick(w.window, key);
    w.settle();
    ASSERT_EQ(w.text("newNameField"), "Mara");
    w.select(PipelineStage::storyboard);
    w.select(PipelineStage::characters);
    EXPECT_EQ(w.text("newNameField"), "");
    EXPECT_TRUE(w.store->project().characters.empty()) << "nothing was added";
    EXPECT_NO_QML_WARNINGS(w);
}
