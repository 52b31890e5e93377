#include "media/transcription/LocalWhisperTranscriber.h"

#include "media/transcription/ChildProcess.h"
#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"
#include "model/Files.h"
#include "model/Json.h"
#include "model/Text.h"

#include <algorithm>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace vl {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> environmentValue(const char* name)
{
    if (const char* value = std::getenv(name))
        return std::string(value);
    return std::nullopt;
}

fs::path homeFolder()
{
    if (auto home = environmentValue("HOME"); home && !home->empty())
        return *home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return "/";
}

std::optional<fs::path> firstExecutable(const std::vector<fs::path>& candidates)
{
    for (const auto& candidate : candidates) {
        if (isExecutableFile(candidate))
            return candidate;
    }
    return std::nullopt;
}

} // namespace

WhisperLookupPaths WhisperLookupPaths::fromEnvironment()
{
    WhisperLookupPaths paths;
    paths.home = homeFolder();
    // A relative XDG_DATA_HOME is invalid by the base-directory rules and ignored.
    if (auto data = environmentValue("XDG_DATA_HOME"); data && fs::path(*data).is_absolute())
        paths.dataFolder = *data;
    else
        paths.dataFolder = paths.home / ".local" / "share";
    paths.pathVariable = environmentValue("PATH");
    return paths;
}

bool isExecutableFile(const fs::path& path)
{
    if (path.empty())
        return false;
    struct stat info{};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    return ::access(path.c_str(), X_OK) == 0;
}

fs::path whisperRuntimeFolder(const WhisperLookupPaths& paths)
{
    return paths.dataFolder / "Verseloom" / "whisper-runtime";
}

std::optional<fs::path> runtimeWhisperPath(const WhisperLookupPaths& paths)
{
    const fs::path candidate = whisperRuntimeFolder(paths) / "venv" / "bin" / "whisper";
    if (isExecutableFile(candidate))
        return candidate;
    return std::nullopt;
}

std::optional<fs::path> resolvedWhisperPath(const WhisperLookupPaths& paths)
{
    std::string contents;
    try {
        contents = files::readAll(whisperRuntimeFolder(paths) / "resolved-runtime.txt");
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (!text::isValidUtf8(contents))
        return std::nullopt;
    const fs::path candidate = text::trimWhitespaceAndNewlines(contents);
    // A relative path would be resolved against whatever folder we happen to run in.
    if (!candidate.is_absolute() || !isExecutableFile(candidate))
        return std::nullopt;
    return candidate;
}

bool writeResolvedWhisperPath(const WhisperLookupPaths& paths, const fs::path& whisper)
{
    const fs::path folder = whisperRuntimeFolder(paths);
    std::error_code ignored;
    fs::create_directories(folder, ignored); // a failure shows in the write below
    try {
        files::writeAtomically(folder / "resolved-runtime.txt", whisper.string());
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

std::vector<fs::path> whisperCandidates(const WhisperLookupPaths& paths)
{
    std::vector<fs::path> candidates = paths.fixedCandidates;
    const fs::path& home = paths.home;
    candidates.push_back(home / ".local/bin/whisper");
    candidates.push_back(home / ".local/pipx/venvs/openai-whisper/bin/whisper");
    candidates.push_back(home / ".pyenv/shims/whisper");
    for (const char* distribution : {"miniconda3", "anaconda3", "miniforge3", "mambaforge"}) {
        candidates.push_back(home / distribution / "bin/whisper");
        std::vector<fs::path> environments;
        std::error_code error;
        for (fs::directory_iterator it(home / distribution / "envs", error), end; !error && it != end;
             it.increment(error))
            environments.push_back(it->path());
        // The listing order is the file system's; sorting keeps the choice stable.
        std::sort(environments.begin(), environments.end());
        for (const auto& environment : environments)
            candidates.push_back(environment / "bin/whisper");
    }
    return candidates;
}

std::optional<fs::path> locateWhisper(const WhisperLookupPaths& paths)
{
    return firstExecutable(whisperCandidates(paths));
}

std::string whichSearchPath(const WhisperLookupPaths& paths)
{
    std::string joined = (paths.home / ".pyenv/shims").string() + ":" + (paths.home / ".local/bin").string();
    for (const auto& folder : paths.fixedSearchFolders)
        joined += ":" + folder;
    joined += ":" + paths.pathVariable.value_or("");
    return joined;
}

std::optional<fs::path> whichWhisper(const WhisperLookupPaths& paths, std::stop_token stop)
{
    ChildProcessOptions options;
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        if (std::string_view(*entry).starts_with("PATH="))
            continue;
        environment.emplace_back(*entry);
    }
    environment.push_back("PATH=" + whichSearchPath(paths));
    options.environment = std::move(environment);
    options.outputLimit = 64 * 1024;

    ChildProcessResult result;
    try {
        result = runChildProcess(paths.whichProgram, {"whisper"}, stop, options);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    const fs::path candidate = text::trimWhitespaceAndNewlines(result.standardOutput);
    if (isExecutableFile(candidate))
        return candidate;
    return std::nullopt;
}

// ---------------------------------------------------------------------------

WhisperLocator::WhisperLocator(WhisperLookupPaths paths)
    : paths_(std::move(paths))
{
    // Ask `which` right away, so the first screen to ask already has its answer.
    std::lock_guard lock(mutex_);
    startRefreshLocked();
}

WhisperLocator::~WhisperLocator()
{
    std::jthread finishing;
    {
        std::lock_guard lock(mutex_);
        finishing = std::move(refresher_);
    }
    // Destroying the thread stops a `which` still running and waits for it.
}

std::optional<fs::path> WhisperLocator::fileSteps() const
{
    if (auto found = runtimeWhisperPath(paths_))
        return found;
    if (auto found = resolvedWhisperPath(paths_))
        return found;
    return locateWhisper(paths_);
}

void WhisperLocator::remember(const std::optional<fs::path>& found)
{
    std::lock_guard lock(mutex_);
    whichResult_ = found;
    known_ = true;
    lastRefresh_ = std::chrono::steady_clock::now();
}

std::optional<fs::path> WhisperLocator::find(std::stop_token stop)
{
    if (auto found = fileSteps())
        return found;
    auto found = whichWhisper(paths_, stop);
    remember(found);
    return found;
}

std::optional<fs::path> WhisperLocator::findWithoutWaiting()
{
    if (auto found = fileSteps())
        return found;
    std::lock_guard lock(mutex_);
    // Screens ask often; one `which` every couple of seconds is plenty.
    if (!refreshing_ && (!known_ || std::chrono::steady_clock::now() - lastRefresh_ > std::chrono::seconds(2)))
        startRefreshLocked();
    if (whichResult_ && isExecutableFile(*whichResult_))
        return whichResult_;
    return std::nullopt;
}

void WhisperLocator::startRefreshLocked()
{
    refreshing_ = true;
    // Assigning joins the previous thread; it has already cleared refreshing_
    // under this lock, so all it has left is to return.
    refresher_ = std::jthread([this](std::stop_token stop) {
        std::optional<fs::path> found;
        bool completed = true;
        try {
            found = whichWhisper(paths_, stop);
        } catch (const std::exception&) {
            completed = false; // stopped on the way out; keep what we knew
        }
        std::lock_guard lock(mutex_);
        if (completed) {
            whichResult_ = found;
            known_ = true;
        }
        lastRefresh_ = std::chrono::steady_clock::now();
        refreshing_ = false;
        refreshed_.notify_all();
    });
}

void WhisperLocator::waitForRefresh()
{
    std::unique_lock lock(mutex_);
    refreshed_.wait(lock, [this] { return !refreshing_; });
}

// ---------------------------------------------------------------------------

LocalWhisperTranscriber::LocalWhisperTranscriber(std::string model, std::shared_ptr<WhisperLocator> locator)
    : model_(std::move(model)), locator_(std::move(locator))
{
}

std::vector<std::string> LocalWhisperTranscriber::arguments(const fs::path& audioFile,
                                                            const fs::path& outputFolder) const
{
    // "--" ends the options: a song whose path begins with "-" is still a file to Whisper.
    return {"--model", model_, "--output_format", "json", "--output_dir", outputFolder.string(),
            "--fp16", "False", "--", audioFile.string()};
}

TranscriptionResult LocalWhisperTranscriber::transcribe(const fs::path& audioFile, const TranscriptionProgress&,
                                                        std::stop_token stop) const
{
    const auto executable = whisperExecutable(stop);
    if (!executable)
        throw TranscriptionError::noEngineAvailable();

    // Removed with everything in it on every way out, cancellation included.
    const files::TemporaryDirectory workingFolder("whisper");
    runChildProcess(*executable, arguments(audioFile, workingFolder.path()), stop);

    // Whisper names its output after the audio file without its last extension.
    const fs::path output = workingFolder.path() / (audioFile.stem().string() + ".json");
    std::string bytes;
    try {
        bytes = files::readAll(output);
    } catch (const fs::filesystem_error&) {
        throw TranscriptionError::failed("Whisper produced no output.");
    }
    return parseWhisperOutput(bytes);
}

TranscriptionResult LocalWhisperTranscriber::parseWhisperOutput(std::string_view bytes)
{
    json::Json root = json::Json::object();
    try {
        root = json::parse(bytes);
    } catch (const std::exception&) {
        // Unreadable output reads as an empty transcript, not as a failure.
    }
    if (!root.is_object())
        root = json::Json::object();

    TranscriptionResult result;
    if (auto it = root.find("text"); it != root.end() && it->is_string())
        result.text = text::trimWhitespaceAndNewlines(it->get_ref<const std::string&>());

    if (auto it = root.find("segments"); it != root.end() && it->is_array()
        && std::all_of(it->begin(), it->end(), [](const json::Json& e) { return e.is_object(); })) {
        for (const auto& segment : *it) {
            if (auto chunk = parseWhisperSegment(segment))
                result.segments.push_back(std::move(*chunk));
        }
    }
    return result;
}

std::optional<TimedChunk> LocalWhisperTranscriber::parseWhisperSegment(const nlohmann::json& segment)
{
    if (!segment.is_object())
        return std::nullopt;
    const auto textIt = segment.find("text");
    if (textIt == segment.end() || !textIt->is_string())
        return std::nullopt;
    TimedChunk chunk;
    chunk.text = text::trimSpacesAndTabs(textIt->get_ref<const std::string&>());
    if (chunk.text.empty())
        return std::nullopt;
    const auto number = [&](const char* key) -> std::optional<double> {
        const auto it = segment.find(key);
        if (it == segment.end() || !it->is_number())
            return std::nullopt;
        return it->get<double>();
    };
    chunk.start = number("start").value_or(0);
    chunk.end = std::max(number("end").value_or(chunk.start), chunk.start);
    return chunk;
}

} // namespace vl
