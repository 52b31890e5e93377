#include "FakeTranscriber.h"
#include "StoreHarness.h"

#include "cloud/FalError.h"
#include "fakes/VendorReplies.h"
#include "media/transcription/SystemTranscriber.h"
#include "media/transcription/TranscriptionError.h"
#include "model/LyricsLimit.h"
#include "model/PipelineError.h"

#include <QUrl>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <thread>

using namespace vl;
using namespace vl::testing;

namespace {

const std::string kFallbackPrefix = "[Transcription] fal transcription failed (";
const std::string kFallbackSuffix = "); falling back to the local engine.";
const std::string kUnparseable =
    "[Transcription] fal returned an unparseable response; falling back to the local engine.";

// The vendor's timed transcript for the given lines, one second each.
fakes::Reply cloudTranscript(const std::vector<std::string>& texts)
{
    return fakes::replies::timedTranscript(texts, "whole text");
}

std::vector<std::string> texts(const std::vector<TranscriptSegment>& segments)
{
    std::vector<std::string> out;
    for (const auto& s : segments)
        out.push_back(s.text);
    return out;
}

std::set<std::filesystem::path> speechCopies()
{
    std::set<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
        if (entry.path().filename().string().starts_with("vl-stt-"))
            found.insert(entry.path());
    return found;
}

struct Timing : ::testing::Test {
    StoreHarness h;
    std::shared_ptr<FakeTranscriber> engine = std::make_shared<FakeTranscriber>();
    std::unique_ptr<ProjectStore> store;

    void makeStore(std::optional<Project> project = std::nullopt)
    {
        PipelineServices services;
        services.transcriber = engine;
        store = h.make(project ? std::move(project) : std::optional<Project>(ProjectStore::defaultNewProject()),
                       std::move(services));
    }

    void importAndSettle(const std::filesystem::path& song)
    {
        store->importAudio(song);
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    }
};

} // namespace

TEST_F(Timing, ImportTakesTheTagsAndClearsWhatBelongedToTheOldSong)
{
    Project before = ProjectStore::defaultNewProject();
    before.title = "Typed title";
    before.artist = "Typed artist";
    before.rawLyrics = "typed words";
    before.lyricsSource = LyricsSource::manual;
    before.transcriptionEngine = "Old engine";
    before.transcript = {{Uuid::random(), "old", 0, 1}};
    before.chunks = {StoryboardChunk{}};
    before.updatedAt = Date{};

    // Lyrics past the project's limit, in one argument of a command line (at most 128 KiB).
    std::string longLyrics;
    for (int line = 1; longLyrics.size() < kMaxLyricsBytes + 10'000; ++line)
        longLyrics += (line > 1 ? "\n" : "") + std::string("line ") + std::to_string(line) + " of the long song";
    std::string longLyricsKept = longLyrics;
    capLyrics(longLyricsKept);
    const std::string cutFromSong(PipelineError::message(PipelineError::lyricsCutFromSong));

    struct Case {
        const char* name;
        std::string file;
        std::vector<std::string> tags;
        std::string title, artist, lyrics;
        std::optional<LyricsSource> source;
        std::optional<std::string> banner = std::nullopt;
    };
    const std::vector<Case> cases = {
        {"all tags", "tagged.m4a", {"title=Song A", "artist=Band A", "lyrics=[Chorus]\nOne  line\nTwo"},
         "Song A", "Band A", "One line\nTwo", LyricsSource::embeddedUnverified},
        {"a missing artist keeps the typed one", "title-only.m4a", {"title=Song B"}, "Song B", "Typed artist", "",
         std::nullopt},
        {"lyrics of only section labels are none", "labels.m4a", {"lyrics=[Intro]\n[Outro]"}, "Typed title",
         "Typed artist", "", std::nullopt},
        {"lyrics past the limit lose their last lines", "long.m4a", {"lyrics=" + longLyrics}, "Typed title",
         "Typed artist", longLyricsKept, LyricsSource::embeddedUnverified, cutFromSong},
    };
    engine = std::make_shared<FakeTranscriber>("Fake Engine", false); // timing ends without writing
    for (const auto& c : cases) {
        makeStore(before);
        store->setLastError("an old banner");
        std::filesystem::path song;
        if (c.tags.empty()) {
            song = h.folder.path() / c.file;
            std::ofstream(song) << "not a song";
        } else {
            song = h.song(c.file, 0.5, c.tags);
            ASSERT_FALSE(song.empty()) << c.name;
        }
        importAndSettle(song);
        const Project& p = store->project();
        EXPECT_EQ(p.audioPath, song.string()) << c.name;
        EXPECT_EQ(p.title, c.title) << c.name;
        EXPECT_EQ(p.artist, c.artist) << c.name;
        EXPECT_EQ(p.rawLyrics, c.lyrics) << c.name;
        EXPECT_EQ(p.lyricsSource, c.source) << c.name;
        EXPECT_TRUE(p.transcript.empty()) << c.name;
        EXPECT_TRUE(p.chunks.empty()) << c.name;
        EXPECT_EQ(p.transcriptionEngine, std::optional<std::string>("Old engine")) << c.name;
        EXPECT_GT(p.updatedAt, before.updatedAt) << c.name;
        EXPECT_EQ(store->lastError(), c.banner) << c.name;
        EXPECT_FALSE(store->timingInProgress()) << c.name;
    }
}

TEST_F(Timing, AFileThatIsNoReadableSongIsRefusedAndTheProjectKept)
{
    Project before = ProjectStore::defaultNewProject();
    before.title = "Typed title";
    before.audioPath = "/music/old.mp3";
    before.rawLyrics = "typed words";
    before.lyricsSource = LyricsSource::manual;
    before.transcript = {{Uuid::random(), "old", 0, 1}};
    before.chunks = {StoryboardChunk{}};

    const auto folder = h.folder.path();
    const auto write = [&](const std::string& name, const std::string& bytes) {
        std::ofstream(folder / name, std::ios::binary) << bytes;
        return folder / name;
    };
    // A real song whose header then claims a LIST chunk of a gigabyte.
    const auto claiming = h.song("claiming.wav", 0.5);
    ASSERT_FALSE(claiming.empty());
    std::ofstream(claiming, std::ios::binary | std::ios::app) << std::string("LIST\x80\xf0\x01\x3bINFO", 12);
    std::filesystem::create_directory(folder / "folder.mp3");

    const std::filesystem::path files[] = {
        write("noise.m4a", "not a song"), write("empty.mp3", ""), folder / "folder.mp3", folder / "missing.mp3",
        claiming,
    };
    engine = std::make_shared<FakeTranscriber>("Fake Engine", false);
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        makeStore(before);
        store->setLastError("an old banner");
        const Project kept = store->project();
        importAndSettle(file);
        EXPECT_EQ(store->project(), kept);
        EXPECT_EQ(store->lastError(), std::string(PipelineError::message(PipelineError::unreadableSong)));
        EXPECT_FALSE(store->timingInProgress());
        EXPECT_TRUE(engine->calls().empty()) << "a file that is no song was sent to timing";
    }
}

TEST_F(Timing, CloudFirstThenTheLocalEngine)
{
    struct Case {
        const char* name;
        bool key;
        std::function<void(fakes::FakeVendor&)> vendor;
        bool engineAvailable;
        std::exception_ptr engineError;
        TranscriptionResult local;
        std::vector<std::string> transcript; // empty: nothing written
        std::optional<std::string> engineLabel;
        std::string log; // a line the run must write
    };
    const auto cloudAnswer = [](fakes::FakeVendor& v) {
        v.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, cloudTranscript({"first line", " ", "second line"})});
    };
    const auto uploadRefused = [](fakes::FakeVendor& v) {
        v.inject(fakes::Route::fileUpload, fakes::replies::refusal(500));
    };
    const std::string missingKey = kFallbackPrefix + FalError::missingAPIKey().what() + kFallbackSuffix;
    const std::vector<Case> cases = {
        {"the vendor's transcript", true, cloudAnswer, true, nullptr, lines({"unused"}),
         {"first line", "second line"}, "fal.ai", ""},
        {"no key: the local engine", false, cloudAnswer, true, nullptr, lines({"local one", "local two"}),
         {"local one", "local two"}, "Fake Engine", missingKey},
        {"upload refused: the local engine", true, uploadRefused, true, nullptr, lines({"local"}), {"local"},
         "Fake Engine", kFallbackPrefix},
        {"unreadable answer: the local engine", true,
         [](fakes::FakeVendor& v) {
             v.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, fakes::Reply::json({{"lyrics", "none"}})});
         },
         true, nullptr, lines({"local"}), {"local"}, "Fake Engine", kUnparseable},
        {"no local engine: nothing", false, cloudAnswer, false, nullptr, lines({"unused"}), {}, std::nullopt,
         missingKey},
        {"the local engine fails: nothing", false, cloudAnswer, true,
         std::make_exception_ptr(TranscriptionError::failed("broken")), {}, {}, std::nullopt, missingKey},
        {"only blank chunks: nothing", false, cloudAnswer, true, nullptr, lines({"  ", "\t"}), {}, std::nullopt,
         missingKey},
    };
    for (const auto& c : cases) {
        StoreHarness harness;
        harness.storedKey = c.key ? std::optional<std::string>(kTestKey) : std::nullopt;
        c.vendor(harness.vendor);
        auto local = std::make_shared<FakeTranscriber>("Fake Engine", c.engineAvailable);
        local->answer(c.local);
        if (c.engineError)
            local->fail(c.engineError);
        PipelineServices services;
        services.transcriber = local;
        auto s = harness.make(ProjectStore::defaultNewProject(), std::move(services));
        const auto song = harness.song("song.wav", 1.0);
        ASSERT_FALSE(song.empty());

        ::testing::internal::CaptureStderr();
        s->importAudio(song);
        ASSERT_TRUE(waitUntil([&] { return s->timingInProgress(); })) << c.name;
        ASSERT_TRUE(StoreHarness::waitForIdle(*s)) << c.name;
        const std::string log = ::testing::internal::GetCapturedStderr();

        const Project& p = s->project();
        EXPECT_EQ(texts(p.transcript), c.transcript) << c.name;
        EXPECT_EQ(p.transcriptionEngine, c.engineLabel) << c.name;
        if (c.transcript.empty()) {
            EXPECT_TRUE(p.rawLyrics.empty()) << c.name;
            EXPECT_FALSE(p.lyricsSource) << c.name;
        } else {
            // The song has no lyrics of its own: the recognised lines become them.
            EXPECT_EQ(p.rawLyrics, p.transcript.size() == 1 ? c.transcript[0]
                                                           : c.transcript[0] + "\n" + c.transcript[1])
                << c.name;
            EXPECT_EQ(p.lyricsSource, LyricsSource::transcribed) << c.name;
        }
        EXPECT_FALSE(s->lastError()) << c.name;
        EXPECT_FALSE(s->timingInProgress()) << c.name;
        EXPECT_FALSE(s->runningTask()) << c.name;
        if (!c.log.empty()) {
            EXPECT_NE(log.find(c.log), std::string::npos) << c.name << "\n" << log;
        }
        if (c.engineLabel == "fal.ai") {
            EXPECT_TRUE(local->calls().empty()) << c.name;
            EXPECT_EQ(log.find("[Transcription]"), std::string::npos) << c.name;
        } else if (c.engineAvailable) {
            // The local engine hears the song itself, never the speech copy.
            ASSERT_EQ(local->calls().size(), 1u) << c.name;
            EXPECT_EQ(local->calls()[0], song) << c.name;
        }
    }
}

TEST_F(Timing, TheCloudGetsASmallSpeechCopyThatIsRemovedAfterwards)
{
    h.storedKey = kTestKey;
    h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, cloudTranscript({"one"})});
    makeStore();
    const auto song = h.song("big.wav", 2.0);
    const auto copiesBefore = speechCopies();

    store->importAudioFile(QUrl::fromLocalFile(QString::fromStdString(song.string())).toString());
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(store->project().audioPath, song.string());
    EXPECT_EQ(texts(store->project().transcript), std::vector<std::string>{"one"});

    const auto uploads = h.vendor.requests(fakes::Route::fileUpload);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].header("x-fal-file-name"), std::optional<std::string>("song.m4a"));
    EXPECT_EQ(uploads[0].header("content-type"), std::optional<std::string>("audio/mp4"));
    EXPECT_EQ(uploads[0].body.substr(4, 4), "ftyp") << "an MPEG-4 audio copy is sent";
    EXPECT_LT(uploads[0].body.size(), std::filesystem::file_size(song) / 3);

    const auto submits = h.vendor.requests(fakes::Route::submit);
    ASSERT_EQ(submits.size(), 1u);
    EXPECT_TRUE(submits[0].path.ends_with(PipelineConfig{}.transcriptionWorkflow)) << submits[0].path;
    EXPECT_EQ(nlohmann::json::parse(submits[0].body)["song_audio_file"],
              h.vendor.url("/media/uploads/song.m4a"));

    std::set<std::filesystem::path> left;
    for (const auto& copy : speechCopies())
        if (!copiesBefore.contains(copy))
            left.insert(copy);
    EXPECT_TRUE(left.empty()) << left.begin()->string();
}

TEST_F(Timing, EmbeddedLyricsStayWhenTheTranscriptArrives)
{
    h.storedKey = kTestKey;
    h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, cloudTranscript({"heard words"})});
    makeStore();
    importAndSettle(h.song("lyrics.m4a", 0.5, {"lyrics=Written words"}));
    EXPECT_EQ(texts(store->project().transcript), std::vector<std::string>{"heard words"});
    EXPECT_EQ(store->project().rawLyrics, "Written words");
    EXPECT_EQ(store->project().lyricsSource, LyricsSource::embeddedUnverified);
}

TEST_F(Timing, AQueuedCloudJobShowsItsPlaceAndLeavesNoLabelBehind)
{
    h.storedKey = kTestKey;
    std::vector<fakes::Reply> statuses(15, fakes::FakeVendor::status("IN_QUEUE", 3));
    statuses.push_back(fakes::FakeVendor::status("COMPLETED"));
    h.vendor.scriptNextJob({statuses, cloudTranscript({"queued"})});
    makeStore();
    store->importAudio(h.song("queued.wav"));
    EXPECT_TRUE(waitUntil([&] { return store->runningTask() == std::optional<std::string>("In queue (position 3)"); }));
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(texts(store->project().transcript), std::vector<std::string>{"queued"});
    EXPECT_FALSE(store->runningTask()) << "the queue text outlived the run";
}

TEST_F(Timing, ASecondImportDiscardsTheFirstRunAndOwnsTheInProgressFlag)
{
    makeStore(); // no key: both runs go straight to the local engine
    const auto first = h.song("first.wav");
    const auto second = h.song("second.wav");
    engine->answer(first, lines({"from the first song"}));
    engine->answer(second, lines({"from the second song"}));
    engine->hold(first);
    engine->hold(second);

    store->importAudio(first);
    ASSERT_TRUE(waitUntil([&] { return engine->calls().size() == 1; }));
    store->importAudio(second);
    ASSERT_TRUE(waitUntil([&] { return engine->calls().size() == 2; }));

    // The first engine run ignores the stop and ends before the second.
    engine->release(first);
    spin(200);
    EXPECT_TRUE(store->project().transcript.empty()) << "a superseded run wrote its result";
    EXPECT_TRUE(store->timingInProgress()) << "a superseded run ended the newer run's progress";

    engine->release(second);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(texts(store->project().transcript), std::vector<std::string>{"from the second song"});
    EXPECT_EQ(store->project().audioPath, second.string());
    EXPECT_FALSE(store->timingInProgress());
}

TEST_F(Timing, ARunStoppedDuringTheCloudAttemptNeverStartsTheLocalEngine)
{
    h.storedKey = kTestKey;
    h.vendor.scriptNextJob({{fakes::FakeVendor::status("IN_PROGRESS")}, cloudTranscript({"never"}), true});
    h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, cloudTranscript({"second"})});
    makeStore();
    engine->answer(lines({"local"}));

    ::testing::internal::CaptureStderr();
    store->importAudio(h.song("first.wav"));
    ASSERT_TRUE(waitUntil([&] { return h.vendor.requests(fakes::Route::status).size() >= 2; }));
    store->importAudio(h.song("second.wav"));
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    const std::string log = ::testing::internal::GetCapturedStderr();

    EXPECT_EQ(texts(store->project().transcript), std::vector<std::string>{"second"});
    EXPECT_TRUE(engine->calls().empty()) << "the stopped run fell back to the local engine";
    EXPECT_EQ(log.find(kFallbackPrefix), std::string::npos) << log;
    EXPECT_FALSE(store->lastError());
}

TEST_F(Timing, TheImportChosenLastWinsWhateverOrderTheTagsArrive)
{
    makeStore();
    // A named pipe keeps the first tag read waiting until the test writes to it.
    const auto slow = h.folder.path() / "slow.m4a";
    ASSERT_EQ(::mkfifo(slow.c_str(), 0600), 0);
    const auto quick = h.song("quick.m4a", 0.5, {"title=Quick"});

    store->importAudio(slow);
    store->importAudio(quick);
    ASSERT_TRUE(waitUntil([&] { return store->project().audioPath == quick.string(); }));

    // Let the first read finish: every open of the pipe meets a writer that closes at once.
    std::atomic<bool> done = false;
    std::thread writer([&] {
        while (!done) {
            const int fd = ::open(slow.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const bool idle = StoreHarness::waitForIdle(*store);
    done = true;
    writer.join();
    ASSERT_TRUE(idle);
    EXPECT_EQ(store->project().audioPath, quick.string());
    EXPECT_EQ(store->project().title, "Quick");
}

TEST_F(Timing, EvenAlignment)
{
    const auto fourSeconds = h.song("four.wav", 4.0);
    const auto notAudio = h.folder.path() / "not-audio.wav";
    std::ofstream(notAudio) << "nothing to hear";
    const std::vector<TranscriptSegment> existing = {{Uuid::random(), "kept", 5, 6}};

    struct Case {
        const char* name;
        std::string audio;
        std::string lyrics;
        std::vector<TranscriptSegment> transcript;
        std::vector<std::pair<double, double>> spans; // expected segments, when no error
        std::optional<PipelineError::Code> error;
    };
    const std::vector<Case> cases = {
        {"four lines share the song", fourSeconds.string(), "a\r\nb\n\n  \nc\u2028d", {},
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}}, std::nullopt},
        {"an unreadable length gives three seconds a line", notAudio.string(), "a\nb", {}, {{0, 3}, {3, 6}},
         std::nullopt},
        {"an existing transcript stays", fourSeconds.string(), "a\nb", existing, {{5, 6}}, std::nullopt},
        {"no audio, even with a transcript", "", "a", existing, {}, PipelineError::missingAudio},
        {"lyrics of only blanks", fourSeconds.string(), " \t\n\u3000\n", {}, {}, PipelineError::emptyLyrics},
        {"no lyrics", fourSeconds.string(), "", {}, {}, PipelineError::emptyLyrics},
    };
    for (const auto& c : cases) {
        Project project = ProjectStore::defaultNewProject();
        project.audioPath = c.audio;
        project.rawLyrics = c.lyrics;
        project.transcript = c.transcript;
        makeStore(project);
        store->alignTiming();
        EXPECT_EQ(store->runningTask(), std::optional<std::string>("Aligning timing")) << c.name;
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;
        EXPECT_FALSE(store->runningTask()) << c.name;
        if (c.error) {
            EXPECT_EQ(store->lastError(), std::optional<std::string>(PipelineError::message(*c.error))) << c.name;
            EXPECT_EQ(store->project().transcript, c.transcript) << c.name;
            continue;
        }
        EXPECT_FALSE(store->lastError()) << c.name;
        std::vector<std::pair<double, double>> spans;
        for (const auto& s : store->project().transcript)
            spans.emplace_back(s.start, s.end);
        ASSERT_EQ(spans.size(), c.spans.size()) << c.name;
        for (std::size_t i = 0; i < spans.size(); ++i) {
            EXPECT_NEAR(spans[i].first, c.spans[i].first, 0.05) << c.name << " #" << i;
            EXPECT_NEAR(spans[i].second, c.spans[i].second, 0.05) << c.name << " #" << i;
        }
        EXPECT_FALSE(store->project().lyricsSource) << c.name;
        EXPECT_FALSE(store->project().transcriptionEngine) << c.name;
    }
}

TEST_F(Timing, AnAlignmentOfLyricsReplacedMeanwhileIsDropped)
{
    Project project = ProjectStore::defaultNewProject();
    project.audioPath = h.song("song.wav").string();
    project.rawLyrics = "old line";
    makeStore(project);
    store->alignTiming();
    store->editProject([](Project& p) { p.rawLyrics = "new line"; });
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(store->project().transcript.empty());
}

TEST_F(Timing, AResultLandsOnlyInTheProjectTheRunStartedOn)
{
    makeStore();
    const auto song = h.song("song.wav");
    engine->answer(lines({"words"}));
    engine->hold(song);
    store->importAudio(song);
    ASSERT_TRUE(waitUntil([&] { return engine->calls().size() == 1; }));
    store->newProject();
    engine->release(song);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(store->project().transcript.empty());
    EXPECT_FALSE(store->timingInProgress());
}

TEST(PipelineServicesStandard, TimesWithWhisperBaseThenOnDeviceSpeech)
{
    const auto* system = dynamic_cast<const SystemTranscriber*>(PipelineServices::standard().transcriber.get());
    ASSERT_TRUE(system);
    EXPECT_EQ(system->local().model(), "base");
    EXPECT_EQ(system->speech().name(), "On-device Speech");
}

TEST_F(Timing, ImportAndAlignmentDoNotWaitForRendersHoldingEveryCpuWorker)
{
    engine = std::make_shared<FakeTranscriber>("Fake Engine", false); // timing ends without writing
    makeStore();
    // Renders and exports that hold every CPU worker for as long as the test lasts.
    auto released = std::make_shared<std::atomic<bool>>(false);
    const int cpuWorkers = store->workers().maxThreadCount(Workers::Pool::cpu);
    for (int i = 0; i < cpuWorkers; ++i)
        store->run("Rendering motion", Workers::Pool::cpu, [released](RunReporter& r) -> ApplyFn {
            while (!*released && !r.stop().stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return {};
        });

    const auto song = h.song("tagged.m4a", 2.0, {"title=Lane Song", "artist=Side Road"});
    ASSERT_FALSE(song.empty());
    store->importAudio(song);
    EXPECT_TRUE(waitUntil([&] { return store->project().title == "Lane Song"; }, 30000))
        << "the song's tags waited for the renders";
    EXPECT_EQ(store->project().audioPath, song.string());
    ASSERT_TRUE(waitUntil([&] { return !store->timingInProgress(); }, 30000));

    store->editProject([](Project& p) {
        p.transcript.clear();
        p.rawLyrics = "one\ntwo";
    });
    store->alignTiming();
    EXPECT_TRUE(waitUntil([&] { return store->project().transcript.size() == 2; }, 30000))
        << "even alignment waited for the renders";

    *released = true;
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
}
