#include "ScreenFixtures.h"

#include "app/AppFixtures.h"
#include "design/Intent.h"
#include "model/LyricsLimit.h"
#include "model/PipelineError.h"
#include "pipeline/FakeTranscriber.h"
#include "screens/IntakeModel.h"
#include "screens/lists/TranscriptListModel.h"
#include "screens/TimingReviewModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::screens;
using namespace vl::testing;

namespace {

Project trackProject(std::string lyrics = "first line\nsecond line")
{
    Project p = ProjectStore::defaultNewProject();
    p.title = "Neon Overpass";
    p.audioPath = "/music/neon-overpass.mp3";
    p.rawLyrics = std::move(lyrics);
    p.lyricsSource = LyricsSource::embeddedUnverified;
    return p;
}

} // namespace

TEST(IntakeLines, CountsLinesWithWordsAtEveryKindOfLineBreak)
{
    const struct {
        const char* lyrics;
        long long lines;
    } cases[] = {
        {"a\n\n  \nb\r\nc", 3},
        {"  \n\t\n \r\n", 0},
        {"", 0},
        {"one\u2028two\u0085three", 3},
        {"one\u2029two\vthree\ffour\rfive", 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lyrics);
        EXPECT_EQ(IntakeModel::lyricLineCount(c.lyrics), c.lines);
    }
}

TEST(Intake, HeroOnlyWithoutAudioAndTheLyricsAreaFollowsLyricsAndTiming)
{
    Project p = trackProject("   \n \n");
    p.audioPath.clear();
    ScreenHarness s(p);
    IntakeModel intake(*s.services);
    EXPECT_TRUE(intake.showsHero()) << "lyrics without a song still show the hero";

    s.store->editProject([](Project& q) { q.audioPath = "/missing/song file.MP3"; });
    EXPECT_FALSE(intake.showsHero());
    EXPECT_EQ(intake.audioFileName(), "song file.MP3");
    EXPECT_EQ(intake.lineCountText(), "0 lines");
    EXPECT_TRUE(intake.showsNoLyrics());
    EXPECT_FALSE(intake.showsEditor());
    EXPECT_FALSE(intake.canAlignTiming());

    intake.provideLyricsManually();
    EXPECT_TRUE(intake.showsEditor());
    EXPECT_FALSE(intake.showsNoLyrics());
    EXPECT_EQ(s.store->project().lyricsSource, LyricsSource::manual);
    EXPECT_TRUE(intake.canAlignTiming()) << "manual entry allows aligning before anything is typed";

    HeldOperation op(*s.store, "Planning storyboard");
    EXPECT_FALSE(intake.canAlignTiming()) << "nothing starts while an operation runs";
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
    EXPECT_TRUE(intake.canAlignTiming());
}

// The hero names the engine that would transcribe a song without lyrics.
TEST(Intake, TheHeroNamesTheEngineThatWouldTranscribe)
{
    const std::string facts =
        "Verseloom reads the file's tags to fill in the title and artist, and pulls the lyrics straight from the file";
    const struct {
        std::optional<std::string> engine; // none: no transcriber at all
        std::string explainer;
    } cases[] = {
        {"Local Whisper", facts + " \u2014 or transcribes them with Whisper."},
        {"On-device Speech", facts + " \u2014 or transcribes them with On-device Speech."},
        {"None", facts + "."},
        {std::nullopt, facts + "."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.engine.value_or("no transcriber"));
        PipelineServices engines;
        if (c.engine)
            engines.transcriber = std::make_shared<FakeTranscriber>(*c.engine);
        ScreenHarness s(ProjectStore::defaultNewProject(), engines);
        IntakeModel intake(*s.services);
        EXPECT_EQ(intake.heroExplainer().toStdString(), c.explainer);
    }
}

TEST(Intake, LyricsSourceChips)
{
    using design::Intent::Value;
    const struct {
        std::optional<LyricsSource> source;
        std::optional<std::string> engine;
        const char* text;
        int intent;
    } cases[] = {
        {LyricsSource::embeddedVerified, std::nullopt, "Lyrics from file · verified", Value::Good},
        {LyricsSource::embeddedUnverified, std::nullopt, "Lyrics from file", Value::Neutral},
        {LyricsSource::embeddedMismatch, std::nullopt, "Lyrics may not match audio", Value::Bad},
        {LyricsSource::transcribed, std::nullopt, "Transcribed", Value::Accent},
        {LyricsSource::transcribed, std::string(), "Transcribed", Value::Accent},
        {LyricsSource::transcribed, std::string("Whisper"), "Transcribed with Whisper", Value::Accent},
        {LyricsSource::manual, std::nullopt, "Edited manually", Value::Neutral},
    };
    ScreenHarness s(trackProject());
    IntakeModel intake(*s.services);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        s.store->editProject([&](Project& p) {
            p.lyricsSource = c.source;
            p.transcriptionEngine = c.engine;
        });
        EXPECT_TRUE(intake.hasLyricsSource());
        EXPECT_EQ(intake.lyricsSourceText().toStdString(), c.text);
        EXPECT_EQ(intake.lyricsSourceIntent(), c.intent);
    }
    s.store->editProject([](Project& p) { p.lyricsSource.reset(); });
    EXPECT_FALSE(intake.hasLyricsSource());
}

TEST(Intake, AnEditOfTheLyricsIsOneChangeThatDropsTheTiming)
{
    Project p = trackProject();
    p.transcript = {{Uuid::random(), "first line", 0, 2}};
    ScreenHarness s(p);
    IntakeModel intake(*s.services);
    QSignalSpy projectChanges(s.store.get(), &ProjectStore::projectChanged);

    intake.setLyrics(QString::fromStdString(p.rawLyrics));
    EXPECT_EQ(projectChanges.count(), 0) << "the same text changes nothing";
    EXPECT_EQ(s.store->project().transcript.size(), 1u);

    intake.setLyrics("first line\nsecond line!");
    EXPECT_EQ(projectChanges.count(), 1);
    EXPECT_EQ(s.store->project().rawLyrics, "first line\nsecond line!");
    EXPECT_EQ(s.store->project().lyricsSource, LyricsSource::manual);
    EXPECT_TRUE(s.store->project().transcript.empty());
    EXPECT_EQ(intake.lyricsSourceText(), "Edited manually");
}

// The editor keeps within the limit; a text past it that reaches the model anyway
// changes nothing and says why, and one at the limit is taken.
TEST(Intake, AnEditPastTheLyricsLimitIsRefusedWithASentence)
{
    Project p = trackProject();
    p.transcript = {{Uuid::random(), "first line", 0, 2}};
    ScreenHarness s(p);
    IntakeModel intake(*s.services);
    EXPECT_EQ(intake.maximumLyricsBytes(), static_cast<int>(kMaxLyricsBytes));
    const Project before = s.store->project();

    // Characters of two bytes: one more is past the limit.
    const QString atTheLimit(static_cast<qsizetype>(kMaxLyricsBytes / 2), QChar(0x00e9));
    intake.setLyrics(atTheLimit + QChar(0x00e9));
    EXPECT_EQ(s.store->project(), before);
    EXPECT_EQ(s.store->lastError(), std::string(PipelineError::message(PipelineError::lyricsTooLong)));

    s.store->setLastError(std::nullopt);
    intake.setLyrics(atTheLimit);
    EXPECT_EQ(s.store->project().rawLyrics, atTheLimit.toStdString());
    EXPECT_TRUE(s.store->project().transcript.empty());
    EXPECT_FALSE(s.store->lastError());
}

TEST(Intake, TheDialogAndADropImportOnlyLocalAudioFiles)
{
    // The store takes only files that hold sound, so the ones meant to be imported are real.
    StoreHarness songs;
    for (const char* name : {"one.mp3", "SONG.MP3", "a.aif", "b.aac", "c.mp4", "chosen.flac"})
        ASSERT_FALSE(songs.song(name, 0.2).empty()) << name;
    const auto path = [&](const char* name) { return QString::fromStdString((songs.folder.path() / name).string()); };
    const auto url = [&](const char* name) { return QUrl::fromLocalFile(path(name)); };
    const struct {
        QList<QUrl> urls;
        bool accepted;
        QString imported; // empty: nothing is imported
    } cases[] = {
        {{url("one.mp3"), url("two.mp3"), url("three.wav")}, true, path("one.mp3")},
        {{url("SONG.MP3")}, true, path("SONG.MP3")},
        {{url("a.aif")}, true, path("a.aif")},
        {{url("b.aac")}, true, path("b.aac")},
        {{url("c.mp4")}, true, path("c.mp4")},
        {{url("d.ogg")}, true, {}},
        {{QUrl("http://example.com/e.mp3")}, true, {}},
        {{url("f.ogg"), url("g.mp3")}, true, {}},
        {{}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.urls.isEmpty() ? std::string("no urls") : c.urls.first().toString().toStdString());
        ScreenHarness s;
        IntakeModel intake(*s.services);
        const std::string before = s.store->project().audioPath;
        EXPECT_EQ(intake.dropUrls(c.urls), c.accepted);
        ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
        const std::string expected = c.imported.isEmpty() ? before : c.imported.toStdString();
        ASSERT_TRUE(waitUntil([&] { return s.store->project().audioPath == expected; }));
    }

    ScreenHarness s;
    IntakeModel intake(*s.services);
    s.picker.answers = {QString(), path("chosen.flac")};
    intake.chooseFile(); // cancelled
    intake.chooseFile();
    ASSERT_TRUE(waitUntil([&] { return s.store->project().audioPath == path("chosen.flac").toStdString(); }));
    ASSERT_EQ(s.picker.requests.size(), 2u);
    EXPECT_EQ(s.picker.requests[0].nameFilters,
              QStringList{"Audio (*.mp3 *.m4a *.wav *.aiff *.aif *.aac *.flac *.mp4)"});
    ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
}

TEST(Intake, AlignTimingMovesOnOnlyWithoutAnError)
{
    {
        SCOPED_TRACE("a transcript: on to timing at once, nothing runs");
        Project p = trackProject();
        p.transcript = {{Uuid::random(), "first line", 0, 2}};
        ScreenHarness s(p);
        IntakeModel intake(*s.services);
        PublishedLog log(*s.store);
        intake.alignTiming();
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::timing);
        EXPECT_TRUE(log.labels.empty());
    }
    {
        SCOPED_TRACE("no transcript: aligned, then on to timing");
        ScreenHarness s(trackProject());
        IntakeModel intake(*s.services);
        intake.alignTiming();
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::intake) << "not before the run has ended";
        ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
        EXPECT_EQ(s.store->project().transcript.size(), 2u);
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::timing);
    }
    {
        SCOPED_TRACE("the run fails: the error shows and the screen stays");
        ScreenHarness s(trackProject("   "));
        IntakeModel intake(*s.services);
        intake.alignTiming();
        ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
        EXPECT_TRUE(s.store->lastError().has_value());
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::intake);
    }
    {
        SCOPED_TRACE("the screen is gone before the run ends: the chain still finishes");
        ScreenHarness s(trackProject());
        auto intake = std::make_unique<IntakeModel>(*s.services);
        intake->alignTiming();
        intake.reset();
        ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::timing);
    }
}

TEST(Timing, TheStepperMovesTheEndByATenthWithinThirtySecondsOfTheStart)
{
    const struct {
        double start, end;
        int direction;
        double expected;
    } cases[] = {
        {59.5, 61.49, +1, 61.59},
        {59.5, 61.49, -1, 61.39},
        {10, 10.05, -1, 10},   // not below the start
        {10, 10, -1, 10},
        {10, 39.95, +1, 40},   // not beyond start + 30
        {10, 40, +1, 40},
        {0.1, 0.2, +1, 0.3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        EXPECT_EQ(TimingReviewModel::steppedEnd(c.start, c.end, c.direction), c.expected);
        EXPECT_EQ(TimingReviewModel::canStep(c.start, c.end, c.direction), c.expected != c.end);
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(TimingReviewModel::steppedEnd(0, nan, 1)));
    EXPECT_EQ(TimingReviewModel::steppedEnd(nan, 5, 1), 5);
}

TEST(Timing, AStepIsOneChangeOfOneRowAndTheFooterFollowsTheStore)
{
    Project p = trackProject();
    p.transcript = {{Uuid::random(), "first", 59.5, 61.49}, {Uuid::random(), "second", 61.49, 3725}};
    ScreenHarness s(p);
    screens::TranscriptListModel rows(s.store.get());
    TimingReviewModel timing(*s.services);
    EXPECT_TRUE(timing.hasTranscript());
    EXPECT_EQ(timing.durationText(), "62:05");

    QSignalSpy changed(&rows, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&rows, &QAbstractItemModel::modelReset);
    timing.stepEnd(QString::fromStdString(p.transcript[0].id.text()), +1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 0);
    EXPECT_EQ(changed[0][2].value<QList<int>>(), QList<int>{rows.roleOf("end")});
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(s.store->project().transcript[0].end, 61.59);
    EXPECT_EQ(s.store->project().transcript[1].start, 61.49) << "neighbours are left alone";

    HeldOperation op(*s.store, "Rendering elements");
    EXPECT_FALSE(timing.canContinue());
    timing.continueToCharacters();
    EXPECT_EQ(s.store->selectedStage(), PipelineStage::intake);
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
    timing.continueToCharacters();
    EXPECT_EQ(s.store->selectedStage(), PipelineStage::characters);

    s.store->editProject([](Project& q) { q.transcript.clear(); });
    EXPECT_FALSE(timing.hasTranscript());
    EXPECT_EQ(timing.durationText(), "0:00");
    timing.backToIntake();
    EXPECT_EQ(s.store->selectedStage(), PipelineStage::intake);
}
