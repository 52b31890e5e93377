#include "AppFixtures.h"

#include "app/WorkspaceModel.h"
#include "design/Intent.h"
#include "design/Palette.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::app;
using vl::testing::HeldOperation;
using vl::testing::projectWithChunks;
using vl::testing::StoreHarness;

TEST(WorkspaceModel, SummaryOfTheOpenProject)
{
    struct Case {
        const char* name;
        Project project;
        const char* title;
        const char* artist;
        long long framed, total;
        double meter;
        const char* chip;
        int intent;
    };
    const Case cases[] = {
        {"empty title and artist", projectWithChunks(0, 0, "", ""), "Untitled project", "\u2014", 0, 0, 0.0,
         "In progress", design::Intent::Pending},
        {"no chunks", projectWithChunks(0, 0), "Night Drive", "Static Harbour", 0, 0, 0.0, "In progress",
         design::Intent::Pending},
        {"half framed", projectWithChunks(12, 6), "Night Drive", "Static Harbour", 6, 12, 0.5, "In progress",
         design::Intent::Pending},
        {"one frame missing", projectWithChunks(3, 2), "Night Drive", "Static Harbour", 2, 3, 2.0 / 3.0,
         "In progress", design::Intent::Pending},
        {"all framed", projectWithChunks(4, 4), "Night Drive", "Static Harbour", 4, 4, 1.0, "Ready to export",
         design::Intent::Good},
        {"spaces are a title", projectWithChunks(1, 1, " ", " "), " ", " ", 1, 1, 1.0, "Ready to export",
         design::Intent::Good},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto s = WorkspaceModel::summaryOf(c.project);
        EXPECT_EQ(s.title, c.title);
        EXPECT_EQ(s.artist, c.artist);
        EXPECT_EQ(s.framed, c.framed);
        EXPECT_EQ(s.total, c.total);
        EXPECT_DOUBLE_EQ(s.meterValue, c.meter);
        EXPECT_EQ(s.chipText, c.chip);
        EXPECT_EQ(s.chipIntent, c.intent);
    }
}

TEST(WorkspaceModel, FollowsTheStoreAndSignalsOnlyRealSummaryChanges)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(12, 6));
    WorkspaceModel model(store.get());
    EXPECT_EQ(model.frameCountText(), "6/12");

    QSignalSpy summary(&model, &WorkspaceModel::summaryChanged);
    store->editProject([](Project& p) { p.chunks[0].renderedText = "typed"; });
    EXPECT_EQ(summary.count(), 0) << "an edit that changes no count must not redraw the bar";

    store->editProject([](Project& p) {
        for (auto& c : p.chunks)
            c.frame = GeneratedFrame{};
    });
    EXPECT_EQ(summary.count(), 1);
    EXPECT_EQ(model.frameCountText(), "12/12");
    EXPECT_EQ(model.chipText(), "Ready to export");

    store->setProject(projectWithChunks(0, 0, "", ""));
    EXPECT_EQ(model.title(), "Untitled project");
    EXPECT_EQ(model.frameCountText(), "0/0");
    EXPECT_EQ(model.meterValue(), 0.0);
}

TEST(WorkspaceModel, CapsuleShowsTheRunningOperationOverTheError)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(2, 0));
    WorkspaceModel model(store.get());
    EXPECT_EQ(model.capsule(), WorkspaceModel::Capsule::hidden);
    EXPECT_EQ(model.capsuleMessage(), "");

    store->setLastError("The planner failed.");
    EXPECT_EQ(model.capsule(), WorkspaceModel::Capsule::error);
    EXPECT_EQ(model.capsuleMessage(), "The planner failed.");

    HeldOperation op(*store, "Generating 2 frames");
    EXPECT_EQ(model.capsule(), WorkspaceModel::Capsule::running);
    // An error raised while the operation still runs stays behind its label.
    store->setLastError("Couldn't render 1 element (boat). Tap \u201cRender elements\u201d to retry.");
    EXPECT_EQ(model.capsule(), WorkspaceModel::Capsule::running);
    EXPECT_EQ(model.capsuleMessage(), "Generating 2 frames");
    EXPECT_TRUE(model.showsRunning());
    EXPECT_FALSE(model.showsError());

    QSignalSpy capsule(&model, &WorkspaceModel::capsuleChanged);
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_GE(capsule.count(), 1);
    EXPECT_EQ(model.capsule(), WorkspaceModel::Capsule::error);
    EXPECT_EQ(model.capsuleMessage(),
              "Couldn't render 1 element (boat). Tap \u201cRender elements\u201d to retry.");
}

TEST(WorkspaceModel, DismissAndStageChangesClearTheErrorOnlyWhenTheyShould)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(2, 1));
    WorkspaceModel model(store.get());
    store->setSelectedStage(PipelineStage::frames);
    const Project before = store->project();

    // Reselecting the stage that is already selected leaves the error.
    store->setLastError("Could not open that project \u2014 its file may be missing.");
    model.selectStage(static_cast<int>(PipelineStage::frames));
    EXPECT_EQ(model.capsule(), WorkspaceModel::Capsule::error);

    // Another stage clears it and is selected.
    QSignalSpy stageSpy(&model, &WorkspaceModel::selectedStageChanged);
    model.selectStage(static_cast<int>(PipelineStage::style));
    EXPECT_EQ(store->selectedStage(), PipelineStage::style);
    EXPECT_EQ(stageSpy.count(), 1);
    EXPECT_EQ(model.selectedStageLabel(), "Style");
    EXPECT_FALSE(store->lastError().has_value());

    // Dismiss clears the error and nothing else.
    store->setLastError("The planner failed.");
    model.dismissError();
    EXPECT_FALSE(store->lastError().has_value());
    EXPECT_EQ(store->selectedStage(), PipelineStage::style);
    EXPECT_EQ(store->project(), before);

    // A stage number outside the nine is ignored.
    store->setLastError("The planner failed.");
    for (int bad : {-1, 9, 100}) {
        model.selectStage(bad);
        EXPECT_EQ(store->selectedStage(), PipelineStage::style);
        EXPECT_TRUE(store->lastError().has_value());
    }
}

TEST(WorkspaceModel, StageRowsFollowTheProjectAndTheSelection)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(0, 0));
    WorkspaceModel model(store.get());
    store->setSelectedStage(PipelineStage::timing);

    const auto rows = model.rows();
    ASSERT_EQ(rows.size(), 9u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].stage, kAllPipelineStages[i]);
        EXPECT_EQ(rows[i].isSelected, rows[i].stage == PipelineStage::timing);
    }

    // The motion row is always in progress and the export row never complete, whatever
    // the frames; the list model hands QML the matching dot colour.
    const QColor todo = design::Palette::faded(design::Palette::muted(), 0.5);
    const QColor amber = design::Palette::amber();
    const QColor green = design::Palette::goodGreen();
    struct Case {
        int total, framed;
        StageStatus motion, exportRow, frames;
    };
    const Case cases[] = {
        {0, 0, StageStatus::inProgress, StageStatus::todo, StageStatus::todo},
        {12, 6, StageStatus::inProgress, StageStatus::todo, StageStatus::inProgress},
        {3, 3, StageStatus::inProgress, StageStatus::inProgress, StageStatus::complete},
    };
    auto* stages = model.stages();
    const int statusRole = stages->roleOf("status");
    const int dotRole = stages->roleOf("dotColor");
    auto colourOf = [](StageStatus s, QColor t, QColor a, QColor g) {
        return s == StageStatus::todo ? t : s == StageStatus::inProgress ? a : g;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.framed) + "/" + std::to_string(c.total));
        store->setProject(projectWithChunks(c.total, c.framed));
        const auto now = model.rows();
        EXPECT_EQ(now[static_cast<int>(PipelineStage::motion)].status, c.motion);
        EXPECT_EQ(now[static_cast<int>(PipelineStage::exportVideo)].status, c.exportRow);
        EXPECT_EQ(now[static_cast<int>(PipelineStage::frames)].status, c.frames);
        for (auto [stage, status] : {std::pair{PipelineStage::motion, c.motion},
                                     std::pair{PipelineStage::exportVideo, c.exportRow}}) {
            const QModelIndex at = stages->index(static_cast<int>(stage));
            EXPECT_EQ(stages->data(at, statusRole).toInt(), static_cast<int>(status));
            EXPECT_EQ(stages->data(at, dotRole).value<QColor>(), colourOf(status, todo, amber, green));
        }
        EXPECT_NE(stages->data(stages->index(static_cast<int>(PipelineStage::motion)), dotRole).value<QColor>(), todo);
        EXPECT_NE(stages->data(stages->index(static_cast<int>(PipelineStage::exportVideo)), dotRole).value<QColor>(),
                  green);
    }
}

TEST(WorkspaceModel, SelectingAStageRedrawsOnlyTheTwoRowsInvolved)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(4, 2));
    WorkspaceModel model(store.get());
    auto* stages = model.stages();
    QSignalSpy changed(stages, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(stages, &QAbstractItemModel::modelReset);

    model.selectStage(static_cast<int>(PipelineStage::preview));
    ASSERT_EQ(changed.count(), 2);
    std::set<int> rows;
    for (const auto& args : changed) {
        rows.insert(args.at(0).toModelIndex().row());
        EXPECT_EQ(args.at(2).value<QList<int>>(), QList<int>{stages->roleOf("isSelected")});
    }
    EXPECT_EQ(rows, (std::set<int>{static_cast<int>(PipelineStage::intake), static_cast<int>(PipelineStage::preview)}));
    EXPECT_EQ(reset.count(), 0);
}

TEST(WorkspaceModel, EachStageShowsItsOwnScreen)
{
    using S = WorkspaceModel::Screen;
    const std::pair<PipelineStage, S> cases[] = {
        {PipelineStage::intake, S::IntakeScreen},
        {PipelineStage::timing, S::TimingScreen},
        {PipelineStage::characters, S::CharactersScreen},
        {PipelineStage::storyboard, S::StoryboardScreen},
        {PipelineStage::frames, S::FramesScreen},
        {PipelineStage::style, S::StyleScreen},
        {PipelineStage::motion, S::MotionScreen},
        {PipelineStage::preview, S::PreviewScreen},
        {PipelineStage::exportVideo, S::ExportScreen},
    };
    StoreHarness h;
    auto store = h.make(projectWithChunks(2, 1));
    WorkspaceModel model(store.get());
    QSignalSpy changed(&model, &WorkspaceModel::selectedStageChanged);
    for (const auto& [stage, screen] : cases) {
        SCOPED_TRACE(std::string(title(stage)));
        EXPECT_EQ(WorkspaceModel::screenFor(stage), screen);
        // QML names the stage by the registered enumeration: the same screen.
        EXPECT_EQ(WorkspaceModel::screenFor(static_cast<WorkspaceModel::Stage>(static_cast<int>(stage))), screen);
        model.selectStage(static_cast<int>(stage));
        EXPECT_EQ(model.selectedScreen(), screen);
        EXPECT_EQ(model.property("selectedScreen").toInt(), static_cast<int>(screen));
    }
    EXPECT_GE(changed.count(), 8);
    EXPECT_EQ(WorkspaceModel::screenFor(static_cast<WorkspaceModel::Stage>(42)), S::PlaceholderScreen)
        << "a stage the sidebar does not know shows the placeholder";
    // The names QML uses are registered.
    const QMetaEnum stages = QMetaEnum::fromType<WorkspaceModel::Stage>();
    EXPECT_EQ(stages.keyToValue("Frames"), static_cast<int>(PipelineStage::frames));
    EXPECT_EQ(stages.keyToValue("Export"), static_cast<int>(PipelineStage::exportVideo));
}
