#include "TranscriptionTestSupport.h"

#include "media/transcription/ChildProcess.h"
#include "model/Json.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <stdexcept>
#include <thread>

namespace vl::test {

namespace fs = std::filesystem;

LookupSandbox::LookupSandbox()
{
    fs::create_directories(home);
    fs::create_directories(data);
    paths.home = home;
    paths.dataFolder = data;
    paths.pathVariable = std::nullopt;
    paths.fixedCandidates.clear();
    paths.fixedSearchFolders.clear();
}

void writeScript(const fs::path& path, const std::string& body)
{
    fs::create_directories(path.parent_path());
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << body;
    }
    fs::permissions(path, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec
                              | fs::perms::others_read | fs::perms::others_exec);
}

void installFakeWhisper(const fs::path& path, const std::string& mode)
{
    writeScript(path, files::readAll(fs::path(VL_SOURCE_DIR) / "tests/media/transcription/fake-whisper.py"));
    setFakeMode(path, mode);
}

void setFakeMode(const fs::path& fake, const std::string& mode)
{
    std::ofstream(fake.parent_path() / "fake-mode", std::ios::trunc) << mode;
}

std::vector<std::string> recordedArguments(const fs::path& fake)
{
    return json::parse(files::readAll(fake.parent_path() / "args.json")).get<std::vector<std::string>>();
}

pid_t recordedPid(const fs::path& fake, const std::string& file)
{
    return static_cast<pid_t>(std::stol(files::readAll(fake.parent_path() / file)));
}

bool waitForFile(const fs::path& path, double seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

bool processAlive(pid_t pid)
{
    // A killed grandchild is reaped by whoever adopted it, perhaps a while later on a
    // loaded machine: wait for that, with a generous ceiling.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        std::string stat;
        try {
            stat = files::readAll("/proc/" + std::to_string(pid) + "/stat");
        } catch (const std::exception&) {
            return false;
        }
        const auto close = stat.rfind(')');
        if (close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z')
            return false;
        if (std::chrono::steady_clock::now() > deadline)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

fs::path speech(const fs::path& folder, const std::string& name, const std::string& words, double leadingSilence)
{
    const fs::path spoken = folder / ("spoken-" + name);
    auto result = runChildProcess("/usr/bin/espeak-ng", {"-v", "en-us", "-s", "140", "-w", spoken.string(), words}, {});
    if (result.exitStatus != 0 || !fs::exists(spoken))
        throw std::runtime_error("espeak-ng failed");
    if (leadingSilence <= 0) {
        fs::rename(spoken, folder / name);
        return folder / name;
    }
    result = runChildProcess("/usr/bin/sox", {spoken.string(), (folder / name).string(), "pad",
                                              std::to_string(leadingSilence), "0"}, {});
    if (result.exitStatus != 0)
        throw std::runtime_error("sox failed");
    return folder / name;
}

} // namespace vl::test
