#include "MediaFixtures.h"

#include "media/AudioDecoder.h"
#include "media/AudioTools.h"
#include "media/FFmpegSupport.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <regex>
#include <thread>

using namespace vl;
using namespace vl::AudioTools;
namespace fs = std::filesystem;

namespace {

// Each test gets its own temporary folder, so leftovers of a failed transcode
// are visible and parallel runs do not see each other's files.
class Transcode : public testing::Test {
protected:
    void SetUp() override
    {
        temp_ = test::fixtureFolder() / ("tmp-" + std::to_string(counter_++));
        fs::create_directories(temp_);
        ::setenv("TMPDIR", temp_.c_str(), 1);
    }
    void TearDown() override { ::unsetenv("TMPDIR"); }

    std::vector<fs::path> leftovers() const
    {
        std::vector<fs::path> out;
        for (const auto& e : fs::directory_iterator(temp_))
            out.push_back(e.path());
        return out;
    }

    fs::path temp_;
    static inline int counter_ = 0;
};

struct StreamFacts {
    std::string format;
    std::string brand;
    AVCodecID codec = AV_CODEC_ID_NONE;
    int rate = 0;
    int channels = 0;
    std::int64_t bitRate = 0;
    double seconds = 0;
};

StreamFacts readBack(const fs::path& file)
{
    int error = 0;
    auto input = ffmpeg::openInput(file, error);
    if (!input)
        return {};
    StreamFacts f;
    f.format = input->iformat->name;
    if (auto* e = av_dict_get(input->metadata, "major_brand", nullptr, 0))
        f.brand = e->value;
    const int i = ffmpeg::firstAudioStream(*input);
    if (i < 0)
        return f;
    const auto* par = input->streams[i]->codecpar;
    f.codec = par->codec_id;
    f.rate = par->sample_rate;
    f.channels = par->ch_layout.nb_channels;
    f.bitRate = par->bit_rate;
    f.seconds = static_cast<double>(input->duration) / AV_TIME_BASE;
    return f;
}

double pitch(const fs::path& file)
{
    std::vector<std::int16_t> s;
    decodeAudio(file, 16000, {}, [&](std::span<const std::int16_t> b) { s.insert(s.end(), b.begin(), b.end()); });
    int n = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0)
            ++n;
    return s.empty() ? 0 : n / (static_cast<double>(s.size()) / 16000);
}

fs::path videoWithSound()
{
    const auto file = test::fixtureFolder() / "clip with sound.mp4";
    if (!fs::exists(file))
        test::run({"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i", "color=c=blue:s=90x160:d=2",
                   "-f", "lavfi", "-i", "sine=frequency=440:duration=2", "-map", "0", "-map", "1", "-c:v",
                   "libx264", "-c:a", "aac", "-shortest", file.string()});
    return file;
}

} // namespace

TEST_F(Transcode, WritesSixteenKilohertzMonoAacIntoANewM4a)
{
    struct Case {
        fs::path source;
        double seconds;
    };
    const Case cases[] = {
        {test::tone("stereo.mp3", 2.0), 2.0},
        {test::tone("surround.flac", 1.5, 48000, 6), 1.5},
        {test::tone("low.wav", 1.0, 8000, 1), 1.0},
        {videoWithSound(), 2.0},
    };
    const std::regex name("vl-stt-[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\.m4a");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.filename().string());
        ASSERT_TRUE(fs::exists(c.source));
        const auto out = compressForTranscription(c.source);
        EXPECT_EQ(out.parent_path(), temp_);
        EXPECT_TRUE(std::regex_match(out.filename().string(), name)) << out;
        const auto facts = readBack(out);
        EXPECT_NE(facts.format.find("m4a"), std::string::npos) << facts.format;
        EXPECT_EQ(facts.brand, "M4A ");
        EXPECT_EQ(facts.codec, AV_CODEC_ID_AAC);
        EXPECT_EQ(facts.rate, 16000);
        EXPECT_EQ(facts.channels, 1);
        EXPECT_GT(facts.bitRate, 16000);
        EXPECT_LT(facts.bitRate, 48000);
        EXPECT_NEAR(facts.seconds, c.seconds, 0.15) << "nothing may be trimmed";
        EXPECT_NEAR(pitch(out), 440.0, 15.0);
    }
}

TEST_F(Transcode, TwoRunsOnOneSongMakeTwoFiles)
{
    const auto song = test::tone("twice.wav", 0.3);
    const auto a = compressForTranscription(song);
    const auto b = compressForTranscription(song);
    EXPECT_NE(a, b);
    EXPECT_TRUE(fs::exists(a));
    EXPECT_TRUE(fs::exists(b));
}

TEST_F(Transcode, FailuresLeaveNoFileBehind)
{
    const auto silentVideo = test::silentVideo();
    ASSERT_FALSE(silentVideo.empty());
    const auto image = test::picture("picture.png");
    ASSERT_FALSE(image.empty());
    for (const auto& file : {silentVideo, image}) {
        try {
            compressForTranscription(file);
            ADD_FAILURE() << file << " transcoded";
        } catch (const AudioToolError& e) {
            EXPECT_EQ(e, AudioToolError(AudioToolError::noAudioTrack));
            EXPECT_STREQ(e.what(), "The file has no audio track to transcribe.");
        }
    }
    const fs::path unreadable[] = {test::bytesFile("noise.m4a", test::noise(30000)), test::fixtureFolder(),
                                   test::fixtureFolder() / "missing.mp3", test::bytesFile("empty.mp3", "")};
    for (const auto& file : unreadable)
        EXPECT_THROW(compressForTranscription(file), AudioDecodeError) << file;
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(Transcode, CancellingStopsAndRemovesThePartialFile)
{
    const auto song = test::tone("long.flac", 30.0);
    std::stop_source source;
    std::jthread canceller([&] {
        // Wait until the output exists, so the cancel lands mid-write.
        for (int i = 0; i < 2000 && leftovers().empty(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        source.request_stop();
    });
    EXPECT_THROW(compressForTranscription(song, source.get_token()), Cancelled);
    canceller.join();
    EXPECT_TRUE(leftovers().empty());

    std::stop_source early;
    early.request_stop();
    EXPECT_THROW(compressForTranscription(song, early.get_token()), Cancelled);
    EXPECT_TRUE(leftovers().empty());
}

TEST_F(Transcode, AnOutputFolderThatCannotBeWrittenIsThePlatformsError)
{
    ::setenv("TMPDIR", (temp_ / "gone").c_str(), 1);
    EXPECT_THROW(compressForTranscription(test::tone("any.wav", 0.2)), fs::filesystem_error);
}

TEST(AudioToolError, EachCaseHasItsSentence)
{
    EXPECT_STREQ(AudioToolError(AudioToolError::trimFailed).what(), "Could not trim the audio clip for verification.");
    EXPECT_STREQ(AudioToolError(AudioToolError::noAudioTrack).what(), "The file has no audio track to transcribe.");
    EXPECT_STREQ(AudioToolError(AudioToolError::transcodeFailed).what(),
                 "Could not prepare the audio for transcription.");
    EXPECT_FALSE(AudioToolError(AudioToolError::trimFailed) == AudioToolError(AudioToolError::transcodeFailed));
}

TEST(Segments, KeepTimesAndOrderOfChunksWithVisibleText)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<TimedChunk> chunks = {
        {"  first\t", 1.0, 2.0}, {" \t\u00a0 ", 2.0, 3.0}, {"backwards", 5.0, 4.0},
        {"\nkept break\n", 6.0, 7.0}, {"", 8.0, 9.0}, {"broken time", nan, 10.0},
    };
    const auto out = segments(chunks);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].text, "first");
    EXPECT_EQ(out[0].start, 1.0);
    EXPECT_EQ(out[0].end, 2.0);
    EXPECT_EQ(out[1].text, "backwards");
    EXPECT_EQ(out[1].start, 5.0);
    EXPECT_EQ(out[1].end, 4.0);
    EXPECT_EQ(out[2].text, "\nkept break\n") << "line breaks are not trimmed";
    EXPECT_NE(out[0].id, out[1].id);
}

TEST(EvenlyTimedSegments, SpreadsLinesOverTheSungSpanOrTheSong)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* what;
        std::vector<std::string> lines;
        std::vector<TimedChunk> chunks;
        double duration;
        double begin;
        double step;
    };
    const std::vector<std::string> four = {"a", "b", "c", "d"};
    const std::vector<std::string> six = {"1", "2", "3", "4", "5", "6"};
    const Case cases[] = {
        {"span of the chunks", four, {{"x", 10, 12}, {"y", 28, 30}}, 200, 10, 5},
        {"first and last in list order", four, {{"x", 10, 12}, {"y", 2, 4}, {"z", 28, 30}}, 200, 10, 5},
        {"unusable chunks are skipped", four, {{"x", 5, 5}, {"y", -3, 0}, {"a", 10, 12}, {"b", 28, 30}, {"c", 40, 39}},
         200, 10, 5},
        {"no chunks: the duration", six, {}, 180, 0, 30},
        {"no chunks, no duration", six, {}, 0, 0, 3},
        {"first starts after last ends", four, {{"x", 50, 60}, {"y", 10, 20}}, 40, 0, 10},
        {"negative duration", four, {}, -5, 0, 3},
        {"infinite duration", four, {}, inf, 0, 3},
        {"not-a-number duration", four, {}, nan, 0, 3},
        {"chunk with infinite end", four, {{"x", 0, inf}}, 8, 0, 2},
        {"blank lines take no share", {"  ", "a", "\t", "b", ""}, {}, 10, 0, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto out = evenlyTimedSegments(c.lines, c.chunks, c.duration);
        std::size_t expected = 0;
        for (const auto& l : c.lines)
            expected += l.find_first_not_of(" \t") != std::string::npos;
        ASSERT_EQ(out.size(), expected);
        for (std::size_t i = 0; i < out.size(); ++i) {
            EXPECT_DOUBLE_EQ(out[i].start, c.begin + c.step * static_cast<double>(i));
            EXPECT_DOUBLE_EQ(out[i].end, c.begin + c.step * static_cast<double>(i + 1));
        }
    }
    EXPECT_TRUE(evenlyTimedSegments({" ", "\t"}, {}, 10).empty());
    const auto trimmed = evenlyTimedSegments({"\u3000 hello \t"}, {}, 1);
    ASSERT_EQ(trimmed.size(), 1u);
    EXPECT_EQ(trimmed[0].text, "hello");
}
