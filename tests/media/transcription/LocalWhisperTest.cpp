#include "TranscriptionTestSupport.h"

#include "media/transcription/ChildProcess.h"
#include "media/transcription/LocalWhisperTranscriber.h"
#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <cstdlib>
#include <future>

namespace vl {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class LocalWhisper : public ::testing::Test {
protected:
    test::LookupSandbox box;
    fs::path fake = box.runtimeFolder() / "venv/bin/whisper";
    fs::path audio = box.root.path() / "song.take2.m4a";

    void SetUp() override
    {
        test::installFakeWhisper(fake);
        std::ofstream(audio) << "not really audio";
    }

    LocalWhisperTranscriber whisper(std::string model = "base") const
    {
        return LocalWhisperTranscriber(std::move(model), std::make_shared<WhisperLocator>(box.paths));
    }

    fs::path workingFolder() const
    {
        const auto args = test::recordedArguments(fake);
        const auto option = std::find(args.begin(), args.end(), "--output_dir");
        return option != args.end() && option + 1 != args.end() ? fs::path(*(option + 1)) : fs::path();
    }
};

TEST_F(LocalWhisper, runsTheCommandLineAndReadsItsOutput)
{
    const auto result = whisper("small").transcribe(audio, {}, {});
    EXPECT_EQ(result.text, "Hello there\n general Kenobi");
    EXPECT_EQ(result.segments, (std::vector<TimedChunk>{{"Hello there", 0, 1.5}, {"general Kenobi", 1.5, 3.25}}));
    EXPECT_EQ(result.engineLabel, "");

    const auto args = test::recordedArguments(fake);
    ASSERT_EQ(args.size(), 10u);
    // "--" ends the options, so the song is always taken as a file.
    EXPECT_EQ(args, (std::vector<std::string>{"--model", "small", "--output_format", "json", "--output_dir", args[5],
                                              "--fp16", "False", "--", audio.string()}));
    const fs::path folder = args[5];
    EXPECT_EQ(folder.parent_path(), fs::temp_directory_path());
    EXPECT_TRUE(folder.filename().string().starts_with("vl-whisper-"));
    EXPECT_EQ(folder.filename().string().size(), std::string("vl-whisper-").size() + 36);
    EXPECT_FALSE(fs::exists(folder));
}

TEST_F(LocalWhisper, aSongWhosePathBeginsWithADashIsStillAFile)
{
    // Whisper's parser would take "-h.m4a" for an option (help, here) without "--".
    const fs::path dashed = "-h.m4a";
    const auto result = whisper().transcribe(dashed, {}, {});
    EXPECT_EQ(result.segments.size(), 2u);
    EXPECT_EQ(test::recordedArguments(fake).back(), dashed.string());
}

TEST_F(LocalWhisper, outcomesByWhatTheCommandLineDoes)
{
    const struct {
        const char* mode;
        bool succeeds;
        std::size_t segments;
    } cases[] = {
        {"succeed-with-error-status", true, 2}, // the exit status is not what counts
        {"flood", true, 2},                     // megabytes on both pipes must not stall us
        {"bad-json", true, 0},
        {"fail", false, 0},
        {"fail-with-output", false, 0},
    };
    for (const auto& c : cases) {
        test::setFakeMode(fake, c.mode);
        try {
            const auto result = whisper().transcribe(audio, {}, {});
            EXPECT_TRUE(c.succeeds) << c.mode;
            EXPECT_EQ(result.segments.size(), c.segments) << c.mode;
        } catch (const TranscriptionError& error) {
            EXPECT_FALSE(c.succeeds) << c.mode;
            EXPECT_EQ(error, TranscriptionError::failed("Whisper produced no output.")) << c.mode;
            EXPECT_STREQ(error.what(), "Transcription failed: Whisper produced no output.");
        }
        EXPECT_FALSE(fs::exists(workingFolder())) << c.mode;
    }
}

TEST_F(LocalWhisper, withoutAnExecutableThereIsNoEngine)
{
    fs::remove(fake);
    EXPECT_FALSE(whisper().isAvailable());
    EXPECT_EQ(whisper().name(), "Local Whisper");
    try {
        whisper().transcribe(audio, {}, {});
        FAIL() << "transcribed without Whisper";
    } catch (const TranscriptionError& error) {
        EXPECT_EQ(error.kind(), TranscriptionError::Case::noEngineAvailable);
    }
}

TEST_F(LocalWhisper, aLaunchFailurePassesThroughAndCleansUp)
{
    // Executable, but its interpreter does not exist: the start itself fails.
    test::writeScript(fake, "#!/nonexistent/interpreter\n");
    // A temporary folder of our own shows whether the working folder was left behind.
    const fs::path temp = box.root.path() / "tmp";
    fs::create_directories(temp);
    const std::string previous = fs::temp_directory_path().string();
    ::setenv("TMPDIR", temp.c_str(), 1);
    EXPECT_THROW(whisper().transcribe(audio, {}, {}), std::system_error);
    ::setenv("TMPDIR", previous.c_str(), 1);
    EXPECT_TRUE(fs::is_empty(temp));
}

// Starts a transcription on a worker, waits for the fake to be running, stops it.
struct CancelledRun {
    bool cancelled = false;
    bool ranToItsEnd = false; // the fake slept its full minute: the stop did nothing
};

CancelledRun cancelWhileRunning(const LocalWhisperTranscriber& engine, const fs::path& audio, const fs::path& fake)
{
    fs::remove(fake.parent_path() / "finished");
    std::stop_source stop;
    auto run = std::async(std::launch::async, [&] { return engine.transcribe(audio, {}, stop.get_token()); });
    EXPECT_TRUE(test::waitForFile(fake.parent_path() / "ready"));
    stop.request_stop();
    CancelledRun outcome;
    try {
        run.get();
    } catch (const Cancelled&) {
        outcome.cancelled = true;
    }
    outcome.ranToItsEnd = fs::exists(fake.parent_path() / "finished");
    return outcome;
}

TEST_F(LocalWhisper, cancellingStopsTheChild)
{
    for (const char* mode : {"sleep", "ignore-term", "sleep-with-child"}) {
        fs::remove(fake.parent_path() / "ready");
        test::setFakeMode(fake, mode);
        const auto outcome = cancelWhileRunning(whisper(), audio, fake);
        EXPECT_TRUE(outcome.cancelled) << mode;
        // SIGTERM ends it; one that ignores SIGTERM is killed after the grace period.
        // Either way it never sleeps out its minute.
        EXPECT_FALSE(outcome.ranToItsEnd) << mode;
        EXPECT_FALSE(test::processAlive(test::recordedPid(fake))) << mode;
        if (std::string(mode) == "sleep-with-child") {
            EXPECT_FALSE(test::processAlive(test::recordedPid(fake, "child-pid"))) << mode;
        }
        EXPECT_FALSE(fs::exists(workingFolder())) << mode;
    }
}

TEST(ChildProcess, closesStandardInputAndDeliversOutput)
{
    // `cat` would wait forever on an open standard input.
    const auto result = runChildProcess("/bin/cat", {}, {});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardOutput, "");

    const auto echoed = runChildProcess("/bin/sh", {"-c", "printf 'a b'; echo oops >&2; exit 4"}, {});
    EXPECT_EQ(echoed.exitStatus, 4);
    EXPECT_EQ(echoed.standardOutput, "a b");

    ChildProcessOptions limited;
    limited.outputLimit = 10;
    const auto capped = runChildProcess("/bin/sh", {"-c", "head -c 100000 /dev/zero | tr '\\0' x"}, {}, limited);
    EXPECT_EQ(capped.standardOutput, "xxxxxxxxxx");

    const auto binary = runChildProcess("/bin/sh", {"-c", "printf '\\377\\376'"}, {});
    EXPECT_EQ(binary.standardOutput, ""); // undecodable output reads as empty

    ChildProcessOptions environment;
    environment.environment = std::vector<std::string>{"GREETING=hi"};
    EXPECT_EQ(runChildProcess("/bin/sh", {"-c", "printf \"$GREETING\""}, {}, environment).standardOutput, "hi");
}

TEST(ChildProcess, doesNotWaitForGrandchildrenHoldingThePipes)
{
    // The grandchild keeps both pipes open for a minute; the call must end with the
    // child, while the grandchild still runs.
    const auto result = runChildProcess("/bin/sh", {"-c", "sleep 60 & echo $!"}, {});
    ASSERT_FALSE(result.standardOutput.empty());
    const pid_t grandchild = static_cast<pid_t>(std::stol(result.standardOutput));
    EXPECT_EQ(::kill(grandchild, 0), 0) << "the call waited for the grandchild to end";
    ::kill(grandchild, SIGKILL);
}

TEST(ChildProcess, aStopRequestedBeforehandStartsNothing)
{
    std::stop_source stop;
    stop.request_stop();
    EXPECT_THROW(runChildProcess("/bin/true", {}, stop.get_token()), Cancelled);
}

} // namespace
} // namespace vl
