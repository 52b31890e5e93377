// The whole pipeline without a screen: the real store with the standard engines
// (FFmpeg, TagLib, the renderers, the exporter) against the fake vendor, from a
// new project to an exported MP4, then the saved document read back from disk.

#include "ClipFixtures.h"
#include "StoreHarness.h"

#include "fakes/VendorReplies.h"

#include "model/MediaLibrary.h"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdlib>

using namespace vl;
using namespace vl::testing;
namespace fs = std::filesystem;

namespace {

// Points the process's temporary folder at a fresh private one for as long as it
// lives, so the test can see exactly what the pipeline left behind.
class PrivateTemporaryFolder {
public:
    PrivateTemporaryFolder()
    {
        const char* old = std::getenv("TMPDIR");
        if (old)
            previous_ = old;
        std::string pattern = (fs::temp_directory_path() / "e2e-tmp-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        setenv("TMPDIR", path_.c_str(), 1);
    }
    ~PrivateTemporaryFolder()
    {
        if (previous_)
            setenv("TMPDIR", previous_->c_str(), 1);
        else
            unsetenv("TMPDIR");
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

    std::vector<std::string> leftovers() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        return names;
    }

private:
    fs::path path_;
    std::optional<std::string> previous_;
};

constexpr double kSongSeconds = 4.0;

fakes::Reply transcriptAnswer()
{
    return fakes::replies::timedTranscript(
        {"light the paper lanterns", "let them drift away", "over the black water", "till the morning day"});
}

// The planner's storyboard as it often comes: prose and a fence around the JSON.
fakes::Reply plannerAnswer()
{
    const nlohmann::json plan = {
        {"ideogramStylePreset", "WATERCOLOR"},
        {"motif", "paper lanterns on dark water"},
        {"elementIds",
         {{{"id", "lantern"}, {"type", "prop"}, {"textToImagePrompt", "a red paper lantern"}},
          {{"id", "river"}, {"type", "setting"}, {"textToImagePrompt", "a black river at night"}}}},
        {"frames",
         {{{"chunkNumber", 1}, {"startTime", 0.0}, {"endTime", 1.0}, {"lyricExcerpt", "light the paper lanterns"},
           {"renderedText", "LIGHT THE PAPER LANTERNS"}, {"primaryCharacterInFrame", true},
           {"elementIdsUsed", {"lantern"}}},
          {{"chunkNumber", 2}, {"startTime", 1.0}, {"endTime", 2.0}, {"lyricExcerpt", "let them drift away"},
           {"renderedText", "LET THEM DRIFT AWAY"}, {"elementIdsUsed", {"lantern", "river"}}},
          {{"chunkNumber", 3}, {"startTime", 2.0}, {"endTime", 3.0}, {"lyricExcerpt", "over the black water"},
           {"renderedText", "OVER THE BLACK WATER"}, {"elementIdsUsed", {"river"}}},
          {{"chunkNumber", 4}, {"startTime", 3.0}, {"endTime", 4.0}, {"lyricExcerpt", "till the morning day"},
           {"renderedText", "TILL THE MORNING DAY"}, {"primaryCharacterInFrame", true},
           {"elementIdsUsed", nlohmann::json::array()}}}}};
    return fakes::replies::workflowOutput("Here is the storyboard you asked for:\n```json\n" + plan.dump(2)
                                          + "\n```\nEnjoy the video!");
}

fakes::Reply failedJob() { return fakes::FakeVendor::status("FAILED"); }

std::string pngOf(const cv::Mat& image)
{
    std::vector<uchar> bytes;
    cv::imencode(".png", image, bytes);
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST(EndToEnd, FromANewProjectToAnExportedVideoAndBack)
{
    PrivateTemporaryFolder temporary;
    {
        StoreHarness h;
        h.storedKey = kTestKey;
        // Every picture the vendor hands back: a small scene with a lit subject.
        cv::Mat scene(320, 180, CV_8UC3, cv::Scalar(60, 30, 20));
        cv::circle(scene, {90, 170}, 50, cv::Scalar(80, 170, 240), cv::FILLED);
        h.vendor.serveFile("/media/frame.png", fakes::Reply::text(pngOf(scene), 200, "image/png"));

        auto store = h.make(std::nullopt, PipelineServices::standard());
        const auto settle = [&] { ASSERT_TRUE(StoreHarness::waitForIdle(*store, 400000)); };

        // New project, a tagged song, automatic timing through the vendor.
        store->newProject();
        const Uuid projectID = store->project().id;
        const fs::path song = h.song("lanterns.m4a", kSongSeconds,
                                     {"title=Paper Lanterns", "artist=The Marker Kids",
                                      "lyrics=Light the paper lanterns\nLet them drift away"});
        ASSERT_FALSE(song.empty());
        h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, transcriptAnswer()});
        store->importAudio(song);
        ASSERT_TRUE(waitUntil([&] { return !store->timingInProgress() && !store->project().transcript.empty(); },
                              30000));
        settle();
        EXPECT_EQ(store->project().title, "Paper Lanterns");
        EXPECT_EQ(store->project().artist, "The Marker Kids");
        ASSERT_EQ(store->project().transcript.size(), 4u);
        const double transcriptEnd = store->project().duration();
        EXPECT_DOUBLE_EQ(transcriptEnd, kSongSeconds);
        store->editProject([](Project& p) { p.exportSettings.resolution = ExportResolution::p720; });

        // A character with a reference picture, processed by the vendor.
        store->addCharacter("Mara");
        const Uuid mara = store->project().characters.at(0).id;
        const fs::path reference = h.folder.path() / "mara.png";
        writePicture(reference, 120);
        store->addCharacterReference(QString::fromStdString(mara.text()), QString::fromStdString(reference.string()));
        store->processCharacter(mara);
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        ASSERT_TRUE(store->project().characters.at(0).processedImageURL);

        // The storyboard, from an answer with prose around its JSON.
        h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, plannerAnswer()});
        store->planStoryboard();
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        ASSERT_EQ(store->project().chunks.size(), 4u);
        ASSERT_TRUE(store->project().plan);
        EXPECT_EQ(store->project().plan->ideogramStylePreset, "WATERCOLOR");
        ASSERT_EQ(store->project().plan->elements.size(), 2u);

        // Elements: the first fails once and succeeds on the retry.
        h.vendor.scriptNextJob({{failedJob()}, std::nullopt});
        store->renderElements();
        settle();
        EXPECT_TRUE(store->lastError()) << "the failed element is reported";
        store->renderElements();
        settle();
        EXPECT_FALSE(store->lastError()) << *store->lastError();
        for (const auto& element : store->project().plan->elements) {
            ASSERT_TRUE(element.imageLocalPath) << element.id;
            EXPECT_TRUE(fs::exists(*element.imageLocalPath)) << element.id;
        }

        // Frames: one of the batch fails, then that chunk is generated on its own.
        h.vendor.scriptNextJob({{failedJob()}, std::nullopt});
        store->generateMissingFrames();
        settle();
        EXPECT_TRUE(store->lastError()) << "the failed frame is summed up";
        std::vector<Uuid> frameless;
        for (const auto& chunk : store->project().chunks)
            if (!chunk.frame)
                frameless.push_back(chunk.id);
        ASSERT_EQ(frameless.size(), 1u);
        store->generateFrame(frameless[0]);
        settle();
        EXPECT_FALSE(store->lastError()) << *store->lastError();
        EXPECT_EQ(store->project().framedCount(), 4u);

        // Edit a frame, undo, redo.
        const StoryboardChunk first = store->project().chunks.at(0);
        store->editFrame(first.id, "  make the lantern glow brighter \n");
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        const GeneratedFrame edited = *store->project().chunks.at(0).frame;
        EXPECT_EQ(edited.editRequest, std::string("make the lantern glow brighter"));
        EXPECT_NE(edited.id, first.frame->id);
        store->undoFrameEdit(first.id);
        EXPECT_EQ(store->project().chunks.at(0).frame->id, first.frame->id);
        store->redoFrameEdit(first.id);
        EXPECT_EQ(store->project().chunks.at(0).frame->id, edited.id);

        // Motion, then the export reusing every clip.
        store->renderMotion();
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        for (const auto& chunk : store->project().chunks) {
            ASSERT_TRUE(chunk.frame->motionClipPath) << chunk.chunkNumber;
            EXPECT_TRUE(fs::exists(*chunk.frame->motionClipPath));
        }
        store->exportVideo();
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        ASSERT_TRUE(store->lastExportPath());
        const fs::path video = *store->lastExportPath();
        EXPECT_EQ(video, MediaLibrary(projectID, h.projectsRoot()).root() / "exports" / "Paper_Lanterns.mp4");

        const auto movie = probeMovie(video);
        ASSERT_TRUE(movie);
        EXPECT_NEAR(movie->seconds, transcriptEnd, 0.1);
        const auto videoStreams = movie->of("video");
        ASSERT_EQ(videoStreams.size(), 1u);
        EXPECT_EQ(videoStreams[0].codec, "h264");
        EXPECT_EQ(videoStreams[0].width, 720);
        EXPECT_EQ(videoStreams[0].height, 1280);
        const auto audioStreams = movie->of("audio");
        ASSERT_EQ(audioStreams.size(), 1u);
        EXPECT_EQ(audioStreams[0].codec, "aac");

        // What is on disk is what the store holds.
        store->flushAutosave();
        const auto reloaded = ProjectLibrary(h.projectsRoot(), h.settings).loadProject(projectID);
        ASSERT_TRUE(reloaded);
        EXPECT_EQ(*reloaded, store->project());

        store.reset();
    }
    EXPECT_EQ(temporary.leftovers(), std::vector<std::string>{}) << "nothing is left in the temporary folder";
}
