#include "installer/WhisperRuntime.h"

#include "installer/InstallerError.h"

#include <system_error>

namespace vl::installer {

namespace fs = std::filesystem;

namespace WhisperRuntime {

fs::path runtimeFolder(const WhisperSetup& setup) { return whisperRuntimeFolder(setup.lookup); }

std::optional<fs::path> venvWhisperPath(const WhisperSetup& setup) { return runtimeWhisperPath(setup.lookup); }

std::optional<fs::path> readResolvedRuntime(const WhisperSetup& setup) { return resolvedWhisperPath(setup.lookup); }

bool writeResolvedRuntime(const WhisperSetup& setup, const fs::path& whisper)
{
    return writeResolvedWhisperPath(setup.lookup, whisper);
}

std::optional<fs::path> detectWhisper(const WhisperSetup& setup, std::stop_token stop)
{
    if (auto found = locateWhisper(setup.lookup))
        return found;
    // An empty PATH entry makes `which` answer "./whisper": a path that means something
    // else in every folder, and one the application refuses to read back.
    auto found = whichWhisper(setup.lookup, stop);
    if (found && !found->is_absolute())
        return std::nullopt;
    return found;
}

std::optional<fs::path> findPython3(const WhisperSetup& setup, std::stop_token stop)
{
    for (const auto& candidate : setup.pythonCandidates) {
        if (isExecutableFile(candidate))
            return candidate;
    }
    std::string found;
    try {
        found = ProcessRunner::captureOutput(setup.lookup.whichProgram, {"python3"}, stop);
    } catch (const std::system_error&) {
        return std::nullopt;
    }
    const fs::path candidate = found;
    if (candidate.is_absolute() && isExecutableFile(candidate))
        return candidate;
    return std::nullopt;
}

void install(const WhisperSetup& setup, const LogLine& onLog, std::stop_token stop)
{
    const fs::path folder = runtimeFolder(setup);
    fs::create_directories(folder);

    const auto python = findPython3(setup, stop);
    if (!python)
        throw InstallerError::step(kMissingPythonMessage);

    const fs::path venv = folder / "venv";
    // A runtime that already works is only upgraded and stays, whatever happens; one that
    // this install is building goes again when the install fails or is stopped, so no
    // half-built environment is left to take up the disk.
    const bool hadRuntime = venvWhisperPath(setup).has_value();
    try {
        // Isolated (-I) and run from the runtime folder, so nothing in the folder the
        // installer was started from is imported in place of the standard modules.
        onLog("Creating a local Python environment\u2026");
        ProcessRunner::run(*python, {"-I", "-m", "venv", venv.string()}, onLog, stop, folder);

        // pip runs through the environment's own python, isolated like the step above:
        // PYTHONPATH, PYTHONHOME and the user's site packages of the caller stay out of it.
        const fs::path venvPython = venv / "bin" / "python";
        if (!isExecutableFile(venv / "bin" / "pip") || !isExecutableFile(venvPython))
            throw InstallerError::step("The Python environment did not build correctly.");
        const auto pip = [&](std::vector<std::string> arguments) {
            arguments.insert(arguments.begin(), {"-I", "-m", "pip"});
            ProcessRunner::run(venvPython, arguments, onLog, stop, folder);
        };

        onLog("Preparing package installer\u2026");
        pip({"install", "--upgrade", "pip", "wheel"});

        onLog("Downloading the Whisper runtime \u2014 this can take several minutes\u2026");
        pip({"install", "--upgrade", "openai-whisper"});

        if (!venvWhisperPath(setup))
            throw InstallerError::step("Whisper finished installing but its CLI could not be located.");
    } catch (...) {
        if (!hadRuntime) {
            std::error_code ignored;
            fs::remove_all(venv, ignored);
        }
        throw;
    }
    onLog("Whisper runtime installed.");
}

} // namespace WhisperRuntime

std::string shortenedForHome(const std::string& path, const std::string& home)
{
    std::string root = home;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    if (root.empty() || root == "/")
        return path;
    if (path == root)
        return "~";
    if (path.size() > root.size() && path.compare(0, root.size(), root) == 0 && path[root.size()] == '/')
        return "~" + path.substr(root.size());
    return path;
}

} // namespace vl::installer
