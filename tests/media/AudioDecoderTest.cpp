#include "MediaFixtures.h"

#include "media/AudioDecoder.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace vl;
using vl::test::tone;

namespace {

std::vector<std::int16_t> decodeAll(const std::filesystem::path& file, int rate = 16000)
{
    std::vector<std::int16_t> all;
    decodeAudio(file, rate, {}, [&](std::span<const std::int16_t> s) { all.insert(all.end(), s.begin(), s.end()); });
    return all;
}

// Upward zero crossings per second: the tone's frequency, if the rate is right.
double crossingsPerSecond(const std::vector<std::int16_t>& s, int rate)
{
    int n = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        if (s[i - 1] < 0 && s[i] >= 0)
            ++n;
    return s.empty() ? 0 : n / (static_cast<double>(s.size()) / rate);
}

struct FormatCase {
    const char* name;
    int rate;
    int channels;
    std::vector<std::string> extra;
};

// Keeps the generated test names readable in ctest's listing.
void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class DecoderFormats : public testing::TestWithParam<FormatCase> {};

} // namespace

TEST_P(DecoderFormats, DecodesOneSecondToMono16kWithTheRightPitch)
{
    const auto& c = GetParam();
    const auto file = tone(c.name, 1.0, c.rate, c.channels, c.extra);
    ASSERT_FALSE(file.empty());
    const auto samples = decodeAll(file);
    // Codec priming and padding move the length by a few frames at most.
    EXPECT_NEAR(static_cast<double>(samples.size()), 16000.0, 1600.0);
    EXPECT_NEAR(crossingsPerSecond(samples, 16000), 440.0, 15.0);
    double energy = 0;
    for (auto v : samples)
        energy += static_cast<double>(v) * v;
    EXPECT_GT(std::sqrt(energy / static_cast<double>(samples.size())), 300.0) << "the tone came out silent";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DecoderFormats,
    testing::Values(FormatCase{"stereo.mp3", 44100, 2, {}}, FormatCase{"mono.m4a", 48000, 1, {"-c:a", "aac"}},
                    FormatCase{"hi.flac", 96000, 2, {}}, FormatCase{"u8.wav", 8000, 1, {"-c:a", "pcm_u8"}},
                    FormatCase{"six.wav", 44100, 6, {}}, FormatCase{"be.aiff", 22050, 2, {}},
                    FormatCase{"vorbis.ogg", 44100, 2, {"-c:a", "libvorbis"}},
                    FormatCase{"already16k.wav", 16000, 1, {}}),
    [](const testing::TestParamInfo<FormatCase>& param) {
        std::string n = param.param.name;
        for (auto& ch : n)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return n;
    });

TEST(AudioDecoder, TakesTheFirstAudioStreamBehindAVideoStream)
{
    const auto file = vl::test::fixtureFolder() / "with sound.mp4";
    ASSERT_TRUE(vl::test::run({"ffmpeg", "-nostdin", "-y", "-v", "error", "-f", "lavfi", "-i",
                               "color=c=blue:s=90x160:d=1", "-f", "lavfi", "-i", "sine=frequency=880:duration=1",
                               "-f", "lavfi", "-i", "sine=frequency=300:duration=1", "-map", "0", "-map", "1",
                               "-map", "2", "-c:v", "libx264", "-c:a", "aac", "-shortest", file.string()}));
    const auto samples = decodeAll(file);
    EXPECT_NEAR(crossingsPerSecond(samples, 16000), 880.0, 20.0);
}

TEST(AudioDecoder, SkipsCoverArtInFrontOfTheAudio)
{
    const auto cover = vl::test::picture("cover.png");
    ASSERT_FALSE(cover.empty());
    const auto plain = tone("plain.mp3", 1.0);
    const auto file = vl::test::fixtureFolder() / "art.mp3";
    ASSERT_TRUE(vl::test::run({"ffmpeg", "-nostdin", "-y", "-v", "error", "-i", cover.string(), "-i",
                               plain.string(), "-map", "0", "-map", "1", "-c", "copy", "-disposition:v",
                               "attached_pic", "-id3v2_version", "3", file.string()}));
    const auto samples = decodeAll(file);
    EXPECT_NEAR(static_cast<double>(samples.size()), 16000.0, 1600.0);
}

TEST(AudioDecoder, BadInputThrowsTheDecodeError)
{
    const auto video = vl::test::silentVideo();
    ASSERT_FALSE(video.empty());
    EXPECT_THROW(decodeAll(video), NoAudioStreamError);

    const std::filesystem::path bad[] = {
        vl::test::bytesFile("noise.mp3", vl::test::noise(20000)),
        vl::test::bytesFile("empty.wav", ""),
        vl::test::fixtureFolder(),
        vl::test::fixtureFolder() / "missing.mp3",
    };
    for (const auto& file : bad)
        EXPECT_THROW(decodeAll(file), AudioDecodeError) << file;
    EXPECT_THROW(decodeAll(tone("ok.wav", 0.2), 0), AudioDecodeError);
}

TEST(AudioDecoder, KeepsWhatPrecedesTheCutOfATruncatedFile)
{
    const auto whole = tone("long.mp3", 2.0);
    const auto bytes = std::filesystem::file_size(whole);
    std::filesystem::copy_file(whole, vl::test::fixtureFolder() / "cut.mp3");
    std::filesystem::resize_file(vl::test::fixtureFolder() / "cut.mp3", bytes / 2 + 7);
    const auto samples = decodeAll(vl::test::fixtureFolder() / "cut.mp3");
    EXPECT_GT(samples.size(), 8000u);
    EXPECT_LT(samples.size(), 24000u);
}

TEST(AudioDecoder, ReportsRisingProgressEndingAtOne)
{
    const auto file = tone("progress.flac", 2.0);
    std::vector<double> seen;
    decodeAudio(file, 16000, {}, [](auto) {}, [&](double p) { seen.push_back(p); });
    ASSERT_GE(seen.size(), 3u);
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_GE(seen[i], seen[i - 1]);
    EXPECT_EQ(seen.back(), 1.0);
}

TEST(AudioDecoder, StopsWhenCancelled)
{
    const auto file = tone("cancel.wav", 3.0);
    std::stop_source source;
    std::size_t blocks = 0;
    EXPECT_THROW(decodeAudio(file, 16000, source.get_token(),
                             [&](auto) {
                                 ++blocks;
                                 source.request_stop();
                             }),
                 Cancelled);
    EXPECT_EQ(blocks, 1u);

    std::stop_source early;
    early.request_stop();
    EXPECT_THROW(decodeAudio(file, 16000, early.get_token(), [](auto) { FAIL(); }), Cancelled);
}

TEST(AudioDecoder, OpensNamesWithSpacesQuotesAndColons)
{
    const auto file = tone("it's a \"song\": take 2.wav", 0.5);
    ASSERT_FALSE(file.empty());
    EXPECT_NEAR(static_cast<double>(decodeAll(file).size()), 8000.0, 100.0);
}
