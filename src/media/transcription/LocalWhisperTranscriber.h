#pragma once

#include "media/transcription/Transcriber.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace vl {

// The places the Whisper lookup searches. fromEnvironment() fills them for this
// user; tests point them at temporary folders so the machine's own programs
// never take part.
struct WhisperLookupPaths {
    std::filesystem::path home;
    std::filesystem::path dataFolder; // $XDG_DATA_HOME, else ~/.local/share
    std::optional<std::string> pathVariable; // the application's own PATH, when set
    std::vector<std::filesystem::path> fixedCandidates = {
        "/opt/homebrew/bin/whisper", "/usr/local/bin/whisper", "/usr/bin/whisper",
        "/opt/homebrew/opt/openai-whisper/bin/whisper"};
    // Searched by `which` after the home folder's shims and before PATH.
    std::vector<std::string> fixedSearchFolders = {"/opt/homebrew/bin", "/usr/local/bin", "/usr/bin",
                                                   "/bin"};
    std::filesystem::path whichProgram = "/usr/bin/which";

    static WhisperLookupPaths fromEnvironment();
};

// A regular file (after links) that we may execute; a folder never counts.
bool isExecutableFile(const std::filesystem::path& path);

// The steps of the lookup, in the order whisperExecutable() tries them.
std::filesystem::path whisperRuntimeFolder(const WhisperLookupPaths& paths);
std::optional<std::filesystem::path> runtimeWhisperPath(const WhisperLookupPaths& paths);
std::optional<std::filesystem::path> resolvedWhisperPath(const WhisperLookupPaths& paths);
// Links an existing Whisper command line for the lookup above: creates the runtime folder
// and replaces "resolved-runtime.txt" atomically with the bare path. False when the file
// could not be written. The installer is its only writer.
bool writeResolvedWhisperPath(const WhisperLookupPaths& paths, const std::filesystem::path& whisper);
std::vector<std::filesystem::path> whisperCandidates(const WhisperLookupPaths& paths);
std::optional<std::filesystem::path> locateWhisper(const WhisperLookupPaths& paths);
std::string whichSearchPath(const WhisperLookupPaths& paths);
// Runs `which whisper` and waits for it; throws vl::Cancelled when stopped.
std::optional<std::filesystem::path> whichWhisper(const WhisperLookupPaths& paths, std::stop_token stop = {});

// Finds the Whisper executable. find() runs every step and may wait on `which`;
// findWithoutWaiting() checks the files afresh but answers the `which` step from
// its last result, refreshing that on a thread of its own, so a screen asking
// whether Whisper is there never waits on a child process.
class WhisperLocator {
public:
    explicit WhisperLocator(WhisperLookupPaths paths = WhisperLookupPaths::fromEnvironment());
    ~WhisperLocator();
    WhisperLocator(const WhisperLocator&) = delete;
    WhisperLocator& operator=(const WhisperLocator&) = delete;

    std::optional<std::filesystem::path> find(std::stop_token stop = {});
    std::optional<std::filesystem::path> findWithoutWaiting();

    // Blocks until a background refresh in flight has finished; for tests.
    void waitForRefresh();

    const WhisperLookupPaths& paths() const { return paths_; }

private:
    std::optional<std::filesystem::path> fileSteps() const;
    void remember(const std::optional<std::filesystem::path>& found);
    void startRefreshLocked();

    const WhisperLookupPaths paths_;
    std::mutex mutex_;
    std::condition_variable refreshed_;
    bool refreshing_ = false;
    bool known_ = false;
    std::optional<std::filesystem::path> whichResult_;
    std::chrono::steady_clock::time_point lastRefresh_{};
    std::jthread refresher_; // last member: joined before the state above goes away
};

// Runs the Whisper command line on the audio file and reads the JSON it leaves.
class LocalWhisperTranscriber : public Transcriber {
public:
    explicit LocalWhisperTranscriber(std::string model = "base",
                                     std::shared_ptr<WhisperLocator> locator = std::make_shared<WhisperLocator>());

    const std::string& model() const { return model_; }
    const std::shared_ptr<WhisperLocator>& locator() const { return locator_; }

    std::string name() const override { return "Local Whisper"; }
    bool isAvailable() const override { return locator_->findWithoutWaiting().has_value(); }
    TranscriptionResult transcribe(const std::filesystem::path& audioFile, const TranscriptionProgress& onProgress,
                                   std::stop_token stop) const override;

    std::optional<std::filesystem::path> whisperExecutable(std::stop_token stop = {}) const
    {
        return locator_->find(stop);
    }

    // The arguments of one run: the options, "--", then the song.
    std::vector<std::string> arguments(const std::filesystem::path& audioFile,
                                       const std::filesystem::path& outputFolder) const;

    static TranscriptionResult parseWhisperOutput(std::string_view bytes);
    static std::optional<TimedChunk> parseWhisperSegment(const nlohmann::json& segment);

private:
    std::string model_;
    std::shared_ptr<WhisperLocator> locator_;
};

} // namespace vl
