#include "TranscriptionTestSupport.h"

#include "media/transcription/SpeechTranscriber.h"
#include "media/transcription/TranscriptionError.h"
#include "media/AudioDecoder.h"
#include "media/transcription/ChildProcess.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <chrono>
#include <functional>
#include <future>
#include <thread>
#include <fstream>

namespace vl {
namespace {

namespace fs = std::filesystem;

std::vector<TimedChunk> words(const std::vector<std::pair<double, double>>& times)
{
    std::vector<TimedChunk> list;
    for (const auto& [start, end] : times)
        list.push_back({"w" + std::to_string(list.size()), start, end});
    return list;
}

std::vector<std::pair<double, double>> timesOf(const std::vector<TimedChunk>& chunks)
{
    std::vector<std::pair<double, double>> times;
    for (const auto& chunk : chunks)
        times.emplace_back(chunk.start, chunk.end);
    return times;
}

TEST(SpeechTimingRepair, keepsRealTimesAndRespreadsTheRest)
{
    using Times = std::vector<std::pair<double, double>>;
    const struct {
        const char* label;
        Times in;
        double duration;
        Times out;
    } cases[] = {
        {"real times survive", {{0.2, 0.5}, {0.6, 0.9}, {1.0, 1.4}}, 10, {{0.2, 0.5}, {0.6, 0.9}, {1.0, 1.4}}},
        {"one later start is enough", {{0, 0}, {0, 0}, {0.5, 0.8}}, 6, {{0, 0}, {0, 0}, {0.5, 0.8}}},
        {"starts within 1 ms of each other", {{1, 2}, {1.0005, 2}, {1.001, 3}}, 6, {{0, 2}, {2, 4}, {4, 6}}},
        {"every end at or below 0.05 s", {{0, 0.01}, {0.02, 0.03}, {0.04, 0.05}}, 3, {{0, 1}, {1, 2}, {2, 3}}},
        {"one word spans the file", {{3, 4}}, 8, {{0, 8}}},
        {"short file: half a second a word", {{3, 4}, {3, 4}}, 0.5, {{0, 0.5}, {0.5, 1}}},
        {"unknown duration", {{0, 0}, {0, 0}}, 0, {{0, 0.5}, {0.5, 1}}},
        {"nothing", {}, 5, {}},
    };
    for (const auto& c : cases) {
        const auto repaired = SpeechTranscriber::repairTimings(words(c.in), c.duration);
        EXPECT_EQ(timesOf(repaired), c.out) << c.label;
        for (std::size_t i = 0; i < repaired.size(); ++i)
            EXPECT_EQ(repaired[i].text, "w" + std::to_string(i)) << c.label;
    }
}

TEST(SpeechLines, groupsSixWordsALine)
{
    std::vector<TimedChunk> thirteen;
    for (int i = 0; i < 13; ++i)
        thirteen.push_back({"w" + std::to_string(i), i * 1.0, i + 0.5});
    thirteen[7].text = ""; // empty texts still take their place in the join
    const auto lines = SpeechTranscriber::groupIntoLines(thirteen, 6);
    EXPECT_EQ(lines, (std::vector<TimedChunk>{{"w0 w1 w2 w3 w4 w5", 0, 5.5},
                                              {"w6  w8 w9 w10 w11", 6, 11.5},
                                              {"w12", 12, 12.5}}));
    EXPECT_TRUE(SpeechTranscriber::groupIntoLines({}, 6).empty());
}

TEST(SpeechTokens, fillersGoAndPronunciationMarksAreStripped)
{
    const std::pair<const char*, const char*> cases[] = {
        {"hello", "hello"}, {"read(2)", "read"}, {"the(12)", "the"}, {"<s>", ""}, {"</s>", ""},
        {"<sil>", ""}, {"[NOISE]", ""}, {"++BREATH++", ""}, {"(2)", "(2)"}, {"a()", "a()"},
        {"x(y)", "x(y)"}, {"don't", "don't"},
    };
    for (const auto& [token, word] : cases)
        EXPECT_EQ(SpeechRecognizer::wordForToken(token), word) << token;
}

TEST(SpeechAvailability, dependsOnTheModelFilesOnly)
{
    EXPECT_TRUE(SpeechTranscriber().isAvailable());
    EXPECT_EQ(SpeechTranscriber().name(), "On-device Speech");

    files::TemporaryDirectory empty("no-model");
    const SpeechTranscriber missing(empty.path());
    EXPECT_FALSE(missing.isAvailable());
    try {
        missing.transcribe(empty.path() / "song.wav", {}, {});
        FAIL() << "ran without a model";
    } catch (const TranscriptionError& error) {
        EXPECT_EQ(error.kind(), TranscriptionError::Case::notAuthorized);
    }
}

// Polls a condition with a generous ceiling: no test depends on how fast the machine is.
bool waitFor(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class Speech : public ::testing::Test {
protected:
    files::TemporaryDirectory folder{"speech-test"};
};

TEST_F(Speech, recognisesSpokenWordsInOrderWithinTheAudio)
{
    // Two phrases with a long pause between them, so the second one is heard
    // as an utterance of its own and must still be timed from the file's start.
    const double silence = 1.0;
    const double pause = 2.0;
    const fs::path first = test::speech(folder.path(), "first.wav", "hello world, the quick brown fox", silence);
    const fs::path second = test::speech(folder.path(), "second.wav", "jumps over the lazy dog", pause);
    const fs::path audio = folder.path() / "speech.wav";
    ASSERT_EQ(runChildProcess("/usr/bin/sox", {first.string(), second.string(), audio.string()}, {}).exitStatus, 0);
    double firstLength = 0;
    SpeechTranscriber().recognizeWords(first, {}, &firstLength);
    double duration = 0;
    const auto recognised = SpeechTranscriber().recognizeWords(audio, {}, &duration);
    ASSERT_GE(recognised.size(), 5u);
    EXPECT_GT(duration, silence + 1);
    double previousStart = -1;
    for (const auto& word : recognised) {
        EXPECT_FALSE(word.text.empty());
        EXPECT_EQ(word.text.find_first_of("<>[]()+ "), std::string::npos) << word.text;
        EXPECT_GT(word.start, previousStart) << word.text;
        EXPECT_GT(word.end, word.start) << word.text;
        EXPECT_LE(word.end, duration + 0.01) << word.text;
        previousStart = word.start;
    }
    // Times count from the start of the file, leading silence included.
    EXPECT_GE(recognised.front().start, silence - 0.3);
    EXPECT_GE(recognised.back().start, firstLength + pause - 0.3);

    std::vector<std::string> progress;
    const auto result = SpeechTranscriber().transcribe(
        audio, [&](const std::string& text) { progress.push_back(text); }, {});
    EXPECT_TRUE(progress.empty());
    EXPECT_EQ(result.engineLabel, "");
    std::string joined;
    std::size_t wordCount = 0;
    for (const auto& line : result.segments) {
        const auto count = static_cast<std::size_t>(std::count(line.text.begin(), line.text.end(), ' ') + 1);
        EXPECT_LE(count, 6u) << line.text;
        wordCount += count;
        joined += (joined.empty() ? "" : " ") + line.text;
    }
    EXPECT_EQ(joined, result.text);
    EXPECT_EQ(wordCount, recognised.size());
    for (std::size_t i = 1; i < result.segments.size(); ++i)
        EXPECT_LE(result.segments[i - 1].end, result.segments[i].start + 1e-9);
}

TEST_F(Speech, wordsDoNotDependOnHowManyDecodersShareTheWork)
{
    // Several sentences, so there are several utterances to share out; one
    // decoder reading them in turn is the reference.
    const fs::path audio = test::speech(folder.path(), "sentences.wav",
                                        "The river runs along the valley. Every morning the baker opens his door. "
                                        "Children walk to school past the green fence. By evening the clouds are gone.",
                                        0.5);
    const auto recognise = [&](std::size_t decoders) {
        SpeechRecognizer recognizer(SpeechTranscriber::defaultModelFolder(), decoders);
        // Odd block sizes, so pieces and utterances never line up with the blocks.
        decodeAudio(audio, SpeechRecognizer::sampleRate, {}, [&](std::span<const std::int16_t> samples) {
            while (!samples.empty()) {
                const std::size_t n = std::min<std::size_t>(samples.size(), 977);
                recognizer.feed(samples.first(n));
                samples = samples.subspan(n);
            }
        });
        return recognizer.finish();
    };
    const auto alone = recognise(1);
    ASSERT_GE(alone.size(), 8u);
    EXPECT_EQ(recognise(3), alone);
}

TEST_F(Speech, silenceGivesNothing)
{
    const fs::path audio = folder.path() / "silence.wav";
    ASSERT_EQ(runChildProcess("/usr/bin/sox", {"-n", "-r", "16000", "-c", "1", audio.string(), "trim", "0", "2"}, {})
                  .exitStatus,
              0);
    const auto result = SpeechTranscriber().transcribe(audio, {}, {});
    EXPECT_EQ(result.text, "");
    EXPECT_TRUE(result.segments.empty());
}

TEST_F(Speech, stopsWhenCancelled)
{
    const fs::path audio = test::speech(
        folder.path(), "speech.wav",
        "one two three four five six seven eight nine ten. Eleven twelve thirteen fourteen fifteen. "
        "Sixteen seventeen eighteen nineteen twenty. One two three four five six seven eight nine ten.");
    // Before anything starts.
    {
        std::stop_source stop;
        stop.request_stop();
        EXPECT_THROW(SpeechTranscriber().transcribe(audio, {}, stop.get_token()), Cancelled);
    }
    // While the model loads: the call ends without waiting for the load, which
    // finishes on its own afterwards.
    {
        ASSERT_TRUE(waitFor([] { return SpeechRecognizer::loadsInFlight() == 0; }));
        std::stop_source stop;
        auto run = std::async(std::launch::async,
                              [&] { return SpeechTranscriber().recognizeWords(audio, stop.get_token()); });
        ASSERT_TRUE(waitFor([] { return SpeechRecognizer::loadsInFlight() > 0; }));
        stop.request_stop();
        EXPECT_THROW(run.get(), Cancelled);
        EXPECT_GT(SpeechRecognizer::loadsInFlight(), 0u) << "the stop waited for the model load";
        EXPECT_TRUE(waitFor([] { return SpeechRecognizer::loadsInFlight() == 0; }));
    }
    // Once the recording is being read.
    {
        std::stop_source stop;
        EXPECT_THROW(SpeechTranscriber().recognizeWords(audio, stop.get_token(), nullptr,
                                                        [&](double) { stop.request_stop(); }),
                     Cancelled);
    }
}

TEST_F(Speech, unreadableAudioIsTheDecodersError)
{
    const fs::path audio = folder.path() / "noise.wav";
    std::ofstream(audio) << "this is not a wave file";
    EXPECT_THROW(SpeechTranscriber().transcribe(audio, {}, {}), AudioDecodeError);
}

} // namespace
} // namespace vl
