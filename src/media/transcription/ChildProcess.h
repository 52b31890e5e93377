#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

struct ChildProcessOptions {
    // "NAME=value" entries for the child; nothing means it inherits ours.
    std::optional<std::vector<std::string>> environment;
    // Standard output beyond this is read and dropped, so a chatty child cannot
    // make us hold unbounded memory.
    std::size_t outputLimit = std::size_t{16} << 20;
    // Standard error kept in the result, up to this many bytes; the rest is read and dropped.
    std::size_t errorLimit = 0;
    // Standard error joins standard output on one pipe, interleaved as the child writes.
    bool mergeStandardError = false;
    // Each piece of standard output as it is read, on the calling thread; pieces are cut
    // wherever the pipe happened to be read, not at line ends.
    std::function<void(std::string_view)> onOutput;
    // How long a cancelled child gets to exit after SIGTERM before SIGKILL.
    std::chrono::milliseconds terminateGrace{1500};
};

struct ChildProcessResult {
    int exitStatus = 0;         // the exit code, or 128 + signal number
    std::string standardOutput; // UTF-8; empty when the child wrote anything else
    std::string standardError;  // as written, up to ChildProcessOptions::errorLimit
};

// Runs `executable` directly (no shell) with `arguments`, standard input on
// /dev/null and both output pipes drained while it runs, and waits for it to exit.
// The child leads its own process group: a stop request sends SIGTERM to the
// group, SIGKILL after the grace period, reaps the child and throws vl::Cancelled.
// A child that cannot be started throws std::system_error.
ChildProcessResult runChildProcess(const std::filesystem::path& executable,
                                   const std::vector<std::string>& arguments,
                                   std::stop_token stop,
                                   const ChildProcessOptions& options = {});

} // namespace vl
