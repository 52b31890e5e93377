#include "app/AppFixtures.h"
#include "fakes/FakeDesktop.h"
#include "screens/ScreenServices.h"
#include "media/export/VideoExporter.h"
#include "pipeline/ClipFixtures.h"
#include "screens/ExportModel.h"
#include "screens/PreviewTimelineModel.h"
#include "support/Formatters.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::screens;
using vl::testing::HeldOperation;
using vl::testing::projectWithChunks;
using vl::testing::StoreHarness;

namespace fs = std::filesystem;

namespace {

struct Page {
    explicit Page(Project project)
    {
        PipelineServices engines;
        engines.motion = renderer;
        engines.exporter = std::make_shared<VideoExporter>();
        store = h.make(std::move(project), std::move(engines));
        services = std::make_unique<screens::ScreenServices>(*store, picker, desktop);
        model = std::make_unique<ExportModel>(*services);
    }
    // Chunks of half a second whose first `framed` have real pictures.
    static Project renderable(StoreHarness& h, int total, int framed)
    {
        Project p = projectWithChunks(total, framed, "Night Drive");
        for (int i = 0; i < total; ++i) {
            auto& c = p.chunks[static_cast<std::size_t>(i)];
            c.start = i * 0.5;
            c.end = c.start + 0.5;
            if (c.frame)
                c.frame->localPath =
                    vl::testing::writePicture(h.folder.path() / ("f" + std::to_string(i) + ".png"), 40 * i);
        }
        return p;
    }
    StoreHarness h;
    std::shared_ptr<vl::testing::RecordingRenderer> renderer = std::make_shared<vl::testing::RecordingRenderer>();
    test::FakeDesktop desktop;
    test::FakeFilePicker picker;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<screens::ScreenServices> services;
    std::unique_ptr<ExportModel> model;
};

} // namespace

TEST(ExportModel, GateNoticeAndSummary)
{
    struct Case {
        int total, framed;
        ExportState::Gate gate;
        const char* notice;
        bool canExport;
        const char* gateSymbol;
        const char* gateText;
    } cases[] = {
        {0, 0, ExportState::Gate::locked, "", false, "lock.fill", "Export unlocks once at least one frame exists."},
        {5, 0, ExportState::Gate::locked, "", false, "lock.fill", "Export unlocks once at least one frame exists."},
        {5, 3, ExportState::Gate::partial,
         "Exporting with 3/5 frames — missing frames use rotating instrumental clips.", true, "info.circle.fill",
         "Exporting with 3/5 frames — missing frames use rotating instrumental clips."},
        {5, 5, ExportState::Gate::none, "", true, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.framed << "/" << c.total);
        const ExportState s = exportState(projectWithChunks(c.total, c.framed), 0, false, std::nullopt);
        EXPECT_EQ(s.gate, c.gate);
        EXPECT_EQ(s.noticeText.toStdString(), c.notice);
        EXPECT_EQ(s.canExport, c.canExport);
        EXPECT_EQ(s.gateSymbol.toStdString(), c.gateSymbol);
        EXPECT_EQ(s.gateText.toStdString(), c.gateText);
        EXPECT_EQ(s.chunksText, QString::number(c.total));
        EXPECT_EQ(s.acceptedText, QString::number(c.framed));
        EXPECT_EQ(s.buttonText, "Export lyric video");
    }

    Project p = projectWithChunks(2, 2);
    p.chunks[1].end = 125.4;
    TranscriptSegment last;
    last.end = 125.4;
    p.transcript = {last};
    const ExportState s = exportState(p, 0, false, std::nullopt);
    EXPECT_EQ(s.durationText, "2:05");
    EXPECT_EQ(s.outputText, "1080p · MP4 (H.264)");
    EXPECT_EQ(s.destinationText, "Not chosen");
    EXPECT_FALSE(s.hasDestination);
    EXPECT_EQ(exportState(projectWithChunks(0, 0), 0, false, {}).durationText, "0:00");
}

TEST(ExportModel, DurationIsTheLengthOfTheVideoTheClipsMake)
{
    struct Case {
        const char* what;
        std::vector<std::pair<double, double>> chunks;
        double transcriptEnd;
        const char* duration;
    } cases[] = {
        // The song runs on past the last passage; the video ends with it.
        {"an intro and pauses", {{10, 12}, {14, 15.4}, {20, 64.6}}, 200, "1:05"},
        {"the last passage ends before the transcript", {{0, 5.4}}, 6.2, "0:05"},
        {"out of time order", {{30, 31}, {0, 2}}, 0, "0:02"},
        {"a short last passage gets half a second", {{0, 59.7}, {59.7, 59.8}}, 0, "1:00"},
        {"no chunks", {}, 125.4, "0:00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Project p = projectWithChunks(static_cast<int>(c.chunks.size()), 0);
        for (std::size_t i = 0; i < c.chunks.size(); ++i)
            std::tie(p.chunks[i].start, p.chunks[i].end) = c.chunks[i];
        TranscriptSegment last;
        last.end = c.transcriptEnd;
        p.transcript = {last};
        EXPECT_EQ(exportState(p, 0, false, std::nullopt).durationText.toStdString(), c.duration);
    }
}

TEST(ExportModel, TheSummaryThePreviewAndTheExportAgreeOnTheVideosLength)
{
    struct Case {
        const char* what;
        std::optional<double> song; // none: no song; 0: a song that cannot be read, laid out as none
        std::vector<std::pair<double, double>> chunks;
        const char* duration;
    } cases[] = {
        // Plans may run on past the song's end; the video stops with the song.
        {"a plan running past a 20 s song", 20, {{0, 10}, {10, 45}}, "0:20"},
        {"a last passage held past the length kept without a song", 185, {{0, 1}, {1, 185}}, "3:05"},
        {"the song running on after the last passage", 30, {{0, 4}, {4, 12}}, "0:12"},
        {"no song", std::nullopt, {{2, 4}, {6, 9.5}}, "0:10"},
        {"a song that cannot be read counts as none", 0, {{0, 10}, {10, 45}}, "0:45"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StoreHarness scratch;
        Project p = Page::renderable(scratch, static_cast<int>(c.chunks.size()), static_cast<int>(c.chunks.size()));
        for (std::size_t i = 0; i < c.chunks.size(); ++i)
            std::tie(p.chunks[i].start, p.chunks[i].end) = c.chunks[i];
        if (c.song)
            p.audioPath = *c.song > 0 ? scratch.song("song.wav", *c.song).string()
                                      : (scratch.folder.path() / "unmounted" / "song.wav").string();
        Page page(p);
        PreviewTimelineModel preview(*page.services);
        ASSERT_TRUE(StoreHarness::waitForIdle(*page.store)); // the song's length is read on a worker
        EXPECT_EQ(page.model->durationText().toStdString(), c.duration);
        EXPECT_EQ(preview.durationText().toStdString(), c.duration);

        std::optional<fs::path> exported;
        page.store->exportVideo([&](const fs::path& file) { exported = file; });
        ASSERT_TRUE(StoreHarness::waitForIdle(*page.store, 300000));
        ASSERT_FALSE(page.store->lastError()) << *page.store->lastError();
        ASSERT_TRUE(exported);
        std::int64_t frames = 0;
        for (const auto& call : page.renderer->calls())
            frames += frameCount(call.motion);
        EXPECT_EQ(support::formatMinutesSeconds(static_cast<double>(frames) / 30).toStdString(), c.duration);
        const auto movie = vl::testing::probeMovie(*exported);
        ASSERT_TRUE(movie);
        ASSERT_EQ(movie->of("video").size(), 1u);
        EXPECT_NEAR(movie->of("video")[0].seconds, static_cast<double>(frames) / 30, 0.05);
    }
}

TEST(ExportModel, AnyRunDisablesExportAndShowsItsProgress)
{
    const Project p = projectWithChunks(3, 3);
    ExportState s = exportState(p, 0, true, std::nullopt);
    EXPECT_FALSE(s.canExport);
    EXPECT_EQ(s.buttonText, "Exporting…");
    EXPECT_FALSE(s.showsMeter);
    s = exportState(p, 0, true, 0.6);
    EXPECT_TRUE(s.showsMeter);
    EXPECT_DOUBLE_EQ(s.progress, 0.6);
    EXPECT_FALSE(exportState(p, 0, false, 0.6).showsMeter);
}

TEST(ExportModel, SettingsAreEditsOfTheProject)
{
    Page page(projectWithChunks(2, 2));
    ExportModel& m = *page.model;
    EXPECT_EQ(ExportModel::resolutionOptions(), (QStringList{"720p", "1080p", "1440p", "4K"}));
    EXPECT_EQ(ExportModel::containerOptions(), (QStringList{"MP4 (H.264)", "MOV (ProRes)"}));
    EXPECT_EQ(m.resolutionIndex(), 1);

    QSignalSpy projectChanges(page.store.get(), &ProjectStore::projectChanged);
    m.setResolutionIndex(1); // what a picker reports back on its own
    m.setResolutionIndex(9);
    EXPECT_EQ(projectChanges.count(), 0);

    m.setResolutionIndex(3);
    m.setContainerIndex(1);
    m.setIncludeOriginalAudio(false);
    const ExportSettings& s = page.store->project().exportSettings;
    EXPECT_EQ(s.resolution, ExportResolution::p2160);
    EXPECT_EQ(s.container, ExportContainer::mov);
    EXPECT_FALSE(s.includeOriginalAudio);
    EXPECT_EQ(m.outputText(), "4K · MOV (ProRes)");
    EXPECT_EQ(projectChanges.count(), 3);

    // "Choose…": folders only; a cancel keeps the destination.
    page.picker.answers = {QString(), QStringLiteral("/home/me/Videos")};
    m.chooseDestination();
    vl::testing::spin(30);
    ASSERT_EQ(page.picker.requests.size(), 1u);
    EXPECT_EQ(page.picker.requests[0].mode, support::FileRequest::Mode::Folder);
    EXPECT_TRUE(page.store->project().exportSettings.destinationFolder.empty());
    m.chooseDestination();
    ASSERT_TRUE(vl::testing::waitUntil([&] { return m.hasDestination(); }));
    EXPECT_EQ(m.destinationText(), "/home/me/Videos");
    EXPECT_EQ(m.savedToText(), "/home/me/Videos/Night_Drive.mov") << "the summary names the file to be written";

    page.store->setLastError("Old failure.");
    m.reviewFrames();
    EXPECT_EQ(page.store->selectedStage(), PipelineStage::frames);
    EXPECT_FALSE(page.store->lastError());
}

TEST(ExportModel, ASuccessfulExportIsNamedAndRevealedOnceAFailureKeepsIt)
{
    StoreHarness scratch;
    Page page(Page::renderable(scratch, 3, 2));
    ExportModel& m = *page.model;
    EXPECT_FALSE(m.hasLastExport());
    EXPECT_EQ(m.destinationText(), "Not chosen");
    const QString target = QString::fromStdString(page.store->exportOutputPath().string());
    EXPECT_TRUE(target.endsWith("/exports/Night_Drive.mp4")) << target.toStdString();
    EXPECT_EQ(m.savedToText(), target);

    m.exportVideo();
    EXPECT_EQ(m.buttonText(), "Exporting…");
    EXPECT_FALSE(m.canExport());
    ASSERT_TRUE(StoreHarness::waitForIdle(*page.store, 60000));
    ASSERT_FALSE(page.store->lastError()) << *page.store->lastError();
    ASSERT_TRUE(m.hasLastExport());
    EXPECT_EQ(m.exportedText(), "Exported to Night_Drive.mp4");
    EXPECT_TRUE(fs::exists(m.lastExport().toStdString()));
    EXPECT_EQ(m.savedToText(), m.lastExport()) << "no destination chosen: the summary names where the file went";
    EXPECT_EQ(page.desktop.revealed, QStringList{m.lastExport()}) << "shown in the file manager at once, once";

    m.revealLastExport();
    EXPECT_EQ(page.desktop.revealed.size(), 2);

    // A failing export: the banner has it, the row stays as it was, nothing is revealed.
    const QString before = m.lastExport();
    page.store->editProject([](Project& p) { p.chunks[0].frame->localPath = "/nowhere/gone.png"; });
    page.renderer->failOnCall = page.renderer->calls().size();
    m.exportVideo();
    ASSERT_TRUE(StoreHarness::waitForIdle(*page.store, 60000));
    EXPECT_TRUE(page.store->lastError());
    EXPECT_EQ(m.lastExport(), before);
    EXPECT_EQ(m.exportedText(), "Exported to Night_Drive.mp4");
    EXPECT_EQ(page.desktop.revealed.size(), 2);
    EXPECT_EQ(m.buttonText(), "Export lyric video");
}

TEST(ExportModel, APageGoneMidExportIsNoCrashAndTheFileIsStillShown)
{
    StoreHarness scratch;
    Page page(Page::renderable(scratch, 2, 2));
    page.model->exportVideo();
    page.model.reset(); // the user left the page
    ASSERT_TRUE(StoreHarness::waitForIdle(*page.store, 60000));
    ASSERT_FALSE(page.store->lastError()) << *page.store->lastError();
    ASSERT_TRUE(page.store->lastExportPath());
    EXPECT_EQ(page.desktop.revealed, QStringList{QString::fromStdString(page.store->lastExportPath()->string())});

    // A new page starts without a result of its own.
    ExportModel fresh(*page.services);
    EXPECT_FALSE(fresh.hasLastExport());
}

TEST(ExportModel, ExportDoesNothingWhileAnotherRunIsUnderWay)
{
    StoreHarness scratch;
    Page page(Page::renderable(scratch, 2, 2));
    HeldOperation op(*page.store, "Generating frame 1");
    page.model->exportVideo();
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*page.store));
    EXPECT_FALSE(page.store->lastExportPath());
    EXPECT_TRUE(page.renderer->calls().empty());
}
