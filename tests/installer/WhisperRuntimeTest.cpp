#include "InstallerTestSupport.h"

#include "installer/InstallerError.h"
#include "installer/WhisperRuntime.h"

#include <gtest/gtest.h>

#include "model/Cancellation.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>

namespace vl::installer {
namespace {

namespace fs = std::filesystem;

using test::PipMode;
using test::Sandbox;
using test::writeScript;
using test::writeText;

std::string installFailure(Sandbox& box, std::vector<std::string>* log = nullptr)
{
    try {
        WhisperRuntime::install(box.context.whisper, [log](const std::string& line) {
            if (log)
                log->push_back(line);
        });
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

TEST(WhisperRuntime, buildsAVenvAndInstallsWhisperReportingEachLine)
{
    Sandbox box;
    box.fakePython();
    std::vector<std::string> log;
    ASSERT_EQ(installFailure(box, &log), "");

    const fs::path venv = WhisperRuntime::runtimeFolder(box.context.whisper) / "venv";
    EXPECT_EQ(WhisperRuntime::runtimeFolder(box.context.whisper), box.data / "Verseloom/whisper-runtime");
    EXPECT_EQ(WhisperRuntime::venvWhisperPath(box.context.whisper), venv / "bin/whisper");
    EXPECT_FALSE(fs::exists(WhisperRuntime::runtimeFolder(box.context.whisper) / "resolved-runtime.txt"))
        << "a built runtime is found in the venv, not linked";
    EXPECT_EQ(box.pipCalls(), (std::vector<std::string>{"install --upgrade pip wheel",
                                                        "install --upgrade openai-whisper"}));

    const std::vector<std::string> expected = {
        "Creating a local Python environment\u2026",
        "Preparing package installer\u2026",
        "Requirement already satisfied: pip",
        "Downloading the Whisper runtime \u2014 this can take several minutes\u2026",
        "Collecting openai-whisper",
        "Downloading openai_whisper-1.tar.gz",
        std::string(120, '0'),
        "warning on stderr",
        "Successfully installed openai-whisper",
        "Whisper runtime installed.",
    };
    EXPECT_EQ(log, expected);

    // Again over what is there: every step repeats, nothing is removed first.
    writeText(venv / "keep-me", "x");
    ASSERT_EQ(installFailure(box), "");
    EXPECT_TRUE(fs::exists(venv / "keep-me"));
    EXPECT_EQ(box.pipCalls().size(), 4u);
}

TEST(WhisperRuntime, eachFailureEndsTheInstallWithItsSentence)
{
    const auto pipFailure = [](const fs::path& venv) {
        return "A setup command failed (exit 1): " + (venv / "bin/python").string() +
               " -I -m pip install --upgrade openai-whisper\nCollecting openai-whisper\nERROR: Could not find a version "
               "that satisfies the requirement openai-whisper (from versions: none)\nERROR: No matching distribution "
               "found for openai-whisper";
    };
    const struct {
        const char* what;
        std::function<void(Sandbox&)> arrange;
        std::function<std::string(const fs::path& venv, const fs::path& python)> message;
    } cases[] = {
        {"no python3 anywhere", [](Sandbox&) {}, [](const fs::path&, const fs::path&) { return std::string(kMissingPythonMessage); }},
        {"venv fails", [](Sandbox& box) { box.fakePython(true, 1); },
         [](const fs::path& venv, const fs::path& python) {
             return "A setup command failed (exit 1): " + python.string() + " -I -m venv " + venv.string() +
                    "\nThe virtual environment was not created successfully because ensurepip is not available.";
         }},
        {"venv without pip", [](Sandbox& box) { box.fakePython(false); },
         [](const fs::path&, const fs::path&) { return std::string("The Python environment did not build correctly."); }},
        {"pip fails", [](Sandbox& box) { box.fakePython(); box.setPipMode(PipMode::fail); },
         [&](const fs::path& venv, const fs::path&) { return pipFailure(venv); }},
        {"no whisper after pip", [](Sandbox& box) { box.fakePython(); box.setPipMode(PipMode::noWhisper); },
         [](const fs::path&, const fs::path&) {
             return std::string("Whisper finished installing but its CLI could not be located.");
         }},
    };
    for (const auto& c : cases) {
        Sandbox box;
        c.arrange(box);
        const fs::path folder = WhisperRuntime::runtimeFolder(box.context.whisper);
        EXPECT_EQ(installFailure(box), c.message(folder / "venv", box.tools / "python3")) << c.what;
        EXPECT_TRUE(fs::is_directory(folder)) << c.what << ": the folder is made first";
        EXPECT_FALSE(fs::exists(folder / "venv")) << c.what << ": no half-built environment is left";
    }
    EXPECT_NE(std::string(kMissingPythonMessage).find("python3-venv"), std::string::npos);
}

TEST(WhisperRuntime, aStoppedOrFailedUpgradeKeepsAWorkingRuntimeAndDropsAHalfBuiltOne)
{
    for (const bool working : {false, true}) {
        Sandbox box;
        box.fakePython();
        const fs::path venv = WhisperRuntime::runtimeFolder(box.context.whisper) / "venv";
        if (working) {
            ASSERT_EQ(installFailure(box), "");
        }

        // Failed: the download ends with an error.
        box.setPipMode(PipMode::fail);
        EXPECT_NE(installFailure(box), "");
        EXPECT_EQ(WhisperRuntime::venvWhisperPath(box.context.whisper).has_value(), working) << working;
        EXPECT_EQ(fs::exists(venv), working) << working;

        // Stopped: the installer goes away while pip downloads.
        box.setPipMode(PipMode::hang);
        std::stop_source stop;
        std::atomic<bool> ended = false;
        std::thread stopper([&] {
            // Until pip has started the download, however long that takes.
            while (!ended && box.pipCalls().size() < (working ? 6u : 4u))
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            stop.request_stop();
        });
        EXPECT_THROW(WhisperRuntime::install(box.context.whisper, [](const std::string&) {}, stop.get_token()),
                     Cancelled);
        ended = true;
        stopper.join();
        EXPECT_EQ(WhisperRuntime::venvWhisperPath(box.context.whisper).has_value(), working) << working;
        EXPECT_EQ(fs::exists(venv), working) << working;
    }
}

TEST(WhisperRuntime, pythonRunsIsolatedFromTheFolderTheInstallerWasStartedIn)
{
    const fs::path systemPython = "/usr/bin/python3";
    if (!isExecutableFile(systemPython))
        GTEST_SKIP() << "needs the system's python3";
    Sandbox box;
    // The folder the installer is started from holds a venv.py of its own.
    const fs::path startedIn = box.root.path() / "downloads";
    writeText(startedIn / "venv.py", "open('HIJACKED', 'w').write('x')\nraise SystemExit(3)\n");
    // The real python3, told not to fetch pip, and noting where it runs.
    const fs::path python = box.tools / "python3";
    writeScript(python, "#!/bin/sh\npwd -P > " + (box.tools / "ran-in").string() + "\nexec " + systemPython.string() +
                            " \"$@\" --without-pip\n");
    box.context.whisper.pythonCandidates = {python};

    test::WorkingFolder from(startedIn);
    EXPECT_EQ(installFailure(box), "The Python environment did not build correctly.")
        << "the standard venv module built an environment (without pip, as asked)";
    EXPECT_FALSE(fs::exists(startedIn / "HIJACKED"));
    EXPECT_EQ(test::readText(box.tools / "ran-in"),
              fs::canonical(WhisperRuntime::runtimeFolder(box.context.whisper)).string() + "\n");
}

TEST(WhisperRuntime, findsPython3AtItsPlacesThenThroughWhich)
{
    Sandbox box;
    const fs::path first = box.root.path() / "a/python3";
    const fs::path second = box.root.path() / "b/python3";
    const fs::path viaWhich = box.root.path() / "c/python3";
    writeScript(viaWhich, "#!/bin/sh\n");
    box.context.whisper.pythonCandidates = {first, second};
    box.setWhichAnswer(viaWhich.string());

    EXPECT_EQ(WhisperRuntime::findPython3(box.context.whisper), viaWhich);
    EXPECT_TRUE(box.whichRan());

    writeScript(second, "#!/bin/sh\n");
    box.setWhichAnswer(viaWhich.string());
    EXPECT_EQ(WhisperRuntime::findPython3(box.context.whisper), second);
    EXPECT_FALSE(box.whichRan()) << "a python3 at a fixed place needs no child process";

    writeText(first, "not executable");
    EXPECT_EQ(WhisperRuntime::findPython3(box.context.whisper), second);

    fs::remove(second);
    box.setWhichAnswer("python3"); // relative: not a path we can run
    EXPECT_EQ(WhisperRuntime::findPython3(box.context.whisper), std::nullopt);
    box.context.whisper.lookup.whichProgram = box.root.path() / "no-which";
    EXPECT_EQ(WhisperRuntime::findPython3(box.context.whisper), std::nullopt);
}

TEST(WhisperRuntime, theRuntimeFileIsWrittenBareAndReadOnlyWhenItNamesAProgram)
{
    Sandbox box;
    const fs::path whisper = box.root.path() / "elsewhere dir/whisper";
    writeScript(whisper, "#!/bin/sh\n");
    const fs::path file = WhisperRuntime::runtimeFolder(box.context.whisper) / "resolved-runtime.txt";

    EXPECT_EQ(WhisperRuntime::readResolvedRuntime(box.context.whisper), std::nullopt);
    ASSERT_TRUE(WhisperRuntime::writeResolvedRuntime(box.context.whisper, whisper)) << "creates the folders first";
    EXPECT_EQ(test::readText(file), whisper.string());
    EXPECT_EQ(WhisperRuntime::readResolvedRuntime(box.context.whisper), whisper);

    writeText(file, whisper.string() + "\n   ");
    EXPECT_EQ(WhisperRuntime::readResolvedRuntime(box.context.whisper), whisper);

    const fs::path plain = box.root.path() / "plain";
    writeText(plain, "x");
    writeText(file, plain.string());
    EXPECT_EQ(WhisperRuntime::readResolvedRuntime(box.context.whisper), std::nullopt);

    // A folder in the way of the file: the write reports failure instead of throwing.
    fs::remove(file);
    fs::create_directories(file / "x");
    EXPECT_FALSE(WhisperRuntime::writeResolvedRuntime(box.context.whisper, whisper));
}

TEST(WhisperRuntime, detectionFindsWhatTheApplicationsLookupFinds)
{
    const struct {
        const char* what;
        std::vector<std::string> present; // below the sandbox home, "@" for the fixed place
        bool viaWhich;
    } cases[] = {
        {"nothing", {}, false},
        {"pipx", {".local/pipx/venvs/openai-whisper/bin/whisper"}, false},
        {"a conda environment", {"miniforge3/envs/asr/bin/whisper"}, false},
        {"the fixed place wins over the home folder", {"@", ".local/bin/whisper"}, false},
        {"only `which` knows it", {}, true},
    };
    for (const auto& c : cases) {
        Sandbox box;
        for (const auto& place : c.present)
            writeScript(place == "@" ? box.context.whisper.lookup.fixedCandidates.front() : box.home / place,
                        "#!/bin/sh\n");
        const fs::path onPath = box.root.path() / "path/whisper";
        if (c.viaWhich) {
            writeScript(onPath, "#!/bin/sh\n");
            box.setWhichAnswer(onPath.string());
        }
        const auto detected = WhisperRuntime::detectWhisper(box.context.whisper);
        WhisperLocator application(box.context.whisper.lookup);
        EXPECT_EQ(detected, application.find()) << c.what;
        EXPECT_EQ(detected.has_value(), !c.present.empty() || c.viaWhich) << c.what;
        if (!c.present.empty() && c.present.front() == "@") {
            EXPECT_EQ(detected, box.context.whisper.lookup.fixedCandidates.front());
        }
    }
}

TEST(WhisperRuntime, aRelativeAnswerOfWhichIsNoWhisper)
{
    Sandbox box;
    // An empty PATH entry: `which` answers with the whisper of the folder we run in.
    const fs::path folder = box.root.path() / "somewhere";
    writeScript(folder / "whisper", "#!/bin/sh\n");
    test::WorkingFolder from(folder);
    for (const char* answer : {"./whisper", "whisper"}) {
        box.setWhichAnswer(answer);
        EXPECT_EQ(WhisperRuntime::detectWhisper(box.context.whisper), std::nullopt) << answer;
        EXPECT_TRUE(box.whichRan()) << answer;
    }
}

TEST(WhisperRuntime, homePathsAreShortenedAtAFolderBoundaryOnly)
{
    const struct {
        std::string path, home, shown;
    } cases[] = {
        {"/home/ann/.local/bin/whisper", "/home/ann", "~/.local/bin/whisper"},
        {"/home/ann/.local/bin/whisper", "/home/ann/", "~/.local/bin/whisper"},
        {"/home/anna/x", "/home/ann", "/home/anna/x"},
        {"/home/ann", "/home/ann", "~"},
        {"/usr/bin/whisper", "/home/ann", "/usr/bin/whisper"},
        {"/usr/bin/whisper", "/", "/usr/bin/whisper"},
        {"/usr/bin/whisper", "", "/usr/bin/whisper"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shortenedForHome(c.path, c.home), c.shown) << c.path << " under " << c.home;
}

} // namespace
} // namespace vl::installer
