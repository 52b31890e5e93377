#include "app/AppFixtures.h"
#include "fakes/FakeDesktop.h"
#include "screens/ScreenServices.h"
#include "screens/MotionControlsModel.h"
#include "pipeline/ClipFixtures.h"

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::screens;
using vl::testing::HeldOperation;
using vl::testing::projectWithChunks;
using vl::testing::recordedClips;
using vl::testing::StoreHarness;

namespace {

// `clips` of the framed chunks carry a recorded clip path (no file behind it).
Project withClips(int total, int framed, int clips)
{
    Project p = projectWithChunks(total, framed);
    for (int i = 0; i < clips; ++i)
        p.chunks[static_cast<std::size_t>(i)].frame->motionClipPath = "/clips/missing-" + std::to_string(i) + ".mov";
    return p;
}

} // namespace

TEST(MotionControlsModel, NoticesCountsAndButtonsFollowTheFramesAndClips)
{
    using Notice = MotionState::Notice;
    struct Case {
        int total, framed, clips;
        Notice notice;
        const char* noticeText;
        const char* framesText;
        const char* clipText;
        bool canRender;
    } cases[] = {
        {0, 0, 0, Notice::nothingFramed, "Generate or import at least one frame first — 0/0 so far.",
         "0 frames · each clip's length matches its timing", "0 of 0 clips rendered", false},
        {5, 0, 0, Notice::nothingFramed, "Generate or import at least one frame first — 0/5 so far.",
         "0 frames · each clip's length matches its timing", "0 of 0 clips rendered", false},
        {5, 3, 1, Notice::someMissing,
         "3/5 frames generated. Missing frames will be filled with rotating instrumental (no-lyric) clips so the "
         "full song still exports.",
         "3 frames · each clip's length matches its timing", "1 of 3 clips rendered", true},
        {5, 3, 3, Notice::someMissing,
         "3/5 frames generated. Missing frames will be filled with rotating instrumental (no-lyric) clips so the "
         "full song still exports.",
         "3 frames · each clip's length matches its timing", "All clips rendered", true},
        {5, 5, 0, Notice::none, "", "5 frames · each clip's length matches its timing", "0 of 5 clips rendered",
         true},
        {12, 12, 11, Notice::none, "", "12 frames · each clip's length matches its timing",
         "11 of 12 clips rendered", true},
        {4, 4, 4, Notice::none, "", "4 frames · each clip's length matches its timing", "All clips rendered", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.clipText);
        const Project p = withClips(c.total, c.framed, c.clips);
        const MotionState s = motionState(p, recordedClips(p), false, std::nullopt);
        EXPECT_EQ(s.notice, c.notice);
        EXPECT_EQ(s.noticeText.toStdString(), c.noticeText);
        EXPECT_EQ(s.framesText.toStdString(), c.framesText);
        EXPECT_EQ(s.clipText.toStdString(), c.clipText);
        EXPECT_EQ(s.canRender, c.canRender);
        EXPECT_EQ(s.canPreview, c.canRender);
        EXPECT_FALSE(s.showsMeter);
    }
    EXPECT_EQ(motionState(withClips(1, 0, 0), {}, false, {}).noticeSymbol, "exclamationmark.triangle.fill");
    EXPECT_EQ(motionState(withClips(2, 1, 0), {}, false, {}).noticeSymbol, "info.circle.fill");
}

TEST(MotionControlsModel, AClipPathOnlyCountsOnAFramedChunk)
{
    Project p = withClips(3, 3, 2);
    std::set<Uuid> current = recordedClips(p);
    current.insert(p.chunks[2].id); // current, but its frame names no clip
    const MotionState s = motionState(p, current, false, {});
    EXPECT_EQ(s.clipsRendered, 2);
    EXPECT_EQ(s.clipText, "2 of 3 clips rendered");
}

TEST(MotionControlsModel, AllClipsAreRenderedOnceEveryFramedChunkHasOneThoughSomeChunksLackAFrame)
{
    StoreHarness h;
    Project p = projectWithChunks(3, 1);
    p.chunks[0].frame->localPath = h.picture("frame.png");
    PipelineServices engines;
    engines.motion = vl::testing::stubRenderer();
    auto store = h.make(std::move(p), std::move(engines));
    test::FakeFilePicker picker;
    test::FakeDesktop desktop;
    screens::ScreenServices services(*store, picker, desktop);
    MotionControlsModel model(services);
    EXPECT_EQ(model.clipText(), "0 of 1 clips rendered");

    store->renderMotion();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    ASSERT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_EQ(model.clipText(), "All clips rendered") << "the frameless chunks' clips borrow that one picture";
}

TEST(MotionControlsModel, TheMeterNeedsBothARunAndAFraction)
{
    const Project p = withClips(4, 4, 0);
    EXPECT_FALSE(motionState(p, {}, true, std::nullopt).showsMeter);
    EXPECT_FALSE(motionState(p, {}, false, 0.4).showsMeter) << "progress without a run shows no meter";
    const MotionState running = motionState(p, {}, true, 0.4);
    EXPECT_TRUE(running.showsMeter);
    EXPECT_DOUBLE_EQ(running.progress, 0.4);
    EXPECT_FALSE(running.canRender);
    EXPECT_TRUE(running.canPreview) << "previewing stays open while work runs";
}

TEST(MotionControlsModel, FollowsTheStoresRunAndNavigates)
{
    StoreHarness h;
    auto store = h.make(withClips(4, 2, 0));
    test::FakeFilePicker picker;
    test::FakeDesktop desktop;
    screens::ScreenServices services(*store, picker, desktop);
    MotionControlsModel model(services);
    EXPECT_TRUE(model.canRender());
    {
        HeldOperation op(*store, "Generating frame 3");
        EXPECT_FALSE(model.canRender());
        store->progressHandler(0.25);
        QCoreApplication::processEvents();
        EXPECT_TRUE(model.showsMeter());
        EXPECT_DOUBLE_EQ(model.progress(), 0.25);
        op.release();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    }
    EXPECT_FALSE(model.showsMeter());
    EXPECT_TRUE(model.canRender());

    store->setLastError("Old failure.");
    model.goToPreview();
    EXPECT_EQ(store->selectedStage(), PipelineStage::preview);
    EXPECT_FALSE(store->lastError());
    model.goToFrames();
    EXPECT_EQ(store->selectedStage(), PipelineStage::frames);
}
