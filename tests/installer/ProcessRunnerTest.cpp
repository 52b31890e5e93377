#include "InstallerTestSupport.h"

#include "installer/InstallerError.h"
#include "installer/ProcessRunner.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <system_error>

namespace vl::installer {
namespace {

namespace fs = std::filesystem;

using test::Sandbox;
using test::writeScript;

std::vector<std::string> linesOf(const std::string& script)
{
    std::vector<std::string> lines;
    ProcessRunner::run("/bin/sh", {"-c", script}, [&lines](const std::string& line) { lines.push_back(line); });
    return lines;
}

TEST(ProcessRunner, turnsOutputIntoWholeTrimmedLines)
{
    const std::string e = "\xc3\xa9"; // é
    const struct {
        const char* what;
        std::string script;
        std::vector<std::string> lines;
    } cases[] = {
        {"nothing", "exit 0", {}},
        {"long line cut to 120", "printf '%0300d\\n' 0", {std::string(120, '0')}},
        {"indented, CR LF, blank, indented", "printf '  one\\r\\n\\r\\n\\t two  \\n'", {"one", "two"}},
        {"every kind of line break", "printf 'a\\rb\\vc\\fd\\302\\205e\\342\\200\\250f\\342\\200\\251g\\n'",
         {"a", "b", "c", "d", "e", "f", "g"}},
        {"standard error like standard output", "echo out; echo err >&2; echo out2", {"out", "err", "out2"}},
        {"a line that is not UTF-8 alone is dropped", "printf 'good\\nbad \\377\\376\\nafter\\n'",
         {"good", "after"}},
        {"a character split between two writes", "printf 'caf\\303'; sleep 0.3; printf '\\251 ok\\n'",
         {"caf" + e + " ok"}},
        {"a line split between two writes", "printf 'half '; sleep 0.3; printf 'and half\\n'", {"half and half"}},
        {"a CR LF split between two writes", "printf 'one\\r'; sleep 0.3; printf '\\ntwo\\n'", {"one", "two"}},
        {"an unterminated last line", "printf 'first\\nlast words'", {"first", "last words"}},
        {"120 user-visible characters, not bytes", "printf '%s\\n' \"$(printf 'e\\314\\201%.0s' $(seq 130))\"",
         {[] {
             std::string s;
             for (int i = 0; i < 120; ++i)
                 s += "e\xcc\x81";
             return s;
         }()}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(linesOf(c.script), c.lines) << c.what;
}

TEST(ProcessRunner, aFailingCommandNamesItsStatusAndCommandLine)
{
    Sandbox box;
    const auto tool = box.tools / "fails";
    const std::string disk = "ERROR: Could not install packages due to an OSError: [Errno 28] No space left on device";
    const struct {
        std::string script;
        std::vector<std::string> arguments;
        std::string message;
        std::vector<std::string> lines;
    } cases[] = {
        {"echo 'about to fail'\nexit 1\n", {}, "A setup command failed (exit 1): " + tool.string() + "\nabout to fail",
         {"about to fail"}},
        {"echo 'about to fail'\nexit 1\n",
         {"install", "--upgrade", "openai whisper"},
         "A setup command failed (exit 1): " + tool.string() + " install --upgrade openai whisper\nabout to fail",
         {"about to fail"}},
        {"exit 3\n", {"quiet"}, "A setup command failed (exit 3): " + tool.string() + " quiet", {}},
        // The disk fills up: the command's own last words say so, after its command line.
        {"printf 'Collecting openai-whisper\\n  Downloading torch.whl\\n\\nInstalling collected packages\\n'\n"
         "echo '" + disk + "' >&2\nexit 1\n",
         {"install"},
         "A setup command failed (exit 1): " + tool.string() + " install\nDownloading torch.whl\n"
         "Installing collected packages\n" + disk,
         {"Collecting openai-whisper", "Downloading torch.whl", "Installing collected packages", disk}},
    };
    for (const auto& c : cases) {
        writeScript(tool, "#!/bin/sh\n" + c.script);
        std::vector<std::string> lines;
        try {
            ProcessRunner::run(tool, c.arguments, [&lines](const std::string& line) { lines.push_back(line); });
            ADD_FAILURE() << "a failing command returned";
        } catch (const InstallerError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
        EXPECT_EQ(lines, c.lines) << "output before the failure still arrives";
    }
}

TEST(ProcessRunner, runsInTheWorkingFolderItIsGiven)
{
    Sandbox box;
    const fs::path folder = box.root.path() / "work folder";
    fs::create_directories(folder);
    std::vector<std::string> lines;
    ProcessRunner::run("/bin/sh", {"-c", "pwd -P; echo \"$0|$1\"", "name", "one argument"},
                       [&lines](const std::string& line) { lines.push_back(line); }, {}, folder);
    EXPECT_EQ(lines, (std::vector<std::string>{fs::canonical(folder).string(), "name|one argument"}));

    // A failure names the command as given, and a program that is not there is still the
    // launch error.
    writeScript(box.tools / "fails", "#!/bin/sh\nexit 4\n");
    try {
        ProcessRunner::run(box.tools / "fails", {"a"}, {}, {}, folder);
        ADD_FAILURE() << "a failing command returned";
    } catch (const InstallerError& e) {
        EXPECT_EQ(std::string(e.what()), "A setup command failed (exit 4): " + (box.tools / "fails").string() + " a");
    }
    EXPECT_THROW(ProcessRunner::run(box.root.path() / "no-such-tool", {}, {}, {}, folder), std::system_error);
}

TEST(ProcessRunner, aMissingProgramIsTheLaunchErrorNotAnExitStatus)
{
    Sandbox box;
    EXPECT_THROW(ProcessRunner::run(box.root.path() / "no-such-tool", {}, [](const std::string&) {}),
                 std::system_error);
    EXPECT_THROW(ProcessRunner::captureOutput(box.root.path() / "no-such-tool", {}), std::system_error);
}

TEST(ProcessRunner, setupCommandsSeeTheirPipSettingsAndEverythingElseOfOurs)
{
    ::setenv("PIP_DISABLE_PIP_VERSION_CHECK", "0", 1);
    ::setenv("PYTHONUNBUFFERED", "", 1);
    ::setenv("VL_RUNNER_PROBE", "kept as is", 1);
    const auto lines = linesOf("echo \"$PIP_DISABLE_PIP_VERSION_CHECK|$PYTHONUNBUFFERED|$VL_RUNNER_PROBE\"");
    ::unsetenv("PIP_DISABLE_PIP_VERSION_CHECK");
    ::unsetenv("PYTHONUNBUFFERED");
    ::unsetenv("VL_RUNNER_PROBE");
    EXPECT_EQ(lines, std::vector<std::string>{"1|1|kept as is"});
}

TEST(ProcessRunner, captureOutputReturnsTrimmedStandardOutputWhateverTheExit)
{
    const struct {
        std::string script;
        std::string output;
    } cases[] = {
        {"printf '/usr/bin/python3\\n'", "/usr/bin/python3"},
        {"echo '  /x  '; echo ignored >&2; exit 3", "/x"},
        {"printf 'not \\377 text'", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ProcessRunner::captureOutput("/bin/sh", {"-c", c.script}), c.output) << c.script;
}

} // namespace
} // namespace vl::installer
