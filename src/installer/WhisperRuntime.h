#pragma once

#include "installer/ProcessRunner.h"
#include "media/transcription/LocalWhisperTranscriber.h"

#include <filesystem>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace vl::installer {

// Where the installer looks for Whisper and for python3, and builds the private runtime.
// The folder, the "resolved-runtime.txt" reader and the detection are the application's
// own (LocalWhisperTranscriber.h), so both programs always agree on what is installed.
struct WhisperSetup {
    WhisperLookupPaths lookup;
    // Tried in this order before asking `which` (lookup.whichProgram) for python3.
    std::vector<std::filesystem::path> pythonCandidates = {"/usr/bin/python3", "/opt/homebrew/bin/python3",
                                                           "/usr/local/bin/python3"};
};

inline constexpr const char* kMissingPythonMessage =
    "Python 3 wasn\u2019t found. Install the python3 and python3-venv packages "
    "(sudo apt install python3 python3-venv) or Python from python.org, then run this step again.";

namespace WhisperRuntime {

std::filesystem::path runtimeFolder(const WhisperSetup& setup);
std::optional<std::filesystem::path> venvWhisperPath(const WhisperSetup& setup);
std::optional<std::filesystem::path> readResolvedRuntime(const WhisperSetup& setup);
bool writeResolvedRuntime(const WhisperSetup& setup, const std::filesystem::path& whisper);

// An existing Whisper command line on this machine: the fixed places, then `which`; only
// an absolute path. Waits on a child process; never call it on the main thread.
std::optional<std::filesystem::path> detectWhisper(const WhisperSetup& setup, std::stop_token stop = {});

std::optional<std::filesystem::path> findPython3(const WhisperSetup& setup, std::stop_token stop = {});

// Builds the private runtime: a venv in the runtime folder, then pip installs
// openai-whisper into it. Step texts and every line the tools print go to `onLog`. When
// it fails or is stopped, a venv it was building (not one that already worked) is removed.
// Throws InstallerError, the runner's errors, or std::filesystem::filesystem_error.
void install(const WhisperSetup& setup, const LogLine& onLog, std::stop_token stop = {});

} // namespace WhisperRuntime

// A path under the home folder written from "~"; any other path whole. The home folder
// ends at a "/": with home /home/ann, /home/anna/x stays as it is.
std::string shortenedForHome(const std::string& path, const std::string& home);

} // namespace vl::installer
