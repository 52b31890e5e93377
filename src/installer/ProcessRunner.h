#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vl::installer {

using LogLine = std::function<void(const std::string& line)>;

// Turns a child's output bytes into status lines: split at every line break (LF, VT, FF,
// CR, CR LF, U+0085, U+2028, U+2029) wherever the pipe happened to cut the bytes, each
// line decoded on its own (one that is not UTF-8 is dropped), trimmed of spaces and tabs,
// blank ones skipped, and cut to its first kMaxCharacters user-visible characters.
class LineSplitter {
public:
    static constexpr std::size_t kMaxCharacters = 120;

    explicit LineSplitter(LogLine onLine);
    void feed(std::string_view bytes);
    // Hands over the last line when the output did not end with a line break.
    void finish();

private:
    void endLine();

    LogLine onLine_;
    std::string pending_;
    bool skipping_ = false;  // the line outgrew what can ever be shown
    unsigned recent_ = 0;    // the last three bytes, for the multi-byte line breaks
};

// The first `count` grapheme clusters of UTF-8 text.
std::string cutToGraphemes(std::string_view text, std::size_t count);

// The failure of a setup command that exited with `status`, followed by the last lines it
// printed (one per line), which usually say why.
std::string setupCommandFailed(int status, const std::filesystem::path& executable,
                               const std::vector<std::string>& arguments,
                               const std::vector<std::string>& lastLines = {});

// Child processes of the installer, started without a shell.
namespace ProcessRunner {

// How many of a failed command's last output lines its failure repeats.
inline constexpr std::size_t kFailureLines = 3;

// Runs a setup command to its end with standard error joined to standard output, handing
// each output line to `onLog` (on the calling thread) as it arrives. The child gets our
// environment with PIP_DISABLE_PIP_VERSION_CHECK and PYTHONUNBUFFERED set to "1", and runs
// in `workingFolder` when one is given (else in ours). Throws InstallerError on a non-zero
// exit, std::system_error when the child cannot start and vl::Cancelled when stopped.
void run(const std::filesystem::path& executable, const std::vector<std::string>& arguments, const LogLine& onLog,
         std::stop_token stop = {}, const std::filesystem::path& workingFolder = {});

// Runs a command to its end and returns its standard output, trimmed of white space and
// line breaks; empty when it is not UTF-8. The exit status is not looked at. Throws only
// when the child cannot start (std::system_error) or is stopped.
std::string captureOutput(const std::filesystem::path& executable, const std::vector<std::string>& arguments,
                          std::stop_token stop = {});

} // namespace ProcessRunner

} // namespace vl::installer
