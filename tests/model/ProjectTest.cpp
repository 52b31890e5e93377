#include "model/PipelineError.h"
#include "model/Project.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

GeneratedFrame frameAt(const char* path)
{
    GeneratedFrame f;
    f.localPath = path;
    return f;
}

std::vector<std::string> paths(const std::vector<GeneratedFrame>& stack)
{
    std::vector<std::string> out;
    for (const auto& f : stack) out.push_back(f.localPath);
    return out;
}

std::string current(const StoryboardChunk& c) { return c.frame ? c.frame->localPath : "-"; }

void chunksFramed(Project& p, std::size_t chunks, std::size_t framed)
{
    p.chunks.resize(chunks);
    for (std::size_t i = 0; i < framed; ++i) p.chunks[i].setFrame(GeneratedFrame{});
}

} // namespace

TEST(StoryboardChunk, PictureHistoryKeepsEveryFrameInOnePlace)
{
    StoryboardChunk c;
    c.setFrame(frameAt("A"));
    EXPECT_TRUE(c.undoStack.empty());
    c.setFrame(frameAt("B"));
    c.setFrame(frameAt("C"));
    EXPECT_EQ(paths(c.undoStack), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(current(c), "C");

    c.undo();
    EXPECT_EQ(paths(c.undoStack), (std::vector<std::string>{"A"}));
    EXPECT_EQ(current(c), "B");
    EXPECT_EQ(paths(c.redoStack), (std::vector<std::string>{"C"}));

    c.undo();
    EXPECT_EQ(current(c), "A");
    EXPECT_EQ(paths(c.redoStack), (std::vector<std::string>{"C", "B"}));

    c.undo(); // nothing left to undo: nothing moves, the frame stays
    EXPECT_EQ(current(c), "A");
    EXPECT_EQ(paths(c.redoStack), (std::vector<std::string>{"C", "B"}));

    c.redo();
    EXPECT_EQ(current(c), "B");
    EXPECT_EQ(paths(c.redoStack), (std::vector<std::string>{"C"}));
    EXPECT_EQ(paths(c.undoStack), (std::vector<std::string>{"A"}));

    c.setFrame(frameAt("D"));
    EXPECT_EQ(paths(c.undoStack), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(current(c), "D");
    EXPECT_TRUE(c.redoStack.empty());

    c.redo(); // empty redo stack
    EXPECT_EQ(current(c), "D");
}

TEST(StoryboardChunk, SetFrameWithoutCurrentFrameStillDropsRedo)
{
    StoryboardChunk c;
    c.undoStack = {frameAt("A")};
    c.redoStack = {frameAt("R")};
    c.setFrame(frameAt("N"));
    EXPECT_EQ(paths(c.undoStack), (std::vector<std::string>{"A"}));
    EXPECT_TRUE(c.redoStack.empty());
    EXPECT_EQ(current(c), "N");
}

TEST(StoryboardChunk, UndoWithoutCurrentFrameLeavesRedoEmpty)
{
    StoryboardChunk c;
    c.undoStack = {frameAt("A")};
    c.undo();
    EXPECT_EQ(current(c), "A");
    EXPECT_TRUE(c.redoStack.empty());
    EXPECT_TRUE(c.undoStack.empty());
}

TEST(Project, DerivedValues)
{
    Project p;
    EXPECT_EQ(p.duration(), 0);
    EXPECT_EQ(p.primaryCharacter(), nullptr);
    for (double end : {12.0, 30.5, 20.0}) {
        TranscriptSegment s;
        s.end = end;
        p.transcript.push_back(s);
    }
    EXPECT_EQ(p.duration(), 30.5);
    // A transcript that ends before the song starts is no length at all, never a negative one.
    for (auto& segment : p.transcript)
        segment.end = -segment.end;
    EXPECT_EQ(p.duration(), 0);

    CharacterReference a, b;
    a.name = "A";
    b.name = "B";
    p.characters = {a, b};
    EXPECT_EQ(p.primaryCharacter()->name, "A");
    p.primaryCharacterID = b.id;
    EXPECT_EQ(p.primaryCharacter()->name, "B");
    p.primaryCharacterID = Uuid::random();
    EXPECT_EQ(p.primaryCharacter()->name, "A");
}

TEST(Project, StageStatusTable)
{
    using S = StageStatus;
    using P = PipelineStage;
    struct Case {
        const char* name;
        void (*setUp)(Project&);
        std::vector<std::pair<P, S>> expected;
    };
    const Case cases[] = {
        {"new project", [](Project&) {},
         {{P::intake, S::todo}, {P::timing, S::todo}, {P::characters, S::todo}, {P::storyboard, S::todo},
          {P::frames, S::todo}, {P::style, S::inProgress}, {P::motion, S::inProgress}, {P::preview, S::todo},
          {P::exportVideo, S::todo}}},
        {"title of one blank, lyrics",
         [](Project& p) { p.title = " "; p.rawLyrics = "la"; }, {{P::intake, S::complete}}},
        {"title without lyrics", [](Project& p) { p.title = "Song"; }, {{P::intake, S::todo}}},
        {"one segment", [](Project& p) { p.transcript.resize(1); }, {{P::timing, S::complete}}},
        {"character without images", [](Project& p) { p.characters.resize(1); },
         {{P::characters, S::inProgress}}},
        {"character with an empty processed address",
         [](Project& p) { p.characters.resize(1); p.characters[0].processedImageURL = ""; },
         {{P::characters, S::complete}}},
        {"only a non-primary character has images",
         [](Project& p) {
             p.characters.resize(2);
             p.characters[1].referenceImagePaths = {"x.png"};
             p.primaryCharacterID = p.characters[0].id;
         },
         {{P::characters, S::inProgress}}},
        {"primary character has a reference image",
         [](Project& p) {
             p.characters.resize(2);
             p.characters[1].referenceImagePaths = {"x.png"};
             p.primaryCharacterID = p.characters[1].id;
         },
         {{P::characters, S::complete}}},
        {"chunks, none framed", [](Project& p) { chunksFramed(p, 3, 0); },
         {{P::storyboard, S::inProgress}, {P::frames, S::todo}, {P::preview, S::todo}, {P::exportVideo, S::todo}}},
        {"two of three framed", [](Project& p) { chunksFramed(p, 3, 2); },
         {{P::storyboard, S::inProgress}, {P::frames, S::inProgress}, {P::preview, S::todo},
          {P::exportVideo, S::todo}}},
        {"all framed", [](Project& p) { chunksFramed(p, 3, 3); },
         {{P::storyboard, S::complete}, {P::frames, S::complete}, {P::preview, S::complete},
          {P::exportVideo, S::inProgress}, {P::motion, S::inProgress}}},
        {"continuity notes", [](Project& p) { p.style.continuityNotes = "same jacket"; },
         {{P::style, S::complete}}},
    };
    for (const auto& c : cases) {
        Project p;
        c.setUp(p);
        for (const auto& [stage, status] : c.expected)
            EXPECT_EQ(p.status(stage), status) << c.name << ", stage " << title(stage);
    }
    Project twoOfThree;
    chunksFramed(twoOfThree, 3, 2);
    EXPECT_EQ(twoOfThree.framedCount(), 2u);
}

TEST(Enums, RawValuesAndSizes)
{
    EXPECT_EQ(pipelineStageFromRaw(0), PipelineStage::intake);
    EXPECT_EQ(pipelineStageFromRaw(8), PipelineStage::exportVideo);
    EXPECT_FALSE(pipelineStageFromRaw(9));
    EXPECT_FALSE(pipelineStageFromRaw(-1));
    EXPECT_EQ(title(PipelineStage::intake), "Project");
    EXPECT_EQ(title(PipelineStage::exportVideo), "Export");

    for (const auto s : {LyricsSource::embeddedVerified, LyricsSource::embeddedUnverified,
                         LyricsSource::embeddedMismatch, LyricsSource::transcribed, LyricsSource::manual})
        EXPECT_EQ(lyricsSourceFromRaw(rawValue(s)), s);
    EXPECT_FALSE(lyricsSourceFromRaw("Manual"));

    struct Res { ExportResolution r; const char* raw; int w, h; };
    for (const Res& c : {Res{ExportResolution::p720, "720p", 720, 1280}, Res{ExportResolution::p1080, "1080p", 1080, 1920},
                         Res{ExportResolution::p1440, "1440p", 1440, 2560}, Res{ExportResolution::p2160, "4K", 2160, 3840}}) {
        EXPECT_EQ(rawValue(c.r), c.raw);
        EXPECT_EQ(exportResolutionFromRaw(c.raw), c.r);
        EXPECT_EQ(clipSize(c.r), (PixelSize{c.w, c.h})) << c.raw;
    }
    for (const char* bad : {"4k", "p2160", "1080", ""}) EXPECT_FALSE(exportResolutionFromRaw(bad)) << bad;
    EXPECT_EQ(exportContainerFromRaw("MOV (ProRes)"), ExportContainer::mov);
    EXPECT_EQ(exportContainerFromRaw("MP4 (H.264)"), ExportContainer::mp4);
    EXPECT_FALSE(exportContainerFromRaw("MOV"));
    EXPECT_EQ(fileExtension(ExportContainer::mov), "mov");
}

TEST(PipelineError, SentencesAndEquality)
{
    EXPECT_STREQ(PipelineError(PipelineError::noChunks).what(),
                 "The planner returned no frames. Check the transcript and try again.");
    EXPECT_STREQ(PipelineError(PipelineError::missingCharacter).what(),
                 "Add a character with a reference image before planning \xE2\x80\x94 the plan is built around it.");
    EXPECT_EQ(PipelineError(PipelineError::notReviewed), PipelineError(PipelineError::notReviewed));
    EXPECT_FALSE(PipelineError(PipelineError::notReviewed) == PipelineError(PipelineError::missingAudio));
}
