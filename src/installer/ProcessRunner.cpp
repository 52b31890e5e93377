#include "installer/ProcessRunner.h"

#include "installer/InstallerError.h"
#include "media/transcription/ChildProcess.h"
#include "model/Text.h"

#include <QString>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <deque>
#include <system_error>
#include <utility>

#include <unistd.h>

extern char** environ;

namespace vl::installer {

namespace fs = std::filesystem;

namespace {

// Bytes of one line kept while it arrives; far more than kMaxCharacters ever need.
constexpr std::size_t kLineBytes = 16 * 1024;

bool isContinuationByte(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Drops a multi-byte sequence left incomplete at the end (a line cut at kLineBytes, or the
// lead bytes of a line break).
void dropIncompleteTail(std::string& bytes)
{
    std::size_t start = bytes.size();
    std::size_t continuation = 0;
    while (start > 0 && continuation < 3 && isContinuationByte(static_cast<unsigned char>(bytes[start - 1]))) {
        --start;
        ++continuation;
    }
    if (start == 0)
        return;
    const auto lead = static_cast<unsigned char>(bytes[start - 1]);
    std::size_t expected = 0;
    if ((lead & 0xE0) == 0xC0)
        expected = 1;
    else if ((lead & 0xF0) == 0xE0)
        expected = 2;
    else if ((lead & 0xF8) == 0xF0)
        expected = 3;
    if (expected > continuation)
        bytes.resize(start - 1);
}

std::vector<std::string> environmentForSetup()
{
    std::vector<std::string> environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        const std::string_view item(*entry);
        if (item.starts_with("PIP_DISABLE_PIP_VERSION_CHECK=") || item.starts_with("PYTHONUNBUFFERED="))
            continue;
        environment.emplace_back(item);
    }
    environment.emplace_back("PIP_DISABLE_PIP_VERSION_CHECK=1");
    environment.emplace_back("PYTHONUNBUFFERED=1");
    return environment;
}

} // namespace

LineSplitter::LineSplitter(LogLine onLine) : onLine_(std::move(onLine)) {}

void LineSplitter::feed(std::string_view bytes)
{
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        recent_ = ((recent_ << 8) | byte) & 0xFFFFFFu;
        if (byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r') {
            endLine();
            continue;
        }
        // U+0085, U+2028 and U+2029; their lead bytes, already kept, are dropped by endLine().
        if ((recent_ & 0xFFFFu) == 0xC285u || recent_ == 0xE280A8u || recent_ == 0xE280A9u) {
            endLine();
            continue;
        }
        if (skipping_)
            continue;
        pending_.push_back(c);
        if (pending_.size() >= kLineBytes)
            skipping_ = true;
    }
}

void LineSplitter::finish() { endLine(); }

void LineSplitter::endLine()
{
    std::string line = std::move(pending_);
    pending_.clear();
    skipping_ = false;
    dropIncompleteTail(line);
    if (line.empty() || !text::isValidUtf8(line))
        return;
    line = text::trimSpaceSeparatorsAndTab(line);
    if (line.empty())
        return;
    if (onLine_)
        onLine_(cutToGraphemes(line, kMaxCharacters));
}

std::string cutToGraphemes(std::string_view text, std::size_t count)
{
    const QString decoded = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, decoded);
    std::size_t seen = 0;
    qsizetype end = 0;
    while (seen < count) {
        const qsizetype next = finder.toNextBoundary();
        if (next < 0)
            return std::string(text);
        end = next;
        ++seen;
    }
    if (end >= decoded.size())
        return std::string(text);
    return decoded.left(end).toStdString();
}

std::string setupCommandFailed(int status, const fs::path& executable, const std::vector<std::string>& arguments,
                               const std::vector<std::string>& lastLines)
{
    std::string command = executable.string();
    for (const auto& argument : arguments)
        command += " " + argument;
    std::string message = "A setup command failed (exit " + std::to_string(status) + "): " + command;
    for (const auto& line : lastLines)
        message += "\n" + line;
    return message;
}

namespace ProcessRunner {

void run(const fs::path& executable, const std::vector<std::string>& arguments, const LogLine& onLog,
         std::stop_token stop, const fs::path& workingFolder)
{
    std::deque<std::string> lastLines;
    LineSplitter lines([&onLog, &lastLines](const std::string& line) {
        lastLines.push_back(line);
        if (lastLines.size() > kFailureLines)
            lastLines.pop_front();
        if (onLog)
            onLog(line);
    });
    ChildProcessOptions options;
    options.environment = environmentForSetup();
    options.mergeStandardError = true;
    options.outputLimit = 0; // everything goes to the log
    options.onOutput = [&lines](std::string_view bytes) { lines.feed(bytes); };

    ChildProcessResult result;
    if (workingFolder.empty()) {
        result = runChildProcess(executable, arguments, stop, options);
    } else {
        // The spawn cannot change folders, so a shell enters the folder and becomes the
        // command. A command that cannot start is reported as if we had started it.
        if (::access(executable.c_str(), X_OK) != 0)
            throw std::system_error(errno, std::generic_category(), "cannot start " + executable.string());
        std::vector<std::string> wrapped = {"-c", "cd -- \"$1\" && shift && exec \"$@\"", "verseloom-setup",
                                            workingFolder.string(), executable.string()};
        wrapped.insert(wrapped.end(), arguments.begin(), arguments.end());
        result = runChildProcess("/bin/sh", wrapped, stop, options);
    }
    lines.finish();
    if (result.exitStatus != 0)
        throw InstallerError::step(setupCommandFailed(result.exitStatus, executable, arguments,
                                                      {lastLines.begin(), lastLines.end()}));
}

std::string captureOutput(const fs::path& executable, const std::vector<std::string>& arguments,
                          std::stop_token stop)
{
    ChildProcessOptions options;
    options.outputLimit = 64 * 1024;
    const ChildProcessResult result = runChildProcess(executable, arguments, stop, options);
    return text::trimWhitespaceAndNewlines(result.standardOutput);
}

} // namespace ProcessRunner

} // namespace vl::installer
