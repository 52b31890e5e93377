#include "TranscriptionTestSupport.h"

#include "media/transcription/SpeechTranscriber.h"
#include "media/transcription/SystemTranscriber.h"
#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <future>

namespace vl {
namespace {

namespace fs = std::filesystem;

// On-device speech as the engine choice sees it: an availability that can
// change between one question and the next, and a canned result.
class FakeSpeech : public Transcriber {
public:
    std::vector<bool> answers{true}; // successive isAvailable() answers; the last one repeats
    mutable std::atomic<int> asked = 0;
    mutable std::atomic<int> transcriptions = 0;

    std::string name() const override { return SpeechTranscriber::displayName; }
    bool isAvailable() const override
    {
        const auto i = static_cast<std::size_t>(asked++);
        return answers[std::min(i, answers.size() - 1)];
    }
    TranscriptionResult transcribe(const fs::path&, const TranscriptionProgress& onProgress,
                                   std::stop_token) const override
    {
        ++transcriptions;
        if (onProgress)
            onProgress("the engine itself must not get the callback");
        return {"spoken words", {{"spoken words", 0, 1}}, ""};
    }
};

class EngineChoice : public ::testing::Test {
protected:
    test::LookupSandbox box;
    fs::path fake = box.runtimeFolder() / "venv/bin/whisper";
    fs::path audio = box.root.path() / "song.wav";
    std::shared_ptr<FakeSpeech> speech = std::make_shared<FakeSpeech>();
    std::vector<std::string> progress;

    void SetUp() override { std::ofstream(audio) << "audio"; }

    SystemTranscriber system() const
    {
        return SystemTranscriber(LocalWhisperTranscriber("base", std::make_shared<WhisperLocator>(box.paths)), speech);
    }

    TranscriptionResult transcribe()
    {
        return system().transcribe(audio, [this](const std::string& text) { progress.push_back(text); }, {});
    }
};

TEST_F(EngineChoice, nothingInstalled)
{
    speech->answers = {false};
    EXPECT_EQ(system().name(), "None");
    EXPECT_FALSE(system().isAvailable());
    try {
        transcribe();
        FAIL() << "transcribed without an engine";
    } catch (const TranscriptionError& error) {
        EXPECT_EQ(error, TranscriptionError::noEngineAvailable());
    }
    EXPECT_TRUE(progress.empty());
}

TEST_F(EngineChoice, whisperWinsWhenInstalled)
{
    test::installFakeWhisper(fake, "succeed");
    EXPECT_EQ(system().name(), "Local Whisper");
    EXPECT_TRUE(system().isAvailable());
    const auto result = transcribe();
    EXPECT_EQ(result.segments.size(), 2u);
    EXPECT_EQ(progress, std::vector<std::string>{"Transcribing with Local Whisper"});
    EXPECT_EQ(speech->transcriptions, 0);
}

TEST_F(EngineChoice, speechWithoutWhisper)
{
    EXPECT_EQ(system().name(), "On-device Speech");
    EXPECT_EQ(transcribe().text, "spoken words");
    EXPECT_EQ(progress, std::vector<std::string>{"Transcribing with On-device Speech"});
}

TEST_F(EngineChoice, failingWhisperFallsBackToSpeech)
{
    test::installFakeWhisper(fake, "fail");
    EXPECT_EQ(transcribe().text, "spoken words");
    EXPECT_EQ(progress, (std::vector<std::string>{
                            "Transcribing with Local Whisper",
                            "Local Whisper failed (Transcription failed: Whisper produced no output.); falling back "
                            "to On-device Speech",
                            "Transcribing with On-device Speech"}));
}

TEST_F(EngineChoice, failingWhisperWithoutSpeechKeepsWhispersError)
{
    test::installFakeWhisper(fake, "fail");
    speech->answers = {false};
    try {
        transcribe();
        FAIL() << "Whisper's failure was swallowed";
    } catch (const TranscriptionError& error) {
        EXPECT_EQ(error, TranscriptionError::failed("Whisper produced no output."));
    }
    EXPECT_EQ(progress, std::vector<std::string>{"Transcribing with Local Whisper"});
}

TEST_F(EngineChoice, speechGoneBetweenTheFallbackTextAndItsRun)
{
    test::installFakeWhisper(fake, "fail");
    speech->answers = {true, false};
    try {
        transcribe();
        FAIL() << "ran an engine that had gone";
    } catch (const TranscriptionError& error) {
        EXPECT_EQ(error, TranscriptionError::noEngineAvailable());
    }
    EXPECT_EQ(progress.size(), 2u);
    EXPECT_EQ(speech->transcriptions, 0);
}

TEST_F(EngineChoice, cancellingWhisperDoesNotFallBack)
{
    test::installFakeWhisper(fake, "sleep");
    std::stop_source stop;
    const auto engine = system();
    auto run = std::async(std::launch::async, [&] { return engine.transcribe(audio, {}, stop.get_token()); });
    ASSERT_TRUE(test::waitForFile(fake.parent_path() / "ready"));
    stop.request_stop();
    EXPECT_THROW(run.get(), Cancelled);
    EXPECT_EQ(speech->transcriptions, 0);
    EXPECT_FALSE(test::processAlive(test::recordedPid(fake)));
}

TEST_F(EngineChoice, theStandardEngineUsesBaseAndTheInstalledModel)
{
    const SystemTranscriber standard;
    EXPECT_EQ(standard.local().model(), "base");
    EXPECT_EQ(standard.speech().name(), "On-device Speech");
}

TEST(TranscriptionError, sentences)
{
    const struct {
        TranscriptionError error;
        const char* message;
    } cases[] = {
        {TranscriptionError::failed("Could not read the audio file."),
         "Transcription failed: Could not read the audio file."},
        {TranscriptionError::noEngineAvailable(),
         "No transcription engine available. Install Whisper, or install the speech model package "
         "pocketsphinx-en-us."},
        {TranscriptionError::notAuthorized(),
         "The on-device speech model is missing. Install the speech model package pocketsphinx-en-us."},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(c.error.what(), c.message);
    EXPECT_NE(TranscriptionError::failed("a"), TranscriptionError::failed("b"));
}

} // namespace
} // namespace vl
