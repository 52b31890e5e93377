// The whole way from the window alone: a new project, a song picked in the file
// dialog, timing, a character, the storyboard, every frame, motion, the preview and
// the export, each started from its page's controls against the fake vendor and the
// standard engines. What comes out is an H.264 MP4 as long as the song, and it is the
// file the window showed in the file manager.

#include "PageWindow.h"

#include <gtest/gtest.h>

using namespace vl;
using vl::testing::PageWindow;
using vl::testing::StoreHarness;

namespace {

constexpr double kSongSeconds = 4.0;

fakes::Reply transcriptAnswer()
{
    const char* lines[] = {"light the paper lanterns", "let them drift away", "over the black water",
                           "till the morning day"};
    nlohmann::json lyrics = nlohmann::json::array();
    for (int i = 0; i < 4; ++i)
        lyrics.push_back({{"text", lines[i]}, {"startTime", i * 1.0}, {"endTime", i + 1.0}});
    return fakes::Reply::json({{"output", {{"lyrics", lyrics}}}});
}

fakes::Reply plannerAnswer()
{
    nlohmann::json frames = nlohmann::json::array();
    const char* lines[] = {"light the paper lanterns", "let them drift away", "over the black water",
                           "till the morning day"};
    const char* rendered[] = {"LIGHT THE PAPER LANTERNS", "LET THEM DRIFT AWAY", "OVER THE BLACK WATER",
                              "TILL THE MORNING DAY"};
    for (int i = 0; i < 4; ++i)
        frames.push_back({{"chunkNumber", i + 1},
                          {"startTime", i * 1.0},
                          {"endTime", i + 1.0},
                          {"lyricExcerpt", lines[i]},
                          {"renderedText", rendered[i]},
                          {"primaryCharacterInFrame", i % 2 == 0},
                          {"elementIdsUsed", {"lantern"}}});
    const nlohmann::json plan = {
        {"motif", "paper lanterns on dark water"},
        {"elementIds", {{{"id", "lantern"}, {"type", "prop"}, {"textToImagePrompt", "a red paper lantern"}}}},
        {"frames", frames}};
    return fakes::Reply::json({{"output", plan.dump()}});
}

} // namespace

TEST(EndToEndWindow, FromNewProjectToAnExportedVideo)
{
    PageWindow w(std::nullopt, PipelineServices::standard());
    ASSERT_NE(w.window, nullptr);
    const auto idle = [&] { return StoreHarness::waitForIdle(*w.store, 400000); };
    const auto stage = [&](int row) { w.tap(w.item(("stageRow" + std::to_string(row)).c_str())); w.settle(); };

    // New Project, then the song through the file dialog; timing starts by itself.
    w.window->requestActivate();
    QTest::keyClick(w.window, Qt::Key_N, Qt::ControlModifier);
    w.settle();
    const Uuid projectID = w.store->project().id;
    EXPECT_EQ(w.store->selectedStage(), PipelineStage::intake);
    const auto song = w.h.song("lanterns.m4a", kSongSeconds, {"title=Paper Lanterns", "artist=The Marker Kids"});
    ASSERT_FALSE(song.empty());
    w.h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, transcriptAnswer()});
    w.picker.answers = {QString::fromStdString(song.string())};
    w.tapInStage("dropZone");
    ASSERT_TRUE(vl::testing::waitUntil(
        [&] { return !w.store->timingInProgress() && w.store->project().transcript.size() == 4; }, 60000));
    ASSERT_TRUE(idle());
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    EXPECT_EQ(w.store->project().title, "Paper Lanterns");
    // A small video keeps the run short; the size is the export page's setting.
    stage(8);
    QMetaObject::invokeMethod(w.item("resolutionPicker"), "activated", Q_ARG(int, 0));
    ASSERT_EQ(w.store->project().exportSettings.resolution, ExportResolution::p720);

    // Timing, then a character with a reference picture the vendor processes.
    stage(1);
    w.tapInStage("continueButton");
    ASSERT_EQ(w.store->selectedStage(), PipelineStage::characters);
    w.settle();
    w.tapInStage("newNameField");
    for (char c : std::string("Mara"))
        QTest::keyClick(w.window, c);
    w.tapInStage("addButton");
    ASSERT_EQ(w.store->project().characters.size(), 1u);
    w.settle();
    const auto reference = vl::testing::writePicture(w.h.folder.path() / "mara.png", 120);
    w.picker.answers = {QString::fromStdString(reference)};
    w.tapInStage("referenceButton");
    ASSERT_TRUE(vl::testing::waitUntil([&] { return w.store->project().characters[0].processedImageURL.has_value(); },
                                       60000));
    ASSERT_TRUE(idle());
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();

    // The storyboard: planned, its element rendered, then the frames page.
    w.settle();
    w.h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, plannerAnswer()});
    w.tapInStage("storyboardButton");
    ASSERT_TRUE(vl::testing::waitUntil([&] { return w.store->project().chunks.size() == 4; }, 60000));
    ASSERT_TRUE(idle());
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();

    stage(4);
    EXPECT_EQ(w.text("framesCount"), "0/4 generated");
    w.tapInStage("generateMissingButton");
    ASSERT_TRUE(vl::testing::waitUntil([&] { return w.store->project().framedCount() == 4; }, 120000));
    ASSERT_TRUE(idle());
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    w.settle("e2e-frames");
    EXPECT_EQ(w.text("framesCount"), "4/4 generated");

    // Motion, the preview, and on to the export.
    w.tapInStage("setUpMotionButton");
    ASSERT_EQ(w.store->selectedStage(), PipelineStage::motion);
    w.settle();
    w.tapInStage("renderMotionButton");
    ASSERT_TRUE(idle());
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    w.settle();
    EXPECT_EQ(w.text("clipText"), "All clips rendered");
    w.tapInStage("previewTimelineButton");
    w.settle("e2e-preview");
    EXPECT_NE(w.item("clipPlayer"), nullptr) << "the first chunk's clip is on the stage";
    EXPECT_EQ(w.text("previewChip"), "Sequence complete");
    w.tapInStage("previewExportButton");
    ASSERT_EQ(w.store->selectedStage(), PipelineStage::exportVideo);
    w.settle();
    w.tapInStage("exportButton");
    ASSERT_TRUE(idle());
    ASSERT_FALSE(w.store->lastError()) << *w.store->lastError();
    w.settle("e2e-export");

    ASSERT_EQ(w.desktop.revealed.size(), 1);
    const std::filesystem::path video = w.desktop.revealed[0].toStdString();
    EXPECT_EQ(video.filename(), "Paper_Lanterns.mp4");
    EXPECT_EQ(w.text("exportedText"), "Exported to Paper_Lanterns.mp4");
    EXPECT_EQ(w.store->project().id, projectID);
    const auto movie = vl::testing::probeMovie(video);
    ASSERT_TRUE(movie);
    const auto videoStreams = movie->of("video");
    ASSERT_EQ(videoStreams.size(), 1u);
    EXPECT_EQ(videoStreams[0].codec, "h264");
    EXPECT_NEAR(movie->seconds, kSongSeconds, 0.1);
    EXPECT_EQ(movie->of("audio").size(), 1u) << "the song is in the video";
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}
