#include "ClipFixtures.h"
#include "StoreHarness.h"
#include "../media/motion/MovieReader.h"

#include "media/export/VideoExporter.h"
#include "model/MediaLibrary.h"
#include "model/PipelineError.h"
#include "pipeline/ClipPlan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <deque>
#include <fstream>
#include <functional>
#include <future>
#include <limits>
#include <numeric>
#include <set>

using namespace vl;
using namespace vl::testing;
namespace fs = std::filesystem;

namespace {

const std::string kNotReviewed = "Every frame must pass the readability review before export.";

// A source that hands out the given values in turn, then 0.5 for ever.
RandomSource scripted(std::vector<double> values)
{
    auto queue = std::make_shared<std::deque<double>>(values.begin(), values.end());
    return [queue] {
        if (queue->empty())
            return 0.5;
        const double v = queue->front();
        queue->pop_front();
        return v;
    };
}

bool zoomsIn(const ClipMotion& m) { return m.zoomEnd > m.zoomStart; }

// Chunks in list order, each given as (index, start, end).
std::vector<StoryboardChunk> chunksAt(std::initializer_list<std::tuple<std::int64_t, double, double>> laid)
{
    std::vector<StoryboardChunk> chunks;
    for (const auto& [index, start, end] : laid) {
        StoryboardChunk c;
        c.index = index;
        c.start = start;
        c.end = end;
        chunks.push_back(c);
    }
    return chunks;
}

} // namespace

// ---- Clip lengths and moves ------------------------------------------------------

TEST(ClipPlan, EachChunkIsOnScreenFromItsStartUntilTheNextOne)
{
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    using Spans = std::vector<ClipSpan>;
    struct Case {
        const char* what;
        Spans chunks; // each chunk's own (start, end), in layout order
        double song;
        Spans expected;
    } cases[] = {
        {"no chunks", {}, 0, {}},
        {"no gaps: the chunks' own lengths", {{0, 2}, {2, 2.5}, {2.5, 6}}, 0, {{0, 2}, {2, 2.5}, {2.5, 6}}},
        {"the first clip covers the intro", {{10, 12}, {12, 13}}, 0, {{0, 12}, {12, 13}}},
        {"a pause stays on the earlier picture", {{0, 1}, {3, 4}, {4.5, 5}}, 0, {{0, 3}, {3, 4.5}, {4.5, 5}}},
        {"an overlap is cut", {{0, 3}, {2, 4}}, 0, {{0, 2}, {2, 4}}},
        {"a short chunk gets half a second, the next gives it back",
         {{0, 2}, {2, 2.2}, {2.2, 3.2}, {3.2, 4.2}}, 0, {{0, 2}, {2, 2.5}, {2.5, 3.2}, {3.2, 4.2}}},
        {"zero-length chunks", {{1, 1}, {1, 1}, {1, 2}}, 0, {{0, 1}, {1, 1.5}, {1.5, 2}}},
        {"a single zero-length chunk", {{0, 0}}, 0, {{0, 0.5}}},
        {"out of time order", {{5, 6}, {1, 2}, {3, 4}}, 0, {{0, 1}, {1, 3}, {3, 4}}},
        {"negative times", {{-4, -2}, {-1, -0.5}, {-3, 2}}, 0, {{0, 0.5}, {0.5, 1}, {1, 2}}},
        {"end before start", {{5, 3}}, 0, {{0, 3}}},
        {"an end that is no number", {{0, nan}}, 0, {{0, 0.5}}},
        {"a start that is no number", {{0, 1}, {nan, 2}, {3, 4}}, 0, {{0, 0.5}, {0.5, 3}, {3, 4}}},
        {"an endless end", {{0, inf}}, 0, {{0, kMaxClipSecondsUnknownSong}}},
        {"an absurd end stops at the song's end", {{0, 1}, {1, 1e9}}, 200, {{0, 1}, {1, 200}}},
        {"and at a sane length when the song's is unknown", {{0, 1e9}}, 0, {{0, kMaxClipSecondsUnknownSong}}},
        {"a song length that is no number is unknown", {{0, 1e9}}, nan, {{0, kMaxClipSecondsUnknownSong}}},
        {"the floor holds under a very short song", {{0, 0.3}}, 0.2, {{0, 0.5}}},
        {"chunks after the song's end", {{0, 1}, {5, 6}, {7, 8}}, 3, {{0, 3}, {3, 3.5}, {3.5, 4}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Spans spans = clipSpans(c.chunks, c.song);
        ASSERT_EQ(spans.size(), c.expected.size());
        double cursor = 0;
        for (std::size_t i = 0; i < spans.size(); ++i) {
            EXPECT_DOUBLE_EQ(spans[i].start, c.expected[i].start) << i;
            EXPECT_DOUBLE_EQ(spans[i].end, c.expected[i].end) << i;
            EXPECT_DOUBLE_EQ(spans[i].start, cursor) << "laid end to end: " << i;
            EXPECT_GE(spans[i].seconds(), kMinClipSeconds) << i;
            cursor = spans[i].end;
        }
    }
}

TEST(ClipPlan, AProjectsChunksAreLaidOutByIndexAndAnsweredInListOrder)
{
    // The list holds the chunks out of index order; the video lays them by index.
    const auto chunks = chunksAt({{2, 8, 9}, {0, 2, 4}, {1, 5, 6}});
    const auto spans = clipSpansOf(chunks, 0);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[1], (ClipSpan{0, 5}));
    EXPECT_EQ(spans[2], (ClipSpan{5, 8}));
    EXPECT_EQ(spans[0], (ClipSpan{8, 9}));
    EXPECT_TRUE(clipSpansOf({}, 0).empty());
}

TEST(ClipPlan, FramesAreRoundedOnTheRunningTotalSoTheVideoKeepsPaceWithTheSong)
{
    EXPECT_EQ(clipFrameCounts({2.0, 0.5}), (std::vector<std::int64_t>{60, 15}));

    // Forty lines of 1.01 s: truncating each would lose 0.3 of a frame per line.
    const std::vector<double> lines(40, 1.01);
    const auto frames = clipFrameCounts(lines);
    const auto total = std::accumulate(frames.begin(), frames.end(), std::int64_t{0});
    EXPECT_EQ(total, std::llround(40 * 1.01 * 30));
    for (auto f : frames)
        EXPECT_TRUE(f == 30 || f == 31) << f;

    // Whatever the lengths, every clip boundary stays within half a frame of the song.
    const std::vector<double> odd{0.51, 3.337, 0.5, 12.0101, 0.77, 4.4444};
    const auto oddFrames = clipFrameCounts(odd);
    double time = 0;
    std::int64_t sum = 0;
    for (std::size_t i = 0; i < odd.size(); ++i) {
        time += odd[i];
        sum += oddFrames[i];
        EXPECT_LE(std::fabs(sum / 30.0 - time), 0.5 / 30 + 1e-9) << i;
    }
}

TEST(ClipPlan, AClipLongerThanARendererMakesIsRefusedByItsChunk)
{
    const auto framesOf = [](double seconds) { return std::llround(seconds * kClipFps); };
    struct Case {
        std::int64_t frames;
        const char* refusal; // nullptr: the clip may be made
    } cases[] = {
        {framesOf(12 * 60), nullptr}, // a long intro of a long song
        {framesOf(kMaxClipSeconds), nullptr},
        {framesOf(kMaxClipSeconds) + 1,
         "Chunk 7 would stay on screen for 241 minutes, and one clip can last at most 240 minutes."},
        {framesOf(5 * 60 * 60), "Chunk 7 would stay on screen for 300 minutes, and one clip can last at most 240 minutes."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.frames);
        ClipMotion motion;
        motion.width = 720;
        motion.height = 1280;
        motion.durationSeconds = secondsForFrames(c.frames);
        if (!c.refusal) {
            EXPECT_NO_THROW(checkClipLength(7, c.frames));
            EXPECT_NO_THROW(checkClipMotion(motion)) << "what the pipeline lets through, the renderers take";
            continue;
        }
        try {
            checkClipLength(7, c.frames);
            ADD_FAILURE() << "let through";
        } catch (const ClipTooLongError& e) {
            EXPECT_STREQ(e.what(), c.refusal);
        }
    }
}

TEST(ClipPlan, TheVideoIsTheClipsWholeFramesLaidEndToEnd)
{
    // Out of index order in the list; the video lays them by index.
    const auto chunks = chunksAt({{2, 20, 95.4}, {0, 10, 12}, {1, 12.01, 14}});
    struct Case {
        double song;
        std::vector<ClipSpan> places; // in list order
    } cases[] = {
        // 12.01 s is 360.3 frames: the first clip gets 360, the second the rest of its span.
        {0, {{20, 95.4}, {0, 12}, {12, 20}}},
        {240, {{20, 95.4}, {0, 12}, {12, 20}}},
        {60, {{20, 60}, {0, 12}, {12, 20}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.song);
        const auto places = videoPlacesOf(chunks, c.song);
        ASSERT_EQ(places.size(), c.places.size());
        for (std::size_t i = 0; i < places.size(); ++i) {
            EXPECT_NEAR(places[i].start, c.places[i].start, 1e-9) << i;
            EXPECT_NEAR(places[i].end, c.places[i].end, 1e-9) << i;
        }
        const auto frames = clipFramesOf(chunks, c.song);
        EXPECT_DOUBLE_EQ(videoSecondsOf(chunks, c.song),
                         static_cast<double>(std::accumulate(frames.begin(), frames.end(), std::int64_t{0})) / kClipFps);
    }
    EXPECT_EQ(videoSecondsOf({}, 100), 0);
}

TEST(ClipPlan, SecondsForFramesGiveTheRenderersExactlyThatManyFrames)
{
    for (std::int64_t frames = 1; frames <= 20000; ++frames) {
        ClipMotion m;
        m.fps = kClipFps;
        m.durationSeconds = secondsForFrames(frames);
        ASSERT_EQ(frameCount(m), frames);
    }
}

TEST(ClipPlan, MovesAreDrawnInOrderWithinTheirRangesAndAlternateTheZoom)
{
    // a, b, sx, sy, parallax, steady, z, d, direction: lowest values and heads everywhere.
    const auto first = drawClipMotion({720, 1280}, 2.0, scripted({0, 0, 0, 0, 0, 0, 0, 0, 0}), std::nullopt);
    EXPECT_EQ(first.width, 720);
    EXPECT_EQ(first.height, 1280);
    EXPECT_EQ(first.fps, 30);
    EXPECT_DOUBLE_EQ(first.durationSeconds, 2.0);
    EXPECT_DOUBLE_EQ(first.offsetStart.x, -0.12);
    EXPECT_DOUBLE_EQ(first.offsetStart.y, -0.04);
    EXPECT_DOUBLE_EQ(first.offsetEnd.x, 0.12);
    EXPECT_DOUBLE_EQ(first.offsetEnd.y, 0.04);
    EXPECT_DOUBLE_EQ(first.parallaxHeight, 0.22);
    EXPECT_DOUBLE_EQ(first.steady, 0.25);
    EXPECT_DOUBLE_EQ(first.zoomStart, 1.0);
    EXPECT_DOUBLE_EQ(first.zoomEnd, 1.05);

    // Highest values and tails: mirrored pan, widest ranges, zooming out.
    const auto high = drawClipMotion({720, 1280}, 2.0, scripted({1, 1, 1, 1, 1, 1, 1, 1, 1}), std::nullopt);
    EXPECT_DOUBLE_EQ(high.offsetStart.x, 0.26);
    EXPECT_DOUBLE_EQ(high.offsetEnd.y, -0.12);
    EXPECT_DOUBLE_EQ(high.parallaxHeight, 0.34);
    EXPECT_DOUBLE_EQ(high.steady, 0.40);
    EXPECT_DOUBLE_EQ(high.zoomStart, 1.13);
    EXPECT_DOUBLE_EQ(high.zoomEnd, 1.03);

    // Later clips draw no direction coin: they turn the previous one round.
    const RandomSource system = systemRandomSource();
    std::optional<ClipMotion> previous;
    for (int i = 0; i < 200; ++i) {
        const auto m = drawClipMotion({1080, 1920}, 1.0, system, previous);
        if (previous) {
            EXPECT_NE(zoomsIn(m), zoomsIn(*previous)) << i;
        }
        EXPECT_GE(std::fabs(m.offsetStart.x), 0.12);
        EXPECT_LE(std::fabs(m.offsetStart.x), 0.26);
        EXPECT_GE(std::fabs(m.offsetEnd.y), 0.04);
        EXPECT_LE(std::fabs(m.offsetEnd.y), 0.12);
        EXPECT_GE(std::min(m.zoomStart, m.zoomEnd), 1.0);
        EXPECT_LE(std::max(m.zoomStart, m.zoomEnd), 1.13);
        previous = m;
    }
}

TEST(ClipPlan, ManifestKnowsWhatEachClipWasMadeFromAndForgivesDamage)
{
    files::TemporaryDirectory folder("manifest");
    const auto image = writePicture(folder.path() / "a.png", 40);
    ClipMotion motion;
    motion.width = 720;
    motion.height = 1280;
    motion.durationSeconds = secondsForFrames(45);
    const auto source = ClipSource::of(image, motion);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->frames, 45);
    EXPECT_FALSE(ClipSource::of(folder.path() / "missing.png", motion));

    const ClipManifest manifest(folder.path() / "clips");
    const Uuid chunk = Uuid::random();
    EXPECT_FALSE(manifest.source(chunk));
    manifest.record(chunk, *source);
    EXPECT_EQ(manifest.source(chunk), source);
    EXPECT_FALSE(manifest.source(Uuid::random()));

    // The same path with other contents is another source.
    writePicture(image, 200, 80, 80);
    EXPECT_NE(ClipSource::of(image, motion), source);

    std::ofstream(manifest.file(), std::ios::trunc) << "{ not json";
    EXPECT_FALSE(manifest.source(chunk));
    manifest.record(chunk, *source); // starts afresh over the damaged file
    EXPECT_EQ(manifest.source(chunk), source);
}

// ---- The store's motion and export operations ---------------------------------------

namespace {

struct MotionExport : ::testing::Test {
    StoreHarness h;
    std::shared_ptr<RecordingRenderer> renderer = std::make_shared<RecordingRenderer>();
    std::unique_ptr<ProjectStore> store;
    std::function<void()> releaseMemory; // empty: the allocator's own

    // Chunks of the given lengths laid end to end; a shade below 0 leaves the
    // chunk without a frame, a blank lyric makes it instrumental.
    Project project(const std::vector<std::tuple<double, int, std::string>>& chunks)
    {
        Project p = ProjectStore::defaultNewProject();
        p.title = "Night Drive";
        p.updatedAt = currentDate() - std::chrono::hours(1); // dates keep whole seconds
        double t = 0;
        for (std::size_t i = 0; i < chunks.size(); ++i) {
            const auto& [seconds, shade, lyric] = chunks[i];
            StoryboardChunk c;
            c.index = static_cast<std::int64_t>(i);
            c.chunkNumber = static_cast<std::int64_t>(i + 1);
            c.start = t;
            c.end = t + seconds;
            c.lyricExcerpt = lyric;
            t += seconds;
            if (shade >= 0) {
                GeneratedFrame f;
                f.localPath = writePicture(h.folder.path() / ("frame" + std::to_string(i) + ".png"), shade);
                c.frame = f;
            }
            p.chunks.push_back(c);
        }
        return p;
    }

    void open(std::optional<Project> p)
    {
        PipelineServices services;
        services.motion = renderer;
        services.exporter = std::make_shared<VideoExporter>();
        StoreContext context = h.context();
        context.releaseMemory = releaseMemory;
        store = std::make_unique<ProjectStore>(std::move(p), std::move(services), context);
    }

    // Saves, closes the store and starts another on the last project saved, as a new run does.
    void reopen()
    {
        store->flushAutosave();
        store.reset();
        open(std::nullopt);
    }

    // Which chunks the store counts as having a current clip, in list order.
    std::vector<bool> currentClips() const
    {
        std::vector<bool> current;
        for (const StoryboardChunk& c : store->project().chunks)
            current.push_back(store->hasCurrentClip(c.id));
        return current;
    }

    std::vector<fs::path> renderedOutputs() const
    {
        std::vector<fs::path> outputs;
        for (const auto& call : renderer->calls())
            outputs.push_back(call.output);
        return outputs;
    }

    void song(Project& p, double seconds)
    {
        p.audioPath = (h.folder.path() / "song.wav").string();
        const std::string line =
            "ffmpeg -v error -f lavfi -i sine=d=" + std::to_string(seconds) + " -y '" + p.audioPath + "'";
        ASSERT_EQ(std::system(line.c_str()), 0);
    }

    fs::path root() const { return MediaLibrary(store->project().id, h.projectsRoot()).root(); }
    fs::path clipOf(std::size_t i) const { return root() / "clips" / (store->project().chunks[i].id.text() + ".mov"); }

    void settle() { ASSERT_TRUE(StoreHarness::waitForIdle(*store, 60000)); }

    std::vector<std::int64_t> renderedFrames() const
    {
        std::vector<std::int64_t> frames;
        for (const auto& call : renderer->calls())
            frames.push_back(frameCount(call.motion));
        return frames;
    }
};

} // namespace

TEST_F(MotionExport, RenderMotionMakesOneClipPerChunkAndRecordsItOnFramedChunks)
{
    // Two lyric frames, a frameless chunk and an instrumental one it borrows from.
    Project p = project({{2.0, 30, "first line"}, {0.2, -1, "second"}, {1.0, 90, " "}, {1.0, 150, "last"}});
    p.exportSettings.resolution = ExportResolution::p2160;
    const Date before = p.updatedAt;
    open(p);
    std::vector<std::string> labels;
    QObject::connect(store.get(), &ProjectStore::runningTaskChanged, [&] {
        if (store->runningTask())
            labels.push_back(*store->runningTask());
    });
    std::optional<double> lastProgress;
    QObject::connect(store.get(), &ProjectStore::taskProgressChanged, [&] {
        if (store->taskProgress())
            lastProgress = store->taskProgress();
    });

    store->renderMotion();
    settle();

    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_EQ(labels, std::vector<std::string>{"Rendering motion"});
    ASSERT_TRUE(lastProgress);
    EXPECT_NEAR(*lastProgress, 1.0, 1e-9);
    EXPECT_FALSE(store->runningTask());

    const auto calls = renderer->calls();
    ASSERT_EQ(calls.size(), 4u);
    const auto& chunks = store->project().chunks;
    for (std::size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].output, clipOf(i));
        EXPECT_TRUE(fs::exists(clipOf(i)));
        EXPECT_EQ(calls[i].motion.width, 2160);
        EXPECT_EQ(calls[i].motion.height, 3840);
        if (i > 0) {
            EXPECT_NE(zoomsIn(calls[i].motion), zoomsIn(calls[i - 1].motion)) << i;
        }
    }
    EXPECT_EQ(calls[1].image.string(), chunks[2].frame->localPath) << "borrows the instrumental frame";
    // The 0.2 s chunk still gets half a second; the chunk after it gives the 0.3 s back.
    EXPECT_EQ(renderedFrames(), (std::vector<std::int64_t>{60, 15, 21, 30}));

    EXPECT_EQ(chunks[0].frame->motionClipPath, clipOf(0).string());
    EXPECT_FALSE(chunks[1].frame) << "a frameless chunk keeps only the file";
    EXPECT_EQ(chunks[3].frame->motionClipPath, clipOf(3).string());
    EXPECT_GT(store->project().updatedAt, before);
}

TEST_F(MotionExport, AClipBelongsToTheFrameItWasMadeFrom)
{
    open(project({{1.0, 30, "a"}}));
    const std::string clip = clipOf(0).string();
    const auto chunk = [&] { return store->project().chunks[0]; };
    const auto clipOfCurrent = [&] { return chunk().frame->motionClipPath; };
    store->renderMotion();
    settle();
    const Uuid first = chunk().frame->id;
    ASSERT_EQ(clipOfCurrent(), clip);

    // A newer frame. Until its clip is made the file still holds the first frame's.
    store->editProject([&](Project& p) {
        GeneratedFrame f;
        f.localPath = writePicture(h.folder.path() / "newer.png", 200);
        p.chunks[0].setFrame(f);
    });
    const Uuid newer = chunk().frame->id;
    store->undoFrameEdit(chunk().id);
    EXPECT_EQ(clipOfCurrent(), clip) << "the first frame's clip is still on disk";
    store->redoFrameEdit(chunk().id);

    // The newer frame's clip overwrites the file: the first frame has none any more.
    store->renderMotion();
    settle();
    EXPECT_EQ(clipOfCurrent(), clip);
    store->undoFrameEdit(chunk().id);
    EXPECT_EQ(chunk().frame->id, first);
    EXPECT_FALSE(clipOfCurrent()) << "after an undo the clip is stale: not rendered, not played";
    store->redoFrameEdit(chunk().id);
    EXPECT_EQ(clipOfCurrent(), clip);

    // An undo while the clip renders: the clip is the frame's it was made from.
    store->editProject([](Project& p) { p.chunks[0].frame->motionClipPath.reset(); });
    store->renderMotion(); // made from the newer frame
    store->undoFrameEdit(chunk().id);
    settle();
    EXPECT_EQ(chunk().frame->id, first);
    EXPECT_FALSE(clipOfCurrent());
    ASSERT_EQ(chunk().redoStack.size(), 1u);
    EXPECT_EQ(chunk().redoStack[0].id, newer);
    EXPECT_EQ(chunk().redoStack[0].motionClipPath, clip);
}

TEST_F(MotionExport, OnScreenAClipCountsOnlyWhileItStillMatchesWhatItWasMadeFrom)
{
    struct Case {
        const char* what;
        std::function<void(ProjectStore&)> change;
        std::vector<bool> current; // per chunk, after the change
    } cases[] = {
        {"nothing clips are made from", [](ProjectStore& s) { s.editProject([](Project& p) { p.title = "Other"; }); },
         {true, true, true}},
        {"another resolution",
         [](ProjectStore& s) { s.editProject([](Project& p) { p.exportSettings.resolution = ExportResolution::p720; }); },
         {false, false, false}},
        // The first clip runs until the second starts, so both change length.
        {"the second chunk starts later", [](ProjectStore& s) { s.editProject([](Project& p) { p.chunks[1].start += 0.5; }); },
         {false, false, true}},
        {"the last chunk ends later", [](ProjectStore& s) { s.editProject([](Project& p) { p.chunks[2].end += 1; }); },
         {true, true, false}},
        {"an undo brings an older frame back",
         [](ProjectStore& s) { s.undoFrameEdit(s.project().chunks[0].id); }, {false, true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Project p = project({{1.0, 30, "a"}, {1.0, 60, "b"}, {1.0, 90, "c"}});
        GeneratedFrame newer;
        newer.localPath = writePicture(h.folder.path() / "newer.png", 200);
        p.chunks[0].setFrame(newer);
        open(p);
        store->renderMotion();
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        ASSERT_EQ(currentClips(), (std::vector<bool>{true, true, true}));

        c.change(*store);
        EXPECT_EQ(currentClips(), c.current) << "at once";
        settle();
        EXPECT_EQ(currentClips(), c.current) << "and once the files were looked at";

        // The export makes again exactly the clips the screens count as stale.
        std::vector<fs::path> stale;
        for (std::size_t i = 0; i < c.current.size(); ++i)
            if (!c.current[i])
                stale.push_back(clipOf(i));
        renderer->forget();
        store->exportVideo();
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        EXPECT_EQ(renderedOutputs(), stale);
        EXPECT_EQ(currentClips(), (std::vector<bool>{true, true, true})) << "made again, they count";
        renderer->forget();
    }
}

TEST_F(MotionExport, ClipsLeftCurrentStayCurrentWhenTheProjectIsOpenedAgain)
{
    // The last chunk's end lies far past the song, so its length depends on the song's.
    Project p = project({{1.0, 30, "one"}, {1e7, 60, "two"}});
    song(p, 3);
    open(p);
    store->renderMotion();
    settle();
    ASSERT_FALSE(store->lastError()) << *store->lastError();
    ASSERT_EQ(currentClips(), (std::vector<bool>{true, true}));

    reopen();
    settle();
    EXPECT_EQ(currentClips(), (std::vector<bool>{true, true}));
    renderer->forget();
    store->exportVideo();
    settle();
    EXPECT_TRUE(renderer->calls().empty());

    // A manifest written before clips recorded their rate: those clips are made again.
    const fs::path manifest = root() / "clips" / "manifest.json";
    nlohmann::json document = nlohmann::json::parse(files::readAll(manifest));
    for (auto& [id, entry] : document["clips"].items())
        entry.erase("fps");
    files::writeAtomically(manifest, document.dump());
    reopen();
    settle();
    EXPECT_EQ(currentClips(), (std::vector<bool>{false, false}));
    store->exportVideo();
    settle();
    EXPECT_EQ(renderer->calls().size(), 2u);
    EXPECT_EQ(currentClips(), (std::vector<bool>{true, true}));
}

TEST_F(MotionExport, AnEmptyClipFileIsNoClip)
{
    open(project({{1.0, 30, "a"}, {1.0, 60, "b"}}));
    store->renderMotion();
    settle();
    std::ofstream(clipOf(1), std::ios::trunc).close();
    store->recheckClips();
    settle();
    EXPECT_EQ(currentClips(), (std::vector<bool>{true, false}));
    renderer->forget();
    store->exportVideo();
    settle();
    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_EQ(renderedOutputs(), std::vector<fs::path>{clipOf(1)});
}

TEST_F(MotionExport, AnAbsurdEndTimeStopsAtTheSongsLength)
{
    Project p = project({{1.0, 30, "one"}, {1e7, 60, "two"}});
    p.audioPath = (h.folder.path() / "song.wav").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=d=3 -y '" + p.audioPath + "'").c_str()), 0);
    open(p);
    store->renderMotion();
    settle();
    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_EQ(renderedFrames(), (std::vector<std::int64_t>{30, 60})) << "the last clip ends with the song";
}

TEST_F(MotionExport, RenderMotionWithoutAnyFrameAsksForReviewAndWritesNothing)
{
    open(project({{1.0, -1, "a"}, {1.0, -1, "b"}}));
    store->renderMotion();
    settle();
    EXPECT_EQ(store->lastError(), kNotReviewed);
    EXPECT_TRUE(renderer->calls().empty());
    EXPECT_FALSE(fs::exists(root() / "clips" / "manifest.json"));
}

TEST_F(MotionExport, ARendererFailureStopsTheRunAndKeepsEarlierClips)
{
    Project p = project({{1.0, 30, "a"}, {1.0, 60, "b"}, {1.0, 90, "c"}});
    const Date before = p.updatedAt;
    open(p);
    renderer->failOnCall = 1;
    store->renderMotion();
    settle();
    EXPECT_EQ(store->lastError(), std::string("Could not allocate a video frame buffer."));
    EXPECT_EQ(renderer->calls().size(), 2u) << "later clips are not made";
    const auto& chunks = store->project().chunks;
    EXPECT_EQ(chunks[0].frame->motionClipPath, clipOf(0).string());
    EXPECT_FALSE(chunks[1].frame->motionClipPath);
    EXPECT_FALSE(chunks[2].frame->motionClipPath);
    EXPECT_EQ(store->project().updatedAt, before);
}

TEST_F(MotionExport, ExportReusesOnlyClipsStillMadeFromTheCurrentFrameSizeAndLength)
{
    open(project({{1.0, 30, "a"}, {1.0, 60, "b"}, {1.0, 90, "c"}}));
    store->renderMotion();
    settle();
    renderer->forget();

    std::optional<fs::path> exported;
    store->exportVideo([&](const fs::path& file) { exported = file; });
    settle();
    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_TRUE(renderer->calls().empty()) << "fresh clips are reused";
    ASSERT_TRUE(exported);
    EXPECT_EQ(*exported, root() / "exports" / "Night_Drive.mp4");
    EXPECT_EQ(store->lastExportPath(), exported);
    EXPECT_TRUE(fs::exists(*exported));

    // A new picture for the middle chunk: only its clip is stale.
    const std::string newer = writePicture(h.folder.path() / "newer.png", 220);
    store->editProject([&](Project& p) {
        GeneratedFrame f;
        f.localPath = newer;
        p.chunks[1].setFrame(f);
    });
    store->exportVideo();
    settle();
    ASSERT_EQ(renderer->calls().size(), 1u);
    EXPECT_EQ(renderer->calls()[0].image.string(), newer);
    EXPECT_EQ(store->project().chunks[1].frame->motionClipPath, clipOf(1).string());
    renderer->forget();

    // New timing for the last chunk: its clip has the wrong length now.
    store->editProject([](Project& p) { p.chunks[2].end = 4.0; });
    store->exportVideo();
    settle();
    ASSERT_EQ(renderer->calls().size(), 1u);
    EXPECT_EQ(renderer->calls()[0].output, clipOf(2));
    renderer->forget();

    // Another resolution: every clip is made again.
    store->editProject([](Project& p) { p.exportSettings.resolution = ExportResolution::p720; });
    store->exportVideo();
    settle();
    EXPECT_EQ(renderer->calls().size(), 3u);
    EXPECT_FALSE(store->lastError()) << *store->lastError();
}

static std::string repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

TEST_F(MotionExport, ExportNamesTheFileAfterTheTitleInTheChosenFolder)
{
    const fs::path chosen = h.folder.path() / "my videos";
    struct Case {
        std::string title;
        ExportContainer container;
        std::string destination;
        fs::path expected; // relative to the project folder unless absolute
    } cases[] = {
        {"My Song/Live", ExportContainer::mp4, "", "exports/My_Song-Live.mp4"},
        {"", ExportContainer::mov, "", "exports/lyric-video.mov"},
        {"Demo", ExportContainer::mp4, chosen.string(), chosen / "Demo.mp4"},
        // A title longer than a file name may be is cut on a character boundary.
        {std::string(300, 'a'), ExportContainer::mp4, "", "exports/" + std::string(150, 'a') + ".mp4"},
        {"a" + repeated("\u00E9", 300), ExportContainer::mov, "", "exports/a" + repeated("\u00E9", 74) + ".mov"},
    };
    for (const auto& c : cases) {
        Project p = project({{0.5, 30, "a"}});
        p.title = c.title;
        p.exportSettings.container = c.container;
        p.exportSettings.destinationFolder = c.destination;
        open(p);
        store->exportVideo();
        settle();
        EXPECT_FALSE(store->lastError()) << c.title << ": " << *store->lastError();
        const fs::path expected = c.expected.is_absolute() ? c.expected : root() / c.expected;
        EXPECT_EQ(store->lastExportPath(), expected) << c.title;
        EXPECT_TRUE(fs::exists(expected)) << expected;
        EXPECT_TRUE(store->project().chunks[0].frame->motionClipPath) << "clips made for the export are recorded";
    }
}

TEST_F(MotionExport, ExportNeedsAtLeastOneFrame)
{
    for (const auto& chunks : {std::vector<std::tuple<double, int, std::string>>{},
                               std::vector<std::tuple<double, int, std::string>>{{1.0, -1, "a"}}}) {
        open(project(chunks));
        bool called = false;
        store->exportVideo([&](const fs::path&) { called = true; });
        settle();
        EXPECT_EQ(store->lastError(), kNotReviewed);
        EXPECT_FALSE(called);
        EXPECT_FALSE(store->lastExportPath());
        EXPECT_TRUE(renderer->calls().empty());
        EXPECT_FALSE(fs::exists(root() / "exports"));
    }
}

TEST_F(MotionExport, EveryPictureAppearsWhenItsPassageStartsAfterAnIntroAndPauses)
{
    // A 10 s intro, then four passages with two pauses between them. Each frame is
    // one solid colour, so the exported movie says which frame is on screen when.
    struct Passage {
        double start, end;
        cv::Vec3b colour; // BGR
    } passages[] = {
        {10.0, 11.4, {40, 40, 220}},
        {11.4, 12.2, {40, 200, 40}},
        {13.53, 14.1, {220, 60, 40}}, // after a pause of 1.33 s
        {15.27, 16.0, {40, 220, 220}}, // after a pause of 1.17 s
    };
    Project p = ProjectStore::defaultNewProject();
    p.title = "Long Intro";
    for (std::size_t i = 0; i < std::size(passages); ++i) {
        StoryboardChunk c;
        c.index = static_cast<std::int64_t>(i);
        c.chunkNumber = c.index + 1;
        c.start = passages[i].start;
        c.end = passages[i].end;
        c.lyricExcerpt = "line " + std::to_string(i + 1);
        const fs::path image = h.folder.path() / ("solid" + std::to_string(i) + ".png");
        cv::imwrite(image.string(), cv::Mat(96, 64, CV_8UC3, cv::Scalar(passages[i].colour)));
        GeneratedFrame f;
        f.localPath = image.string();
        c.frame = f;
        p.chunks.push_back(c);
    }
    p.audioPath = (h.folder.path() / "song.wav").string();
    ASSERT_EQ(std::system(("ffmpeg -v error -f lavfi -i sine=d=16.5 -y '" + p.audioPath + "'").c_str()), 0);
    open(p);

    std::optional<fs::path> exported;
    store->exportVideo([&](const fs::path& file) { exported = file; });
    settle();
    ASSERT_FALSE(store->lastError()) << *store->lastError();
    ASSERT_TRUE(exported);

    const test::Movie movie = test::readMovie(*exported);
    ASSERT_FALSE(movie.frames.empty());
    ASSERT_EQ(movie.frames.size(), movie.frameTimes.size());
    const double frame = 1.0 / kClipFps;
    // The picture a player shows at `t`: the last frame presented at or before it.
    const auto shownAt = [&](double t) -> int {
        std::size_t k = 0;
        for (std::size_t i = 0; i < movie.frameTimes.size(); ++i)
            if (movie.frameTimes[i] <= t + 1e-6)
                k = i;
        const cv::Mat& picture = movie.frames[k];
        const cv::Vec3b pixel = picture.at<cv::Vec3b>(picture.rows / 2, picture.cols / 2);
        for (int j = 0; j < static_cast<int>(std::size(passages)); ++j) {
            const cv::Vec3b& c = passages[j].colour;
            if (std::abs(pixel[0] - c[0]) < 40 && std::abs(pixel[1] - c[1]) < 40 && std::abs(pixel[2] - c[2]) < 40)
                return j;
        }
        return -1;
    };
    EXPECT_EQ(shownAt(0), 0) << "the first picture covers the intro";
    for (int i = 0; i < static_cast<int>(std::size(passages)); ++i) {
        SCOPED_TRACE(::testing::Message() << "passage " << i << " at " << passages[i].start << " s");
        // On screen within a frame of its start: not before, and by then.
        EXPECT_EQ(shownAt(passages[i].start + frame), i);
        if (i > 0) {
            EXPECT_EQ(shownAt(passages[i].start - frame), i - 1);
        }
    }
    // The last picture stays until its own passage ends.
    EXPECT_EQ(shownAt(passages[3].end - 2 * frame), 3);
    EXPECT_NEAR(movie.frameTimes.back() + frame, passages[3].end, 1.5 * frame);
}

TEST_F(MotionExport, ALongSpanIsRenderedAsLongAsTheSongLetsIt)
{
    // A short line, then one picture held for over ten minutes until the song ends.
    Project p = project({{1.0, 30, "one"}, {700.0, 60, "two"}});
    song(p, 650);
    open(p);
    renderer->stubClips = true; // a movie this long would take minutes
    store->renderMotion();
    settle();
    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_EQ(renderedFrames(), (std::vector<std::int64_t>{30, 649 * 30}));
    EXPECT_EQ(currentClips(), (std::vector<bool>{true, true}));
}

TEST_F(MotionExport, APictureHeldLongerThanAnyClipIsRefusedByItsChunkBeforeAnythingIsRendered)
{
    Project p = project({{1.0, 30, "one"}, {14499.0, 60, "two"}});
    // A song of just over four hours, kept small: silence at a thousand bytes a second.
    p.audioPath = (h.folder.path() / "long.wav").string();
    const std::string line = "ffmpeg -v error -f lavfi -i anullsrc=r=8000:cl=mono -t 14500 -c:a pcm_u8 -ar 1000 -y '"
        + p.audioPath + "'";
    ASSERT_EQ(std::system(line.c_str()), 0);
    open(p);
    const std::string refusal = "Chunk 2 would stay on screen for 242 minutes, and one clip can last at most 240 minutes.";
    store->renderMotion();
    settle();
    EXPECT_EQ(store->lastError(), refusal);
    store->exportVideo();
    settle();
    EXPECT_EQ(store->lastError(), refusal);
    EXPECT_TRUE(renderer->calls().empty());
}

TEST_F(MotionExport, ClipsNoChunkUsesAnyMoreAreRemovedAndNothingElse)
{
    const char* plan = R"({"frames": [
        {"chunkNumber": 1, "lyricExcerpt": "one", "startTime": 0, "endTime": 1},
        {"chunkNumber": 2, "lyricExcerpt": "two", "startTime": 1, "endTime": 2},
        {"chunkNumber": 3, "lyricExcerpt": "three", "startTime": 2, "endTime": 3},
        {"chunkNumber": 4, "lyricExcerpt": "four", "startTime": 3, "endTime": 4}]})";
    Project p = project({{1.0, 30, "one"}, {1.0, 60, "two"}, {1.0, 90, "three"}, {1.0, 120, "four"}});
    // An older frame of the first chunk still names a clip of a chunk long gone.
    const Uuid gone = Uuid::random();
    GeneratedFrame older;
    older.localPath = writePicture(h.folder.path() / "older.png", 10);
    older.motionClipPath = (MediaLibrary(p.id, h.projectsRoot()).root() / "clips" / clipFileName(gone)).string();
    p.chunks[0].undoStack.push_back(older);
    open(p);
    const fs::path clips = root() / "clips";
    fs::create_directories(clips);

    // What the program did not make, or still needs.
    const fs::path outside = h.folder.path() / "outside.mov";
    std::ofstream(outside) << "the user's";
    const Uuid other = Uuid::random();
    std::string lower = other.text();
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    std::ofstream(clips / "notes.txt") << "mine";
    std::ofstream(clips / "My Song.mov") << "mine";
    std::ofstream(clips / (lower + ".mov")) << "mine";
    std::ofstream(clips / (other.text() + ".MOV")) << "mine";
    std::ofstream(clips / (other.text() + ".mov.txt")) << "mine";
    fs::create_directory(clips / clipFileName(Uuid::random()));
    fs::create_symlink(outside, clips / clipFileName(Uuid::random()));
    std::ofstream(older.motionClipPath.value()) << "an older frame's clip";
    const auto entries = [&] {
        std::set<fs::path> names;
        for (const auto& entry : fs::directory_iterator(clips))
            names.insert(entry.path().filename());
        return names;
    };
    const std::set<fs::path> keep = entries();

    // Each import gives every chunk a new id, so every run makes four new clips.
    for (int run = 0; run < 7; ++run) {
        store->applyPlanText(plan);
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
        store->renderMotion();
        settle();
        ASSERT_FALSE(store->lastError()) << *store->lastError();
    }
    std::set<fs::path> expected = keep;
    std::set<std::string> recorded;
    for (const StoryboardChunk& c : store->project().chunks) {
        expected.insert(clipFileName(c.id));
        recorded.insert(c.id.text());
    }
    expected.insert("manifest.json");
    EXPECT_EQ(entries(), expected);
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_EQ(currentClips(), (std::vector<bool>{true, true, true, true}));
    std::set<std::string> inManifest;
    const auto manifest = nlohmann::json::parse(files::readAll(clips / "manifest.json"));
    for (const auto& [id, entry] : manifest["clips"].items())
        inManifest.insert(id);
    EXPECT_EQ(inManifest, recorded) << "the records of removed clips go with them";

    // A clip of a chunk gone before the project was last closed goes when it opens.
    store->flushAutosave();
    store.reset();
    std::ofstream(clips / clipFileName(Uuid::random())) << "left by an older run";
    open(std::nullopt);
    EXPECT_EQ(entries(), expected);
}

TEST_F(MotionExport, WhatRendersHeldIsGivenBackOnceTheLastClipRunEnds)
{
    // Shared: a release may outlive the test body when an assertion ends it early.
    const auto released = std::make_shared<std::atomic<int>>(0);
    releaseMemory = [released] { ++*released; };
    const auto releases = [&] { return released->load(); };
    open(project({{1.0, 30, "a"}, {1.0, 60, "b"}}));

    store->renderMotion();
    settle();
    EXPECT_EQ(releases(), 1) << "after a render";

    renderer->failOnCall = 2;
    store->renderMotion();
    settle();
    EXPECT_TRUE(store->lastError());
    EXPECT_EQ(releases(), 2) << "a failed render held buffers too";
    renderer->failOnCall.reset();

    // An export that ends while a render still goes leaves that render's buffers
    // alone: the release comes once, when the render ends.
    store->editProject([&](Project& p) {
        GeneratedFrame f;
        f.localPath = writePicture(h.folder.path() / "newer.png", 220);
        p.chunks[0].setFrame(f);
    });
    std::promise<void> gate;
    renderer->hold = gate.get_future().share();
    renderer->holdOnCall = 3;
    store->renderMotion();
    ASSERT_TRUE(waitUntil([&] { return renderer->calls().size() == 4; }, 60000));
    std::optional<fs::path> exported;
    store->exportVideo([&](const fs::path& file) { exported = file; });
    ASSERT_TRUE(waitUntil([&] { return exported.has_value() || store->lastError(); }, 60000));
    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_EQ(releases(), 2) << "the render still goes";
    gate.set_value();
    settle();
    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_EQ(releases(), 3);
}

TEST_F(MotionExport, ASongThatCouldNotBeReadIsReadAgainAndItsClipsCountOnceItIs)
{
    // The last chunk runs far past the song, so its clip's length depends on the song's.
    Project p = project({{1.0, 30, "one"}, {100.0, 60, "two"}});
    song(p, 3);
    open(p);
    store->renderMotion();
    settle();
    ASSERT_EQ(currentClips(), (std::vector<bool>{true, true}));

    // The next start finds the song's drive not mounted yet.
    const fs::path audio = store->project().audioPath;
    fs::rename(audio, audio.string() + ".away");
    reopen();
    settle();
    EXPECT_EQ(currentClips(), (std::vector<bool>{true, false})) << "laid out without the song's length";

    fs::rename(audio.string() + ".away", audio);
    renderer->forget();
    store->exportVideo();
    settle();
    ASSERT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_TRUE(renderer->calls().empty()) << "the clips were made for the song's length";
    EXPECT_EQ(currentClips(), (std::vector<bool>{true, true}));
}
