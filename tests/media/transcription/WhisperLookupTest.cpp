#include "TranscriptionTestSupport.h"

#include "media/transcription/LocalWhisperTranscriber.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

namespace vl {
namespace {

namespace fs = std::filesystem;
using test::LookupSandbox;
using test::writeScript;

void writeText(const fs::path& path, const std::string& text)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

TEST(WhisperLookup, executableMeansARegularFileWeMayRun)
{
    LookupSandbox box;
    const fs::path script = box.root.path() / "tool";
    writeScript(script);
    const fs::path plain = box.root.path() / "plain";
    writeText(plain, "#!/bin/sh\n");
    const fs::path folder = box.root.path() / "folder";
    fs::create_directories(folder); // folders carry the execute bit too
    const fs::path link = box.root.path() / "link";
    fs::create_symlink(script, link);
    const fs::path dangling = box.root.path() / "dangling";
    fs::create_symlink(box.root.path() / "gone", dangling);

    const struct {
        fs::path path;
        bool executable;
    } cases[] = {{script, true}, {link, true}, {plain, false}, {folder, false},
                 {dangling, false}, {box.root.path() / "missing", false}, {fs::path(), false}};
    for (const auto& c : cases)
        EXPECT_EQ(isExecutableFile(c.path), c.executable) << c.path;
}

// Puts an executable at each place of the search, from the last place to the
// first: each new one must win over all those placed before it.
TEST(WhisperLookup, searchesInItsFixedOrder)
{
    LookupSandbox box;
    const fs::path fixed = box.root.path() / "fixed";
    box.paths.fixedCandidates = {fixed / "first/whisper", fixed / "second/whisper"};
    const fs::path home = box.home;
    const fs::path elsewhere = box.root.path() / "elsewhere/whisper";

    const std::vector<fs::path> order = {
        box.runtimeFolder() / "venv/bin/whisper",
        elsewhere, // named by resolved-runtime.txt
        fixed / "first/whisper",
        fixed / "second/whisper",
        home / ".local/bin/whisper",
        home / ".local/pipx/venvs/openai-whisper/bin/whisper",
        home / ".pyenv/shims/whisper",
        home / "miniconda3/bin/whisper",
        home / "miniconda3/envs/a/bin/whisper",
        home / "miniconda3/envs/b/bin/whisper",
        home / "anaconda3/bin/whisper",
        home / "anaconda3/envs/tools/bin/whisper",
        home / "miniforge3/bin/whisper",
        home / "miniforge3/envs/asr/bin/whisper",
        home / "mambaforge/bin/whisper",
        home / "mambaforge/envs/x/bin/whisper",
    };
    WhisperLocator nothing(box.paths);
    EXPECT_EQ(nothing.find(), std::nullopt);

    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        writeScript(*it);
        if (*it == elsewhere)
            writeText(box.runtimeFolder() / "resolved-runtime.txt", elsewhere.string() + "\n");
        WhisperLocator locator(box.paths);
        EXPECT_EQ(locator.find(), *it);
        EXPECT_EQ(locator.findWithoutWaiting(), *it);
    }
}

TEST(WhisperLookup, readsResolvedRuntimeFileStrictly)
{
    LookupSandbox box;
    const fs::path target = box.root.path() / "opt/whisper";
    writeScript(target);
    const fs::path plain = box.root.path() / "plain-whisper";
    writeText(plain, "not executable");
    const fs::path file = box.runtimeFolder() / "resolved-runtime.txt";

    const struct {
        const char* label;
        std::string contents;
        bool found;
    } cases[] = {
        {"path with line break and spaces", "  " + target.string() + " \r\n\n", true},
        {"plain path", target.string(), true},
        {"relative path", fs::relative(target, fs::current_path()).string(), false},
        {"file without execute permission", plain.string(), false},
        {"a folder", target.parent_path().string(), false},
        {"blank", " \n", false},
        {"invalid UTF-8", target.string() + "\xff", false},
    };
    for (const auto& c : cases) {
        writeText(file, c.contents);
        const auto found = resolvedWhisperPath(box.paths);
        EXPECT_EQ(found.has_value(), c.found) << c.label;
        if (c.found && found) {
            EXPECT_EQ(*found, target) << c.label;
        }
    }
    fs::remove(file);
    EXPECT_EQ(resolvedWhisperPath(box.paths), std::nullopt);
}

TEST(WhisperLookup, runtimeFolderFollowsTheDataFolder)
{
    LookupSandbox box;
    EXPECT_EQ(whisperRuntimeFolder(box.paths), box.data / "Verseloom/whisper-runtime");
}

TEST(WhisperLookup, whichSearchPathPutsUserFoldersFirstAndOwnPathLast)
{
    WhisperLookupPaths paths;
    paths.home = "/home/ada";
    paths.pathVariable = std::nullopt;
    EXPECT_EQ(whichSearchPath(paths),
              "/home/ada/.pyenv/shims:/home/ada/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:");
    paths.pathVariable = "/snap/bin:/sbin";
    EXPECT_EQ(whichSearchPath(paths),
              "/home/ada/.pyenv/shims:/home/ada/.local/bin:/opt/homebrew/bin:/usr/local/bin:/usr/bin:/bin:"
              "/snap/bin:/sbin");
}

TEST(WhisperLookup, whichFindsWhisperOnTheApplicationsPath)
{
    LookupSandbox box;
    const fs::path bin = box.root.path() / "bin";
    box.paths.pathVariable = bin.string();
    EXPECT_EQ(whichWhisper(box.paths), std::nullopt);

    writeScript(bin / "whisper");
    EXPECT_EQ(whichWhisper(box.paths), bin / "whisper");
    WhisperLocator locator(box.paths);
    EXPECT_EQ(locator.find(), bin / "whisper");

    box.paths.whichProgram = box.root.path() / "no-such-which";
    EXPECT_EQ(whichWhisper(box.paths), std::nullopt);
}

TEST(WhisperLookup, whichOutputMustNameAnExecutable)
{
    LookupSandbox box;
    const fs::path plain = box.root.path() / "plain";
    writeText(plain, "x");
    for (const std::string& printed : {plain.string(), box.root.path().string(), std::string("whisper not found")}) {
        box.paths.whichProgram = box.root.path() / "which";
        writeScript(box.paths.whichProgram, "#!/bin/sh\necho '" + printed + "'\n");
        EXPECT_EQ(whichWhisper(box.paths), std::nullopt) << printed;
    }
}

TEST(WhisperLookup, askingWithoutWaitingNeverWaitsForWhich)
{
    LookupSandbox box;
    box.paths.whichProgram = box.root.path() / "slow-which";
    // Leaves a mark only if it is allowed to sleep out its half minute.
    const auto finished = box.root.path() / "which-finished";
    writeScript(box.paths.whichProgram, "#!/bin/sh\nsleep 30\ntouch '" + finished.string() + "'\n");
    {
        WhisperLocator locator(box.paths);
        EXPECT_EQ(locator.findWithoutWaiting(), std::nullopt);
        EXPECT_EQ(locator.findWithoutWaiting(), std::nullopt);
        LocalWhisperTranscriber whisper("base", std::make_shared<WhisperLocator>(box.paths));
        EXPECT_FALSE(whisper.isAvailable());
    } // going away stops the slow lookup instead of waiting it out
    EXPECT_FALSE(std::filesystem::exists(finished)) << "the lookup was waited out";
}

TEST(WhisperLookup, answerWithoutWaitingCatchesUpWithWhich)
{
    LookupSandbox box;
    const fs::path found = box.root.path() / "bin/whisper";
    writeScript(found);
    box.paths.whichProgram = box.root.path() / "which";
    writeScript(box.paths.whichProgram, "#!/bin/sh\necho '" + found.string() + "'\n");

    WhisperLocator locator(box.paths);
    locator.findWithoutWaiting(); // starts the refresh
    locator.waitForRefresh();
    EXPECT_EQ(locator.findWithoutWaiting(), found);

    // A remembered path that has since gone is not offered.
    fs::remove(found);
    EXPECT_EQ(locator.findWithoutWaiting(), std::nullopt);
}

} // namespace
} // namespace vl
