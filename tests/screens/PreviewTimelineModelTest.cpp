#include "app/AppFixtures.h"
#include "fakes/FakeDesktop.h"
#include "screens/ScreenServices.h"
#include "design/Intent.h"
#include "screens/PreviewTimelineModel.h"

#include "screens/lists/ChunkListModel.h"
#include "pipeline/ClipFixtures.h"
#include "screens/MotionControlsModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fstream>

using namespace vl;
using namespace vl::screens;
using vl::testing::projectWithChunks;
using vl::testing::recordedClips;
using vl::testing::StoreHarness;

namespace {

struct Page {
    explicit Page(Project project)
    {
        PipelineServices pipeline;
        pipeline.motion = vl::testing::stubRenderer();
        store = h.make(std::move(project), std::move(pipeline));
        services = std::make_unique<screens::ScreenServices>(*store, picker, desktop);
        model = std::make_unique<PreviewTimelineModel>(*services);
    }
    QString idOf(std::size_t i) const { return QString::fromStdString(store->project().chunks[i].id.text()); }
    // Gives every frame a picture on disk and makes the clips as the motion step does.
    void renderClips()
    {
        store->editProject([&](Project& p) {
            for (std::size_t i = 0; i < p.chunks.size(); ++i)
                if (p.chunks[i].frame)
                    p.chunks[i].frame->localPath = h.picture("frame" + std::to_string(i) + ".png");
        });
        store->renderMotion();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        ASSERT_FALSE(store->lastError()) << *store->lastError();
    }
    std::string clipOf(std::size_t i) const { return store->project().chunks[i].frame->motionClipPath.value_or(""); }
    QUrl clipUrlOf(std::size_t i) const { return QUrl::fromLocalFile(QString::fromStdString(clipOf(i))); }
    StoreHarness h;
    test::FakeFilePicker picker;
    test::FakeDesktop desktop;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<screens::ScreenServices> services;
    std::unique_ptr<PreviewTimelineModel> model;
};

Project withTranscriptEnd(Project p, double end)
{
    TranscriptSegment segment;
    segment.text = "last";
    segment.start = 0;
    segment.end = end;
    p.transcript.push_back(segment);
    return p;
}

} // namespace

TEST(PreviewTimelineModel, ChipAndExportFollowTheFrames)
{
    struct Case {
        int total, framed;
        const char* chip;
        int intent;
        bool canExport;
    } cases[] = {
        {0, 0, "0/0 accepted", design::Intent::Pending, false},
        {3, 0, "0/3 accepted", design::Intent::Pending, false},
        {4, 2, "2/4 accepted", design::Intent::Pending, true},
        {4, 4, "Sequence complete", design::Intent::Good, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chip);
        const PreviewState s = previewState(projectWithChunks(c.total, c.framed), 0, std::nullopt, {});
        EXPECT_EQ(s.chipText.toStdString(), c.chip);
        EXPECT_EQ(s.chipIntent, c.intent);
        EXPECT_EQ(s.canExport, c.canExport);
    }
}

TEST(PreviewTimelineModel, NoChunksShowNothingToPreview)
{
    const PreviewState s = previewState(projectWithChunks(0, 0), 0, std::nullopt, {});
    EXPECT_EQ(s.stage, PreviewState::Stage::empty);
    EXPECT_TRUE(s.shownChunkID.isEmpty());
    EXPECT_EQ(s.timeText, "0:00.00");
    EXPECT_EQ(s.durationText, "0:00");
}

TEST(PreviewTimelineModel, NoOrAStaleSelectionShowsTheFirstChunkAtZero)
{
    Project p = projectWithChunks(3, 3);
    p.chunks[0].start = 12.5;
    const Uuid gone = Uuid::random();
    for (const std::optional<Uuid>& selection : {std::optional<Uuid>(), std::optional<Uuid>(gone)}) {
        const PreviewState s = previewState(p, 0, selection, {});
        EXPECT_EQ(s.shownChunkID.toStdString(), p.chunks[0].id.text());
        EXPECT_EQ(s.stage, PreviewState::Stage::still);
        EXPECT_EQ(s.timeText, "0:00.00") << "only a selected chunk's start is shown";
    }
}

TEST(PreviewTimelineModel, TimesOfTheSelectedChunkAndTheSong)
{
    Project p = withTranscriptEnd(projectWithChunks(2, 1), 200);
    p.chunks[1].start = 75.5;
    p.chunks[1].end = 200;
    const PreviewState s = previewState(p, 0, p.chunks[1].id, {});
    EXPECT_EQ(s.shownChunkID.toStdString(), p.chunks[1].id.text());
    EXPECT_EQ(s.timeText, "1:15.50");
    EXPECT_EQ(s.durationText, "3:20");
    EXPECT_FALSE(s.shownHasFrame);
    EXPECT_EQ(s.shownText, "LINE 2");
    EXPECT_EQ(s.stage, PreviewState::Stage::still);
}

TEST(PreviewTimelineModel, TheClockAndLengthAreTheVideosAsTheClipsLayItOut)
{
    // A 10 s intro and a pause: the first clip starts the video, the last ends it.
    Project p = withTranscriptEnd(projectWithChunks(3, 3), 240);
    const double times[][2] = {{10, 12}, {12, 14}, {20, 95.4}};
    for (std::size_t i = 0; i < 3; ++i) {
        p.chunks[i].start = times[i][0];
        p.chunks[i].end = times[i][1];
    }
    p.chunks[2].frame->motionClipPath = "/clips/missing.mov"; // no file: the still
    EXPECT_EQ(previewState(p, 0, std::nullopt, recordedClips(p)).durationText, "1:35") << "the video's length, not the song's";
    struct Case {
        std::size_t chunk;
        double played;
        const char* clock;
    } cases[] = {
        {0, 0, "0:00.00"},  // the first clip covers the intro
        {1, 0, "0:12.00"},
        {2, 0, "0:20.00"},
        {2, 3.25, "0:20.00"}, // a still does not play
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.chunk << " + " << c.played);
        EXPECT_EQ(previewState(p, 0, p.chunks[c.chunk].id, recordedClips(p), c.played).timeText.toStdString(), c.clock);
    }
}

TEST(PreviewTimelineModel, TheClockFollowsThePlayingClip)
{
    Page page(projectWithChunks(3, 3));
    page.renderClips();
    page.store->editProject([&](Project& p) { p.chunks[0].frame->motionClipPath.reset(); });
    page.model->select(page.idOf(1));
    ASSERT_TRUE(page.model->showsPlayer());
    EXPECT_EQ(page.model->timeText(), "0:04.00");

    QSignalSpy changes(page.model.get(), &ScreenModel::changed);
    page.model->setPlaybackPosition(1500);
    EXPECT_EQ(page.model->timeText(), "0:05.50");
    EXPECT_EQ(changes.count(), 1);
    page.model->setPlaybackPosition(2254);
    EXPECT_EQ(page.model->timeText(), "0:06.25");

    // Another clip starts at its beginning.
    page.model->select(page.idOf(2));
    EXPECT_EQ(page.model->playbackPosition(), 0);
    EXPECT_EQ(page.model->timeText(), "0:08.00");
    // A still shows where it sits, whatever a player reported last.
    page.model->setPlaybackPosition(900);
    page.model->select(page.idOf(0));
    EXPECT_TRUE(page.model->showsStill());
    EXPECT_EQ(page.model->timeText(), "0:00.00");
}

TEST(PreviewTimelineModel, OnlyAClipWithContentIsPlayed)
{
    Page page(projectWithChunks(3, 3));
    page.renderClips();
    // Emptied and removed after they were made.
    std::ofstream(page.clipOf(0), std::ios::trunc).close();
    std::filesystem::remove(page.clipOf(2));
    // A 0-byte clip: the still frame.
    page.model->select(page.idOf(0));
    EXPECT_FALSE(page.model->showsPlayer());
    EXPECT_TRUE(page.model->showsStill());
    EXPECT_TRUE(page.model->clipUrl().isEmpty());
    EXPECT_EQ(page.model->shownLocalPath().toStdString(), page.store->project().chunks[0].frame->localPath);

    page.model->select(page.idOf(1));
    EXPECT_TRUE(page.model->showsPlayer());
    EXPECT_EQ(page.model->clipUrl(), page.clipUrlOf(1));

    page.model->select(page.idOf(2));
    EXPECT_TRUE(page.model->showsStill()) << "a missing clip falls back to the still";
}

TEST(PreviewTimelineModel, TheClipUrlIsSignalledOnlyWhenItChanges)
{
    Page page(projectWithChunks(2, 2));
    page.renderClips();
    QSignalSpy clipChanges(page.model.get(), &PreviewTimelineModel::clipUrlChanged);
    page.model->select(page.idOf(0)); // the first chunk was shown already
    page.store->editProject([](Project& p) { p.title = "Another title"; });
    page.store->editProject([](Project& p) { p.chunks[1].renderedText = "CHANGED"; });
    EXPECT_EQ(clipChanges.count(), 0) << "redraws for other reasons keep the player's source";

    page.model->select(page.idOf(1));
    EXPECT_EQ(clipChanges.count(), 1);
    EXPECT_EQ(page.model->clipUrl(), page.clipUrlOf(1));
    EXPECT_EQ(page.store->selectedChunkIDText(), page.idOf(1)) << "the selection lives in the store";
}

TEST(PreviewTimelineModel, ExportLeadsToTheExportPageOnlyWithAFrame)
{
    Page none(projectWithChunks(2, 0));
    none.model->goToExport();
    EXPECT_NE(none.store->selectedStage(), PipelineStage::exportVideo);
    Page some(projectWithChunks(2, 1));
    some.model->goToExport();
    EXPECT_EQ(some.store->selectedStage(), PipelineStage::exportVideo);
}

TEST(PreviewTimelineModel, AStaleClipIsNeitherCountedNorPlayedNorBadgedUntilMadeAgain)
{
    struct Case {
        const char* what;
        std::function<void(Project&)> change;
        std::vector<bool> current; // per chunk, after the change
    } cases[] = {
        {"a new title", [](Project& p) { p.title = "Another"; }, {true, true, true}},
        {"another resolution", [](Project& p) { p.exportSettings.resolution = ExportResolution::p1440; },
         {false, false, false}},
        {"the second chunk starts later", [](Project& p) { p.chunks[1].start += 1; }, {false, false, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Page page(projectWithChunks(3, 3));
        MotionControlsModel motion(*page.services);
        ChunkListModel rows(page.store.get());
        page.renderClips();

        const auto follows = [&](const std::vector<bool>& current) {
            const auto fresh = std::count(current.begin(), current.end(), true);
            EXPECT_EQ(motion.clipsRendered(), fresh);
            EXPECT_EQ(motion.clipText().toStdString(),
                      fresh == 3 ? "All clips rendered" : std::to_string(fresh) + " of 3 clips rendered");
            for (std::size_t i = 0; i < current.size(); ++i) {
                page.model->select(page.idOf(i));
                EXPECT_EQ(page.model->showsPlayer(), current[i]) << i;
                EXPECT_EQ(page.model->showsStill(), !current[i]) << i;
                EXPECT_EQ(rows.get(static_cast<int>(i), "hasCurrentClip").toBool(), current[i]) << i;
            }
        };
        follows({true, true, true});

        page.store->editProject(c.change);
        follows(c.current);
        ASSERT_TRUE(StoreHarness::waitForIdle(*page.store));
        follows(c.current);

        page.store->renderMotion();
        ASSERT_TRUE(StoreHarness::waitForIdle(*page.store));
        follows({true, true, true});
    }
}
