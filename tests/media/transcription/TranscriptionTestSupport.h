#pragma once

// Shared pieces of the transcription tests: a hermetic Whisper lookup rooted in
// temporary folders, the fake Whisper command line, and speech made by espeak-ng.

#include "media/transcription/LocalWhisperTranscriber.h"
#include "model/Files.h"

#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace vl::test {

// A home and a data folder of their own; the fixed system locations are left out,
// so nothing installed on this machine is ever found.
struct LookupSandbox {
    files::TemporaryDirectory root{"lookup-test"};
    std::filesystem::path home = root.path() / "home";
    std::filesystem::path data = root.path() / "data";
    WhisperLookupPaths paths;

    LookupSandbox();

    std::filesystem::path runtimeFolder() const { return whisperRuntimeFolder(paths); }
};

// Writes an executable (mode 0755) shell script, creating its folders.
void writeScript(const std::filesystem::path& path, const std::string& body = "#!/bin/sh\nexit 0\n");

// Copies the fake Whisper to `path`, set to `mode` (see fake-whisper.py).
void installFakeWhisper(const std::filesystem::path& path, const std::string& mode = "succeed");
void setFakeMode(const std::filesystem::path& fake, const std::string& mode);
std::vector<std::string> recordedArguments(const std::filesystem::path& fake);
pid_t recordedPid(const std::filesystem::path& fake, const std::string& file = "pid");
bool waitForFile(const std::filesystem::path& path, double seconds = 10);

// False once the process is gone or only a zombie is left of it; waits up to a minute
// for that before answering true.
bool processAlive(pid_t pid);

// Speaks `words` with espeak-ng into a WAV file, after `leadingSilence` seconds of silence.
std::filesystem::path speech(const std::filesystem::path& folder, const std::string& name, const std::string& words,
                             double leadingSilence = 0);

} // namespace vl::test
