#include "app/AppFixtures.h"
#include "design/Intent.h"
#include "fakes/FakeDesktop.h"
#include "screens/ScreenServices.h"
#include "screens/FrameReviewModel.h"

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::screens;
using vl::testing::HeldOperation;
using vl::testing::projectWithChunks;
using vl::testing::StoreHarness;

namespace {

struct Page {
    explicit Page(Project project)
    {
        store = h.make(std::move(project));
        services = std::make_unique<screens::ScreenServices>(*store, picker, desktop);
        model = std::make_unique<FrameReviewModel>(*services);
    }
    StoreHarness h;
    test::FakeDesktop desktop;
    test::FakeFilePicker picker;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<screens::ScreenServices> services;
    std::unique_ptr<FrameReviewModel> model;
};

} // namespace

TEST(FrameReviewModel, CountsTheCallToGenerateAndTheWayOnToMotion)
{
    struct Case {
        int total;
        int framed;
        bool hasChunks;
        const char* count;
        bool canGenerate;
        bool motionButton;
        const char* motionText;
    } cases[] = {
        {0, 0, false, "0/0 generated", false, false, ""},
        {4, 0, true, "0/4 generated", true, false, ""},
        {4, 3, true, "3/4 generated", true, true, "Set up motion — missing frames use instrumental clips"},
        {4, 4, true, "4/4 generated", false, true, "All frames generated — set up motion"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        Page page(projectWithChunks(c.total, c.framed));
        const FrameReviewModel& m = *page.model;
        EXPECT_EQ(m.hasChunks(), c.hasChunks);
        EXPECT_EQ(m.countText().toStdString(), c.count);
        EXPECT_EQ(m.canGenerateMissing(), c.canGenerate);
        EXPECT_EQ(m.generateMissingLook(), c.canGenerate);
        EXPECT_EQ(m.showsMotionButton(), c.motionButton);
        if (c.motionButton) {
            EXPECT_EQ(m.motionButtonText().toStdString(), c.motionText);
        }
    }
}

TEST(FrameReviewModel, CardStateFollowsTheFrameItsHistoryAndTheRun)
{
    // No frame: "Generate", the hint, Edit off yet drawn enabled.
    CardState s = cardState({7, false, false, 0, 0, false, true});
    EXPECT_EQ(s.title, "Frame 7");
    EXPECT_EQ(s.chipText, "Not generated");
    EXPECT_EQ(s.chipIntent, design::Intent::Neutral);
    EXPECT_TRUE(s.showsHint);
    EXPECT_FALSE(s.editEnabled);
    EXPECT_TRUE(s.editLook);
    EXPECT_EQ(s.generateText, "Generate");
    EXPECT_EQ(s.generateSymbol, "sparkles");
    EXPECT_TRUE(s.showsImport);
    EXPECT_EQ(s.importText, "Import image");
    EXPECT_FALSE(s.showsVersionChip);
    EXPECT_FALSE(s.undoEnabled);

    // An imported frame (no remote address): Edit off, its look on, Regenerate on.
    s = cardState({3, true, false, 0, 0, false, true});
    EXPECT_EQ(s.chipText, "Generated");
    EXPECT_EQ(s.chipIntent, design::Intent::Good);
    EXPECT_FALSE(s.showsHint);
    EXPECT_FALSE(s.editEnabled);
    EXPECT_TRUE(s.editLook);
    EXPECT_EQ(s.generateText, "Regenerate");
    EXPECT_EQ(s.generateSymbol, "arrow.clockwise");
    EXPECT_TRUE(s.generateEnabled);
    EXPECT_EQ(s.importText, "Replace image");

    // A generated frame with two earlier versions and one later.
    s = cardState({3, true, true, 2, 1, false, false});
    EXPECT_TRUE(s.editEnabled);
    EXPECT_TRUE(s.showsVersionChip);
    EXPECT_EQ(s.versionText, "v3");
    EXPECT_TRUE(s.undoEnabled);
    EXPECT_TRUE(s.redoEnabled);
    EXPECT_FALSE(s.showsImport) << "a plan that was not imported offers no import";
    EXPECT_FALSE(s.importEnabled);

    // Anything running turns every work button off, and Edit's look with it.
    s = cardState({3, true, true, 2, 1, true, true});
    EXPECT_FALSE(s.editEnabled);
    EXPECT_FALSE(s.editLook);
    EXPECT_FALSE(s.generateEnabled);
    EXPECT_TRUE(s.showsImport);
    EXPECT_FALSE(s.importEnabled);
    EXPECT_FALSE(s.undoEnabled);
    EXPECT_FALSE(s.redoEnabled);
    EXPECT_EQ(s.versionText, "v3");
}

TEST(FrameReviewModel, QmlCardStateReadsTheRowRoles)
{
    Page page(projectWithChunks(1, 1));
    const QVariantMap s = page.model->cardState(7, true, QStringLiteral("https://v3.fal.media/a.png"), 2, 0,
                                                false, false);
    EXPECT_EQ(s.value("title").toString(), "Frame 7");
    EXPECT_TRUE(s.value("editEnabled").toBool());
    EXPECT_EQ(s.value("versionText").toString(), "v3");
    EXPECT_FALSE(page.model->cardState(7, true, QString(), 0, 0, false, false).value("editEnabled").toBool());
}

TEST(FrameReviewModel, ARunningOperationTurnsGenerateMissingOffAndSignalsOnce)
{
    Page page(projectWithChunks(4, 1));
    int changes = 0;
    QObject::connect(page.model.get(), &FrameReviewModel::changed, [&] { ++changes; });
    HeldOperation op(*page.store, "Rendering motion");
    EXPECT_TRUE(page.model->busy());
    EXPECT_FALSE(page.model->canGenerateMissing());
    EXPECT_EQ(changes, 1);
    page.store->editProject([](Project& p) { p.title = "Renamed"; });
    EXPECT_EQ(changes, 1) << "a change the page does not show signals nothing";
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*page.store));
    EXPECT_TRUE(page.model->canGenerateMissing());
}

TEST(FrameReviewModel, NavigationSelectsTheStageAndClearsTheBanner)
{
    Page page(projectWithChunks(0, 0));
    page.store->setLastError("Something failed.");
    page.model->goToStoryboard();
    EXPECT_EQ(page.store->selectedStage(), PipelineStage::storyboard);
    EXPECT_FALSE(page.store->lastError());
    page.model->goToMotion();
    EXPECT_EQ(page.store->selectedStage(), PipelineStage::motion);
}

TEST(FrameReviewModel, ImportAsksForAnImageAndMakesItTheChunksFrame)
{
    Project project = projectWithChunks(2, 1);
    project.planImported = true;
    Page page(project);
    const Uuid first = page.store->project().chunks[0].id;
    const Uuid second = page.store->project().chunks[1].id;
    const QString secondID = QString::fromStdString(second.text());

    // Cancelled: nothing changes.
    page.picker.answers = {QString()};
    page.model->importImage(secondID);
    vl::testing::spin(50);
    ASSERT_EQ(page.picker.requests.size(), 1u);
    const support::FileRequest& asked = page.picker.requests[0];
    EXPECT_EQ(asked.mode, support::FileRequest::Mode::OpenFile);
    EXPECT_EQ(asked.title, "Choose an image to use for this frame.");
    EXPECT_EQ(asked.acceptLabel, "Import image");
    ASSERT_EQ(asked.nameFilters.size(), 1);
    EXPECT_TRUE(asked.nameFilters[0].contains("*.png"));
    EXPECT_TRUE(asked.nameFilters[0].contains("*.jpg"));
    for (const char* refused : {"gif", "bmp", "tif", "heic"})
        EXPECT_FALSE(asked.nameFilters[0].contains(refused)) << refused << " would only be refused";
    EXPECT_FALSE(page.store->project().chunk(second)->frame);

    // Chosen: a copy in the frames folder becomes the frame, the former one kept for undo.
    page.picker.answers = {QString::fromStdString(page.h.picture("mine.png"))};
    page.model->importImage(QString::fromStdString(first.text()));
    ASSERT_TRUE(vl::testing::waitUntil(
        [&] { return page.store->project().chunk(first)->frame->prompt == "Imported image"; }));
    const StoryboardChunk& chunk = *page.store->project().chunk(first);
    EXPECT_FALSE(chunk.frame->remoteURL);
    EXPECT_EQ(chunk.undoStack.size(), 1u);
    EXPECT_TRUE(std::filesystem::exists(chunk.frame->localPath));
    EXPECT_NE(chunk.frame->localPath, page.h.picture("mine.png"));
}

TEST(FrameReviewModel, ImportIsOnlyOfferedForImportedPlansAndNotWhileBusy)
{
    Project project = projectWithChunks(1, 0);
    Page notImported(project);
    notImported.model->importImage(QString::fromStdString(notImported.store->project().chunks[0].id.text()));
    EXPECT_TRUE(notImported.picker.requests.empty());

    project.planImported = true;
    Page busy(project);
    HeldOperation op(*busy.store, "Generating frame 1");
    busy.model->importImage(QString::fromStdString(busy.store->project().chunks[0].id.text()));
    EXPECT_TRUE(busy.picker.requests.empty());
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*busy.store));
}
