// The pipeline pages in the main window: what they show in each state, and the work
// they start, driven through their controls. No QML warning is allowed anywhere.

#include "PageWindow.h"
#include "screens/ScreenFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

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
    EXPECT_EQ(w.text("destinationText"), "Not chosen");
    EXPECT_EQ(w.text("summarySavedTo"), w.desktop.revealed[0]) << "the summary names where the file went";
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
    // The cards below the first ones in view are built in the frames that follow.
    ASSERT_TRUE(vl::testing::waitUntil([&] { return cardItem(0) && cardItem(1) && cardItem(2); }, 30000));
    EXPECT_FALSE(PageWindow::findShownItem(cardItem(0), "editButton")->isEnabled());
    EXPECT_TRUE(PageWindow::findShownItem(cardItem(1), "editButton")->isEnabled());
    EXPECT_EQ(PageWindow::findShownItem(cardItem(1), "versionChip")->property("text").toString(), "v3");
    EXPECT_EQ(PageWindow::findShownItem(cardItem(2), "importButton")->property("text").toString(), "Import image");
    EXPECT_TRUE(PageWindow::findShownItem(cardItem(2), "frameHint")->isVisible());

    // Import through the picker the test answers.
    w.picker.answers = {QString::fromStdString(w.h.picture("chosen.png"))};
    w.tapInStage(PageWindow::findShownItem(cardItem(2), "importButton"));
    ASSERT_TRUE(vl::testing::waitUntil([&] { return w.store->project().chunks[2].frame.has_value(); }));
    w.settle("frames-complete");
    EXPECT_EQ(w.text("framesCount"), "3/3 generated");
    EXPECT_FALSE(w.enabled("generateMissingButton"));
    EXPECT_EQ(w.text("setUpMotionButton"), "All frames generated — set up motion");

    HeldOperation op(*w.store, "Generating frame 7");
    w.settle("frames-running");
    EXPECT_FALSE(PageWindow::findShownItem(cardItem(1), "editButton")->isEnabled());
    EXPECT_FALSE(PageWindow::findShownItem(cardItem(1), "generateButton")->isEnabled());
    EXPECT_FALSE(PageWindow::findShownItem(cardItem(1), "undoButton")->isEnabled());
    EXPECT_TRUE(PageWindow::findShownItem(cardItem(1), "thumbnail")->isEnabled());
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
    PageWindow::scrollToEnd(PageWindow::scrollerOf(cards));
    w.settle("frames-scrolled");
    QQuickItem* last = nullptr;
    QMetaObject::invokeMethod(cards, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, last), Q_ARG(int, 199));
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(PageWindow::findShownItem(last, "cardTitle")->property("text").toString(), "Frame 200");
    EXPECT_NO_QML_WARNINGS(w);
}

// The page scrolled far down, then the chunks become fewer: the new cards show where
// the page now is, and from its top.
TEST(FramesPage, AShorterProjectOrPlanShowsItsCardsFromAScrolledPage)
{
    struct Case {
        const char* name;
        std::function<void(PageWindow&)> shorten;
    };
    const Case cases[] = {
        {"File > Open Project with fewer chunks",
         [](PageWindow& w) {
             const Project shorter = projectWithChunks(12, 12, "Short");
             ASSERT_TRUE(w.store->saveQuietly(shorter));
             w.store->openProject(shorter.id);
         }},
        {"a plan import with fewer chunks",
         [](PageWindow& w) {
             std::string plan = R"({"frames": [)";
             for (int i = 1; i <= 12; ++i)
                 plan += (i > 1 ? "," : "") + std::string(R"({"chunkNumber": )") + std::to_string(i) + "}";
             w.store->applyPlanText(plan + "]}");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PageWindow w(projectWithChunks(40, 40));
        w.select(PipelineStage::frames);
        QQuickItem* cards = w.item("frameCards");
        ASSERT_NE(cards, nullptr);
        const auto cardAt = [&](int row) {
            QQuickItem* card = nullptr;
            QMetaObject::invokeMethod(cards, "itemAtIndex", Q_RETURN_ARG(QQuickItem*, card), Q_ARG(int, row));
            return card;
        };
        const auto anyCardShown = [&] {
            for (int row = 0; row < cards->property("count").toInt(); ++row)
                if (w.shownInStage(cardAt(row)))
                    return true;
            return false;
        };
        PageWindow::scrollToEnd(PageWindow::scrollerOf(cards));
        w.settle();
        ASSERT_TRUE(w.shownInStage(cardAt(39))) << "scrolled to the last of 40 cards";

        c.shorten(w);
        // A plan is read on a worker; the page follows once it is merged.
        ASSERT_TRUE(vl::testing::waitUntil([&] { return cards->property("count").toInt() == 12; }, 30000))
            << cards->property("count").toInt() << " cards";
        ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
        w.settle("frames-shortened");
        EXPECT_TRUE(vl::testing::waitUntil(anyCardShown)) << "some of the 12 cards are on screen";

        PageWindow::scrollToTop(PageWindow::scrollerOf(cards));
        w.settle("frames-shortened-top");
        EXPECT_TRUE(vl::testing::waitUntil([&] { return w.shownInStage(cardAt(0)); }));
        ASSERT_NE(cardAt(0), nullptr);
        EXPECT_EQ(PageWindow::findShownItem(cardAt(0), "cardTitle")->property("text").toString(), "Frame 1");
        EXPECT_NO_QML_WARNINGS(w);
    }
}

namespace {

// The storyboard's element grid as laid out: how many columns its cards stand in, the
// narrowest card, and the width the grid was given.
struct GridShape {
    int columns = 0;
    int cards = 0;
    double narrowest = 0;
    double width = 0;
};

GridShape elementGrid(const PageWindow& w)
{
    GridShape shape;
    QQuickItem* grid = w.item("elementGrid");
    if (!grid)
        return shape;
    std::set<long> columns;
    for (QQuickItem* card : grid->childItems()) {
        if (card->objectName() != QLatin1String("elementCard") || !card->isVisible())
            continue;
        columns.insert(std::lround(card->x()));
        shape.narrowest = shape.cards++ == 0 ? card->width() : std::min(shape.narrowest, card->width());
    }
    shape.columns = static_cast<int>(columns.size());
    shape.width = grid->width();
    return shape;
}

// Columns of at least 150 with 12 between them: as many as the width holds.
int fittingColumns(double width)
{
    return std::max(1, static_cast<int>((width + 12) / (150 + 12)));
}

Project sixteenElements(Project planned)
{
    for (int i = 1; i <= 16; ++i)
        planned.plan->elements.push_back(vl::testing::element("element" + std::to_string(i)));
    return planned;
}

} // namespace

// However wide the window, and whether the plan was there when the page opened or came
// while it was shown, the grid stands its elements in as many columns as fit.
TEST(StoryboardPage, TheElementGridFillsAsManyColumnsAsTheWidthHolds)
{
    const int widths[] = {1000, 1440, 2400};
    const auto expectFits = [](PageWindow& w, int windowWidth) {
        SCOPED_TRACE("window " + std::to_string(windowWidth) + " wide");
        w.window->resize(windowWidth, 800);
        EXPECT_TRUE(vl::testing::waitUntil([&] { return w.window->width() >= std::min(windowWidth, 1040); }));
        w.settle(("storyboard-" + std::to_string(windowWidth)).c_str());
        QQuickItem* panel = w.item("elementsPanel");
        ASSERT_NE(panel, nullptr);
        const GridShape grid = elementGrid(w);
        EXPECT_EQ(grid.cards, 16);
        EXPECT_NEAR(grid.width, panel->property("availableWidth").toDouble(), 1) << "the grid spans its panel";
        EXPECT_EQ(grid.columns, std::min(16, fittingColumns(grid.width))) << "grid " << grid.width << " wide";
        EXPECT_GE(grid.narrowest, 150);
    };

    {
        SCOPED_TRACE("planned before the page opened");
        PageWindow w(sixteenElements(vl::testing::plannedProject(2, {}, {})));
        w.select(PipelineStage::storyboard);
        for (int width : widths)
            expectFits(w, width);
        // Away and back, at another width.
        w.select(PipelineStage::frames);
        w.window->resize(1440, 800);
        w.select(PipelineStage::storyboard);
        expectFits(w, 1440);
        EXPECT_NO_QML_WARNINGS(w);
    }
    {
        SCOPED_TRACE("planned while the page was shown");
        Project unplanned = vl::testing::plannedProject(2, {}, {});
        unplanned.plan.reset();
        unplanned.chunks.clear();
        PageWindow w(unplanned);
        w.select(PipelineStage::storyboard);
        w.window->resize(2400, 800);
        w.settle();
        ASSERT_NE(w.item("planButton"), nullptr) << "the empty form first";
        // What a finished plan leaves, without leaving the page.
        const Project planned = sixteenElements(vl::testing::plannedProject(2, {}, {}));
        w.store->editProject([&](Project& p) {
            p.plan = planned.plan;
            p.chunks = planned.chunks;
        });
        for (int width : {2400, 1000, 1440})
            expectFits(w, width);
        EXPECT_NO_QML_WARNINGS(w);
    }
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

    // The player's corners stay inside the stage's rounded outline: the pixels just
    // inside its corners are the panel's, as beside the stage, not the player's black.
    {
        const QImage shot = w.window->grabWindow();
        const qreal ratio = w.window->devicePixelRatio();
        const QPointF origin = stage->mapToScene({0, 0});
        const auto pixel = [&](qreal x, qreal y) {
            return shot.pixelColor(qRound((origin.x() + x) * ratio), qRound((origin.y() + y) * ratio));
        };
        const auto close = [](const QColor& a, const QColor& b) {
            return std::abs(a.red() - b.red()) <= 6 && std::abs(a.green() - b.green()) <= 6 &&
                   std::abs(a.blue() - b.blue()) <= 6;
        };
        const QColor beside = pixel(-4, 1);
        ASSERT_GT(beside.red() + beside.green() + beside.blue(), 20) << "the panel must not look black";
        EXPECT_TRUE(close(pixel(1, 1), beside)) << "top-left corner";
        EXPECT_TRUE(close(pixel(stage->width() - 2, 1), pixel(stage->width() + 3, 1))) << "top-right corner";
        EXPECT_TRUE(close(pixel(1, stage->height() - 2), pixel(-4, stage->height() - 2))) << "bottom-left corner";
        EXPECT_TRUE(close(pixel(stage->width() - 2, stage->height() - 2), pixel(stage->width() + 3, stage->height() - 2)))
            << "bottom-right corner, under the controls' shade";
    }

    QObject* player = stage->property("player").value<QObject*>();
    ASSERT_NE(player, nullptr);
    const QUrl first = player->property("source").toUrl();
    EXPECT_EQ(first.toLocalFile().toStdString(), *w.store->project().chunks[0].frame->motionClipPath);
    EXPECT_EQ(player->property("position").toLongLong(), 0);

    w.tap(PageWindow::findShownItem(stage, "playButton"));
    ASSERT_TRUE(vl::testing::waitUntil([&] { return player->property("position").toLongLong() > 200; }, 20000));
    // The sequence clock runs with the clip.
    EXPECT_TRUE(vl::testing::waitUntil([&] { return w.text("previewTime") > "0:00.20"; }, 20000))
        << w.text("previewTime").toStdString();
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

TEST(PreviewPage, AStaleClipShowsTheStillWithoutABadge)
{
    StoreHarness scratch;
    PageWindow w(renderableProject(scratch, 2, 2));
    w.store->renderMotion();
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store, 60000));
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    w.select(PipelineStage::preview);
    w.settle();
    const auto badge = [&](std::size_t i) -> QQuickItem* {
        const std::string thumb = "thumb" + w.store->project().chunks[i].id.text();
        QQuickItem* item = w.item(thumb.c_str());
        return item ? PageWindow::findShownItem(item, "playBadge") : nullptr;
    };
    EXPECT_NE(w.item("clipPlayer"), nullptr);
    EXPECT_NE(badge(0), nullptr);
    EXPECT_NE(badge(1), nullptr);

    // Another size: the clips on disk are not what the export would use.
    w.store->editProject([](Project& p) { p.exportSettings.resolution = ExportResolution::p720; });
    w.settle("preview-stale");
    EXPECT_EQ(w.item("clipPlayer"), nullptr) << "the still until the clip is made again";
    EXPECT_EQ(badge(0), nullptr);
    EXPECT_EQ(badge(1), nullptr);
    w.select(PipelineStage::motion);
    w.settle();
    EXPECT_EQ(w.text("clipText"), "0 of 2 clips rendered");
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store));
    EXPECT_NO_QML_WARNINGS(w);
}
