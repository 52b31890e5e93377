#pragma once

// Shared pieces of the installer tests: a sandbox folder holding every place the installer
// touches, fake python3, pip, pkexec and which, a payload tree, and an event-loop wait.
// Nothing here reaches the network, the machine's python3 or its real /opt.

#include "installer/InstallerContext.h"
#include "model/Files.h"
#include "model/Settings.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vl::installer::test {

namespace fs = std::filesystem;

// Writes an executable (0755) file, creating its folders.
void writeScript(const fs::path& path, const std::string& body);
void writeText(const fs::path& path, const std::string& text);
std::string readText(const fs::path& path);

// Spins the event loop until `condition` holds; false after `timeoutMs`.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 30000);

// The test process works from `folder` while this lives, as the installer may be started
// from any folder; the previous folder comes back at the end.
class WorkingFolder {
public:
    explicit WorkingFolder(const fs::path& folder);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    fs::path previous_;
};

// What the fake pip does when asked to install openai-whisper (hang: waits until stopped).
enum class PipMode { succeed, fail, noWhisper, hang };

struct Sandbox {
    files::TemporaryDirectory root{"installer-test"};
    fs::path home = root.path() / "home";
    fs::path data = root.path() / "data";
    fs::path tools = root.path() / "tools";
    fs::path payloadFolder = root.path() / "payload";
    fs::path destination = root.path() / "opt";
    MemorySettings suite;
    InstallerContext context;

    Sandbox();

    // A python3 whose "-m venv DIR" makes DIR/bin/pip (the fake pip); with makePip false
    // the environment comes out without one.
    fs::path fakePython(bool makePip = true, int exitStatus = 0);
    void setPipMode(PipMode mode);
    // Every command line the fake pip was run with, one per line.
    std::vector<std::string> pipCalls() const;
    // A `which` that prints `answer` (nothing when empty) and notes that it ran.
    void setWhichAnswer(const std::string& answer);
    bool whichRan() const;
    int whichRuns() const;

    // pkexec stand-ins: runs the command as we are; or answers as the real one does
    // when the dialog is dismissed (126) or the user is not authorised (127).
    fs::path pkexecThatRuns();
    fs::path pkexecThatExits(int status, const std::string& message = {});

    // A small application tree in payloadFolder/verseloom.
    fs::path makePayload(bool withFonts = true);
    fs::path target() const { return destination / "verseloom"; }
};

} // namespace vl::installer::test
