#include "InstallerTestSupport.h"

#include "installer/AppCopy.h"
#include "installer/DesktopEntry.h"
#include "installer/InstallerError.h"
#include "media/transcription/ChildProcess.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

namespace vl::installer {
namespace {

namespace fs = std::filesystem;

using test::Sandbox;
using test::writeScript;
using test::writeText;

std::string failureOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

// The entries of a folder other than the ones named.
std::vector<std::string> entriesOf(const fs::path& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

mode_t modeOf(const fs::path& path)
{
    struct stat info{};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// An installed older version, with a file the new one no longer has.
void installOldVersion(const fs::path& target)
{
    writeText(target / "old-only.txt", "old");
    writeScript(target / "bin/verseloom", "#!/bin/sh\necho old\n");
}

TEST(AppCopy, theTargetIsAFixedNameInAnAbsoluteNormalFolder)
{
    EXPECT_EQ(installTarget("/opt"), fs::path("/opt/verseloom"));
    EXPECT_EQ(installTarget("/home/ann/my apps"), fs::path("/home/ann/my apps/verseloom"));
    for (const char* refused : {"", "opt", "/", "//", "/opt/", "/opt/../etc", "/opt/./x", "/opt//x", "./opt"})
        EXPECT_THROW(installTarget(refused), InstallerError) << '"' << refused << '"';
}

TEST(AppCopy, directCopyReplacesTheOldTreeWhole)
{
    Sandbox box;
    const fs::path payload = box.makePayload();
    installOldVersion(box.target());
    directInstall(payload, box.destination);
    EXPECT_FALSE(fs::exists(box.target() / "old-only.txt"));
    EXPECT_EQ(test::readText(box.target() / "bin/verseloom"), "#!/bin/sh\necho verseloom\n");
    EXPECT_EQ(modeOf(box.target() / "bin/verseloom"), 0755);
    EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"}) << "nothing staged is left";

    // Into a destination that does not exist yet.
    Sandbox fresh;
    fresh.makePayload();
    directInstall(fresh.payloadFolder / "verseloom", fresh.destination / "deeper");
    EXPECT_TRUE(fs::exists(fresh.destination / "deeper/verseloom/bin/verseloom"));
}

TEST(AppCopy, aFailedDirectCopyKeepsTheOldTree)
{
    Sandbox box;
    const fs::path payload = box.makePayload();
    ASSERT_EQ(::mkfifo((payload / "share/a-pipe").c_str(), 0644), 0); // not a file we can copy
    installOldVersion(box.target());
    EXPECT_THROW(directInstall(payload, box.destination), fs::filesystem_error);
    EXPECT_TRUE(fs::exists(box.target() / "old-only.txt"));
    EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"});
}

TEST(AppCopy, thePrivilegedCopyTakesEveryPathAsOneArgument)
{
    for (const std::string name :
         {"with space", "it's", "quote\"d", "$(touch INJECTED)", "`touch INJECTED`", "semi;colon && touch INJECTED",
          "new\nline", "back\\slash", "-dash", "*"}) {
        Sandbox box;
        const fs::path payload = box.makePayload();
        const fs::path destination = box.root.path() / name / "apps";
        const fs::path source = box.root.path() / ("payload " + name);
        fs::rename(payload, source);
        const std::string error = failureOf([&] { privilegedInstall(box.pkexecThatRuns(), source, destination); });
        EXPECT_EQ(error, "") << name;
        EXPECT_TRUE(isExecutableFile(destination / "verseloom/bin/verseloom")) << name;
        EXPECT_EQ(entriesOf(destination), std::vector<std::string>{"verseloom"}) << name;
        for (const fs::path& folder : {box.root.path(), fs::current_path(), fs::path("/")})
            EXPECT_FALSE(fs::exists(folder / "INJECTED")) << name;
    }
}

TEST(AppCopy, thePrivilegedCopySwapsInANewTreeWithSettledModes)
{
    Sandbox box;
    const fs::path payload = box.makePayload();
    writeText(payload / "private.txt", "x");
    fs::permissions(payload / "private.txt", fs::perms::owner_read | fs::perms::owner_write);
    writeScript(payload / "bin/tool", "#!/bin/sh\n");
    fs::permissions(payload / "bin/tool", fs::perms::owner_all);
    writeText(payload / "open.txt", "x");
    fs::permissions(payload / "open.txt", fs::perms::all);
    fs::create_directories(payload / "closed");
    fs::permissions(payload / "closed", fs::perms::owner_all);
    writeScript(payload / "bin/set-id", "#!/bin/sh\n");
    ASSERT_EQ(::chmod((payload / "bin/set-id").c_str(), 06755), 0);
    installOldVersion(box.target());

    ASSERT_EQ(failureOf([&] { privilegedInstall(box.pkexecThatRuns(), payload, box.destination); }), "");
    EXPECT_FALSE(fs::exists(box.target() / "old-only.txt")) << "the old tree goes once the new one is in";
    EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"});
    // Modes are kept as the payload has them, never widened; only group and other write
    // and the set-id bits go.
    EXPECT_EQ(modeOf(box.target()), 0755);
    EXPECT_EQ(modeOf(box.target() / "closed"), 0700);
    EXPECT_EQ(modeOf(box.target() / "private.txt"), 0600);
    EXPECT_EQ(modeOf(box.target() / "bin/tool"), 0700);
    EXPECT_EQ(modeOf(box.target() / "bin/verseloom"), 0755);
    EXPECT_EQ(modeOf(box.target() / "open.txt"), 0755) << "no one but the owner may write";
    EXPECT_EQ(modeOf(box.target() / "bin/set-id"), 0755) << "nothing runs as the installed files' owner";
}

TEST(AppCopy, aPayloadSwappedForALinkWhileThePromptIsUpIsRefused)
{
    const struct {
        const char* what;
        std::string swap; // run by the stand-in for pkexec before the script, with $1 the source
    } cases[] = {
        {"the payload itself", "mv \"$1\" \"$1.real\" && ln -s \"$2\" \"$1\""},
        {"a folder on its way", "mv \"$(dirname \"$1\")\" \"$(dirname \"$1\").real\" && "
                                "ln -s \"$(dirname \"$2\")\" \"$(dirname \"$1\")\""},
    };
    for (const auto& c : cases) {
        Sandbox box;
        const fs::path payload = box.makePayload();
        installOldVersion(box.target());
        // Someone else's private folder, which the user can point a link at but not read.
        const fs::path secrets = box.root.path() / "private/verseloom";
        writeScript(secrets / "bin/verseloom", "#!/bin/sh\n");
        writeText(secrets / "key.pem", "private");
        fs::permissions(secrets / "key.pem", fs::perms::owner_read | fs::perms::owner_write);
        const fs::path pkexec = box.tools / "pkexec-swaps";
        writeScript(pkexec, "#!/bin/sh\nswap() {\n" + c.swap + "\n}\nswap \"$7\" '" + secrets.string() +
                                "' || exit 1\nexec \"$@\"\n");

        const std::string error = failureOf([&] { privilegedInstall(pkexec, payload, box.destination); });
        EXPECT_EQ(error, "The installer payload changed while waiting for authorization; Verseloom was not installed.")
            << c.what;
        EXPECT_FALSE(fs::exists(box.target() / "key.pem")) << c.what;
        EXPECT_TRUE(fs::exists(box.target() / "old-only.txt")) << c.what;
        EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"}) << c.what;
        EXPECT_EQ(modeOf(secrets / "key.pem"), 0600) << c.what;
    }

    // A link the payload already was when the copy began is followed then, before the
    // password is asked for: what is installed is what it pointed at.
    Sandbox box;
    const fs::path payload = box.makePayload();
    const fs::path linked = box.root.path() / "payload-link";
    fs::create_directory_symlink(payload, linked);
    ASSERT_EQ(failureOf([&] { privilegedInstall(box.pkexecThatRuns(), linked, box.destination); }), "");
    EXPECT_TRUE(isExecutableFile(box.target() / "bin/verseloom"));
    EXPECT_FALSE(fs::is_symlink(box.target()));
}

TEST(AppCopy, thePrivilegedCopyGivesTheTreeToRoot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can hand files to another owner";
    Sandbox box;
    const fs::path payload = box.makePayload();
    ASSERT_EQ(::chown((payload / "bin/verseloom").c_str(), 4321, 4321), 0);
    const fs::path outside = box.root.path() / "outside.txt";
    writeText(outside, "not ours");
    ASSERT_EQ(::chown(outside.c_str(), 4321, 4321), 0);
    fs::create_symlink(outside, payload / "link");

    ASSERT_EQ(failureOf([&] { privilegedInstall(box.pkexecThatRuns(), payload, box.destination); }), "");
    struct stat info{};
    ASSERT_EQ(::stat((box.target() / "bin/verseloom").c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 0u);
    EXPECT_EQ(info.st_gid, 0u);
    ASSERT_EQ(::stat(outside.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, 4321u) << "a link in the tree is not followed out of it";
    EXPECT_EQ(modeOf(outside), 0644);
}

TEST(AppCopy, aRefusedCancelledOrFailedPrivilegedCopyKeepsTheOldTree)
{
    const struct {
        const char* what;
        int pkexecStatus;         // -1: pkexec runs the script
        std::string brokenTool;   // a tool of the script that fails, found first on PATH
        std::string stderrText;
        std::string message;
    } cases[] = {
        {"dismissed", 126, "", "", kCancelledMessage},
        {"not authorised", 127, "", "Error executing command as another user: Not authorized", kRefusedMessage},
        {"no agent to ask", 127, "", "Error executing command as another user: No authentication agent found.",
         "Administrator authorization failed \u2014 Verseloom was not installed. pkexec said: Error executing command "
         "as another user: No authentication agent found."},
        {"pkexec without words", 127, "", "", kAuthenticatedInstallFailed},
        {"another failure mentioning cancel", 1, "", "cp: cannot stat /srv/cancelled/x: No such file",
         "cp: cannot stat /srv/cancelled/x: No such file"},
        {"a failure without words", 4, "", "", kAuthenticatedInstallFailed},
        {"copy fails", -1, "cp", "", "Could not copy Verseloom into "},
        {"modes fail", -1, "chmod", "", "Could not set the permissions of the installed files."},
        {"the swap fails", -1, "mv", "", "Could not put the new Verseloom in place."},
    };
    for (const auto& c : cases) {
        Sandbox box;
        const fs::path payload = box.makePayload();
        installOldVersion(box.target());
        fs::path pkexec;
        if (c.pkexecStatus >= 0) {
            pkexec = box.pkexecThatExits(c.pkexecStatus, c.stderrText);
        } else {
            // The broken tool fails only where it would touch the new tree.
            const fs::path bin = box.tools / "broken-bin";
            writeScript(bin / c.brokenTool,
                        "#!/bin/sh\ncase \"$*\" in *verseloom.new.*) exit 1;; esac\n"
                        "exec /bin/" + c.brokenTool + " \"$@\"\n");
            pkexec = box.tools / "pkexec-path";
            writeScript(pkexec, "#!/bin/sh\nPATH='" + bin.string() + "':\"$PATH\" exec \"$@\"\n");
        }
        const std::string error = failureOf([&] { privilegedInstall(pkexec, payload, box.destination); });
        if (c.brokenTool == "cp")
            EXPECT_EQ(error, c.message + box.destination.string() + ".") << c.what;
        else
            EXPECT_EQ(error, c.message) << c.what;
        EXPECT_TRUE(fs::exists(box.target() / "old-only.txt")) << c.what;
        EXPECT_EQ(test::readText(box.target() / "bin/verseloom"), "#!/bin/sh\necho old\n") << c.what;
        EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"}) << c.what << ": nothing left over";
    }
}

TEST(AppCopy, withoutPkexecTheFailureSaysHowToGetOn)
{
    Sandbox box;
    const fs::path payload = box.makePayload();
    const std::string error =
        failureOf([&] { privilegedInstall(box.root.path() / "no/pkexec", payload, box.destination); });
    EXPECT_EQ(error, "Installing into " + box.destination.string() +
                         " needs administrator rights, and pkexec could not be started (No such file or directory): "
                         "install the pkexec package (polkit) and try again, or run verseloom-installer "
                         "--destination with a folder you own.");
}

TEST(AppCopy, aDirectCopyClearsWhatAKilledInstallerLeftHalfCopied)
{
    Sandbox box;
    const fs::path payload = box.makePayload();
    const std::string leftover = ".verseloom.0F8FAD5B-D9CB-469F-A165-70867728950E.new";
    writeText(box.destination / leftover / "bin/verseloom", "half");
    // Not ours to remove: other names, and another program's staging folder.
    for (const std::string kept : {".verseloom.notes.new", ".other.0F8FAD5B-D9CB-469F-A165-70867728950E.new", "keep"})
        writeText(box.destination / kept, "x");
    directInstall(payload, box.destination);
    EXPECT_EQ(entriesOf(box.destination), (std::vector<std::string>{".other.0F8FAD5B-D9CB-469F-A165-70867728950E.new",
                                                                     ".verseloom.notes.new", "keep", "verseloom"}));
}

TEST(AppCopy, theScriptRefusesATargetThatIsNotItsLocationsVerseloom)
{
    Sandbox box;
    const fs::path payload = box.makePayload();
    const fs::path victim = box.root.path() / "victim";
    writeText(victim / "keep.txt", "x");
    const struct {
        std::string destination, target;
    } cases[] = {
        {box.destination.string(), victim.string()},
        {"relative", "relative/verseloom"},
        {"/", "//verseloom"},
    };
    for (const auto& c : cases) {
        ChildProcessOptions options;
        options.errorLimit = 4096;
        const auto result = runChildProcess(
            "/bin/sh", {"-c", kPrivilegedScript, "verseloom-install", c.destination, c.target, payload.string()}, {},
            options);
        EXPECT_EQ(result.exitStatus, 1) << c.target;
        EXPECT_FALSE(result.standardError.empty());
    }
    EXPECT_TRUE(fs::exists(victim / "keep.txt"));
    EXPECT_FALSE(fs::exists(victim / "bin"));
}

TEST(DesktopEntry, pointsTheMenuAtTheInstalledProgram)
{
    const struct {
        std::string argument, written;
    } cases[] = {
        {"/opt/verseloom/bin/verseloom", "\"/opt/verseloom/bin/verseloom\""},
        {"/my apps/v", "\"/my apps/v\""},
        {"/a\"b$c`d\\e", "\"/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e\""},
        {"/100%/v", "\"/100%%/v\""},
        {"/new\nline", "\"/new\\nline\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(desktopExecArgument(c.argument), c.written) << c.argument;

    Sandbox box;
    box.makePayload();
    directInstall(box.payloadFolder / "verseloom", box.destination);
    writeDesktopEntry(box.context.applicationsFolder, box.target());
    const std::string entry = test::readText(box.context.applicationsFolder / kDesktopEntryName);
    EXPECT_NE(entry.find("Exec=\"" + (box.target() / "bin/verseloom").string() + "\"\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("TryExec=" + (box.target() / "bin/verseloom").string() + "\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Icon=" + (box.target() / "share/icons/hicolor/scalable/apps/").string()), std::string::npos);
    EXPECT_NE(entry.find("Name=Verseloom\n"), std::string::npos);
}

} // namespace
} // namespace vl::installer
