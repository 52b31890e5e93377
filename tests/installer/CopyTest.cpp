#include "InstallerTestSupport.h"

#include "installer/AppCopy.h"
#include "installer/InstallerContext.h"
#include "installer/DesktopEntry.h"
#include "installer/InstallerError.h"
#include "media/transcription/ChildProcess.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
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
    writeText(target / kInstallMarkerName, "Verseloom\n");
}

// What installs left before they were marked: the program and its desktop entry.
void makeUnmarkedInstall(const fs::path& target)
{
    writeScript(target / "bin/verseloom", "#!/bin/sh\necho old\n");
    writeText(target / "share/applications/pro.quillmarsh.verseloom.desktop", "[Desktop Entry]\n");
}

// A stand-in for pkexec that runs the command with the tools in `bin` first on its PATH.
fs::path pkexecWithToolsFrom(const fs::path& tools, const fs::path& bin)
{
    const fs::path pkexec = tools / "pkexec-path";
    writeScript(pkexec, "#!/bin/sh\nPATH='" + bin.string() + "':\"$PATH\" exec \"$@\"\n");
    return pkexec;
}

// A user's own folder that happens to have the install's name: a checkout, say.
void makeUsersFolder(const fs::path& folder)
{
    writeText(folder / ".git/HEAD", "ref: refs/heads/main\n");
    writeText(folder / "notes.txt", "uncommitted work");
    writeScript(folder / "bin/verseloom", "#!/bin/sh\n");
}

bool usersFolderIsIntact(const fs::path& folder)
{
    return fs::exists(folder / ".git/HEAD") && test::readText(folder / "notes.txt") == "uncommitted work";
}

// The two ways of copying, over one destination: as this user, and through a pkexec
// stand-in that runs the script as we are.
const struct {
    const char* name;
    std::function<void(Sandbox&, const fs::path& payload, const fs::path& destination,
                       const std::vector<fs::path>& ownFolders, const fs::path& legacy)>
        install;
} kCopies[] = {
    {"direct",
     [](Sandbox&, const fs::path& payload, const fs::path& destination, const std::vector<fs::path>& own,
        const fs::path& legacy) { directInstall(payload, destination, own, legacy); }},
    {"privileged",
     [](Sandbox& box, const fs::path& payload, const fs::path& destination, const std::vector<fs::path>& own,
        const fs::path& legacy) { privilegedInstall(box.pkexecThatRuns(), payload, destination, {}, own, legacy); }},
};

TEST(AppCopy, theTargetIsAFixedNameInAnAbsoluteNormalFolder)
{
    EXPECT_EQ(installTarget("/opt"), fs::path("/opt/verseloom"));
    EXPECT_EQ(installTarget("/home/ann/my apps"), fs::path("/home/ann/my apps/verseloom"));
    for (const char* refused : {"", "opt", "/", "//", "/opt/", "/opt/../etc", "/opt/./x", "/opt//x", "./opt"})
        EXPECT_THROW(installTarget(refused), InstallerError) << '"' << refused << '"';
}

TEST(InstallerContext, aDestinationArgumentMeansWhatTheUserTyped)
{
    const fs::path here = "/home/ann/code/verseloom", home = "/home/ann";
    const struct {
        std::string argument;
        std::string folder; // empty: refused
    } cases[] = {
        {"/srv/apps", "/srv/apps"},
        {"/srv/apps/", "/srv/apps"},
        {"..", "/home/ann/code"}, // from where ./dev install was typed, not where ./dev goes
        {"apps", "/home/ann/code/verseloom/apps"},
        {"./apps/../tools/", "/home/ann/code/verseloom/tools"},
        {"~", "/home/ann"},
        {"~/apps", "/home/ann/apps"},
        {"~/", "/home/ann"},
        {"", ""},
        {"~bob/apps", ""},
        {"~bob", ""},
        {"/", ""},
        {"../../../..", ""},
    };
    for (const auto& c : cases) {
        std::string folder, error;
        try {
            folder = destinationFromArgument(c.argument, here, home).string();
        } catch (const InstallerError& e) {
            error = e.what();
        }
        EXPECT_EQ(folder, c.folder) << '"' << c.argument << '"';
        EXPECT_EQ(error.empty(), !c.folder.empty()) << '"' << c.argument << "\": " << error;
    }
    EXPECT_THROW(destinationFromArgument("~/apps", here, ""), InstallerError) << "no HOME to expand";
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
    for (const auto& copy : kCopies) {
        Sandbox box;
        const fs::path payload = box.makePayload();
        ASSERT_EQ(::mkfifo((payload / "share/a-pipe").c_str(), 0644), 0); // not a file we can copy
        installOldVersion(box.target());
        const std::string error = failureOf([&] { copy.install(box, payload, box.destination, {}, {}); });
        EXPECT_TRUE(error.find("a-pipe") != std::string::npos ||
                    error == "The installer payload holds something other than files, folders and links; Verseloom "
                             "was not installed.")
            << copy.name << ": " << error;
        EXPECT_TRUE(fs::exists(box.target() / "old-only.txt")) << copy.name;
        EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"}) << copy.name;
    }
}

TEST(AppCopy, replacesOnlyWhatAnEarlierInstallLeft)
{
    const auto notOurs = [](const fs::path& target) {
        return target.string() + " is not a Verseloom installation, so the installer leaves it alone. Move it "
                                 "elsewhere or choose another folder.";
    };
    const struct {
        const char* what;
        std::function<void(const fs::path& target)> arrange;
        bool atLegacyPlace; // the destination is where unmarked installs used to go
        bool replaced;
    } cases[] = {
        {"nothing there yet", [](const fs::path&) {}, false, true},
        {"an earlier install", installOldVersion, false, true},
        {"a user's folder of that name", makeUsersFolder, false, false},
        {"a user's folder, even where installs used to go", makeUsersFolder, true, false},
        {"a file of that name", [](const fs::path& t) { writeText(t, "mine"); }, false, false},
        {"a link to an earlier install",
         [](const fs::path& t) {
             installOldVersion(t.parent_path() / "elsewhere");
             fs::create_directory_symlink(t.parent_path() / "elsewhere", t);
         },
         false, false},
        {"a marker that is a link",
         [](const fs::path& t) {
             makeUsersFolder(t);
             writeText(t.parent_path() / "marker", "x");
             fs::create_symlink(t.parent_path() / "marker", t / kInstallMarkerName);
         },
         false, false},
        {"an unmarked install where installs used to go",
         makeUnmarkedInstall,
         true, true},
        {"the same layout anywhere else",
         makeUnmarkedInstall,
         false, false},
        {"that layout with more beside it",
         [](const fs::path& t) {
             makeUnmarkedInstall(t);
             writeText(t / "thesis.tex", "mine");
         },
         true, false},
    };
    for (const auto& copy : kCopies) {
        for (const auto& c : cases) {
            Sandbox box;
            const fs::path payload = box.makePayload();
            c.arrange(box.target());
            const auto before = fs::exists(fs::symlink_status(box.target())) ? entriesOf(box.destination)
                                                                              : std::vector<std::string>{};
            const fs::path legacy = c.atLegacyPlace ? box.destination : fs::path(kDefaultDestination);
            const std::string error =
                failureOf([&] { copy.install(box, payload, box.destination, {}, legacy); });
            const std::string what = std::string(copy.name) + ", " + c.what;
            if (c.replaced) {
                EXPECT_EQ(error, "") << what;
                EXPECT_TRUE(isInstallation(box.target())) << what << ": the new tree carries the marker";
                EXPECT_EQ(test::readText(box.target() / "bin/verseloom"), "#!/bin/sh\necho verseloom\n") << what;
            } else {
                EXPECT_EQ(error, notOurs(box.target())) << what;
                EXPECT_EQ(entriesOf(box.destination), before) << what << ": nothing was added or moved";
                if (fs::exists(box.target() / "notes.txt")) {
                    EXPECT_TRUE(usersFolderIsIntact(box.target())) << what;
                }
            }
        }
    }
}

TEST(AppCopy, neverInstallsOverTheInstallersOwnFiles)
{
    // `./dev install --destination ..` from a checkout named verseloom: the target is the
    // checkout, which holds the payload and the installer.
    for (const auto& copy : kCopies) {
        Sandbox box;
        box.makePayload();
        const fs::path checkout = box.destination / "verseloom";
        makeUsersFolder(checkout);
        writeText(checkout / kInstallMarkerName, "Verseloom\n"); // even one that looks installed
        const fs::path payload = checkout / "build/payload/verseloom";
        fs::create_directories(payload.parent_path());
        fs::rename(box.payloadFolder / "verseloom", payload);
        const std::vector<fs::path> own = {payload.parent_path(), checkout / "build/installer", checkout};
        const std::string error = failureOf([&] { copy.install(box, payload, box.destination, own, {}); });
        EXPECT_EQ(error, "Verseloom cannot be installed into " + checkout.string() +
                             ": that folder holds the installer's own files. Choose another folder.")
            << copy.name;
        EXPECT_TRUE(usersFolderIsIntact(checkout)) << copy.name;
        EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"}) << copy.name;

        // Nor into the payload itself, whatever the caller passed as its own.
        const fs::path inside = payload / "share/applications";
        EXPECT_EQ(failureOf([&] { copy.install(box, payload, inside, {}, {}); }),
                  "Verseloom cannot be installed into " + (inside / "verseloom").string() +
                      ": that folder lies inside the installer's own files. Choose another folder.")
            << copy.name;
        EXPECT_FALSE(fs::exists(inside / "verseloom")) << copy.name;
    }
}

TEST(AppCopy, clearsOnlyItsOwnLeftoversAndNoneWhileAnotherInstallerWorks)
{
    const std::string uuid = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    const std::vector<std::string> ours = {".verseloom." + uuid + ".new", ".verseloom." + uuid + ".old",
                                           "verseloom.new.Ab3xYz", "verseloom.old.Q1w2E3"};
    // Not ours to remove: other names, another program's staging folder, a link and a file
    // under our names.
    const std::vector<std::string> kept = {".other." + uuid + ".new", ".verseloom.notes.new", "keep",
                                           "verseloom.new.toolong1", ".verseloom." + uuid + ".tmp"};
    const std::string link = "verseloom.old.Link12", file = "verseloom.new.File12";
    for (const auto& copy : kCopies) {
        Sandbox box;
        const fs::path payload = box.makePayload();
        installOldVersion(box.target());
        for (const auto& name : ours)
            writeText(box.destination / name / "bin/verseloom", "half");
        for (const auto& name : kept)
            writeText(box.destination / name / "x", "x");
        fs::create_directory_symlink(box.destination / "keep", box.destination / link);
        writeText(box.destination / file, "x");
        std::vector<std::string> expected = kept;
        expected.insert(expected.end(), {"verseloom", link, file});
        std::sort(expected.begin(), expected.end());

        // While another installer holds the folder, its staging folders are its own.
        {
            const int held = ::open(box.destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ASSERT_GE(held, 0);
            ASSERT_EQ(::flock(held, LOCK_EX), 0);
            EXPECT_EQ(failureOf([&] { copy.install(box, payload, box.destination, {}, {}); }),
                      "Another installer is installing into " + box.destination.string() +
                          " right now. Try again once it has finished.")
                << copy.name;
            ::close(held);
            EXPECT_EQ(entriesOf(box.destination).size(), expected.size() + ours.size()) << copy.name;
            EXPECT_EQ(test::readText(box.target() / "bin/verseloom"), "#!/bin/sh\necho old\n") << copy.name;
        }
        ASSERT_EQ(failureOf([&] { copy.install(box, payload, box.destination, {}, {}); }), "") << copy.name;
        EXPECT_EQ(entriesOf(box.destination), expected) << copy.name;
        EXPECT_TRUE(fs::exists(box.destination / "keep/x")) << copy.name << ": the link was not followed";
    }

    if (::geteuid() != 0)
        return;
    // A staging name in someone else's hands is theirs.
    for (const auto& copy : kCopies) {
        Sandbox box;
        const fs::path payload = box.makePayload();
        for (const auto& name : ours) {
            writeText(box.destination / name / "x", "x");
            ASSERT_EQ(::chown((box.destination / name).c_str(), 4321, 4321), 0);
        }
        ASSERT_EQ(failureOf([&] { copy.install(box, payload, box.destination, {}, {}); }), "") << copy.name;
        EXPECT_EQ(entriesOf(box.destination).size(), ours.size() + 1) << copy.name;
    }
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
        {"copy fails", -1, "tar", "", "Could not copy Verseloom into "},
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
            pkexec = pkexecWithToolsFrom(box.tools, bin);
        }
        const std::string error = failureOf([&] { privilegedInstall(pkexec, payload, box.destination); });
        if (c.brokenTool == "tar")
            EXPECT_EQ(error, c.message + box.destination.string() + ".") << c.what;
        else
            EXPECT_EQ(error, c.message) << c.what;
        EXPECT_TRUE(fs::exists(box.target() / "old-only.txt")) << c.what;
        EXPECT_EQ(test::readText(box.target() / "bin/verseloom"), "#!/bin/sh\necho old\n") << c.what;
        EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"}) << c.what << ": nothing left over";
    }
}

TEST(AppCopy, whenNeitherTreeCanBePutInPlaceTheOldOneIsKept)
{
    // Every "mv -T" fails: the new tree cannot go in, nor the old one back.
    Sandbox box;
    const fs::path payload = box.makePayload();
    installOldVersion(box.target());
    const fs::path bin = box.tools / "broken-bin";
    writeScript(bin / "mv", "#!/bin/sh\ncase \"$*\" in *-T*) exit 1;; esac\nexec /bin/mv \"$@\"\n");
    const fs::path pkexec = pkexecWithToolsFrom(box.tools, bin);

    const std::string error = failureOf([&] { privilegedInstall(pkexec, payload, box.destination); });
    const auto entries = entriesOf(box.destination);
    ASSERT_EQ(entries.size(), 1u);
    ASSERT_TRUE(entries[0].starts_with("verseloom.old.")) << entries[0];
    const fs::path kept = box.destination / entries[0] / "verseloom";
    EXPECT_EQ(error, "Could not put the new Verseloom in place, nor the old one back: it is kept in " + kept.string() +
                         ".");
    EXPECT_EQ(test::readText(kept / "old-only.txt"), "old");
    EXPECT_EQ(test::readText(kept / "bin/verseloom"), "#!/bin/sh\necho old\n");

    // The next install that succeeds clears it away.
    ASSERT_EQ(failureOf([&] { privilegedInstall(box.pkexecThatRuns(), payload, box.destination); }), "");
    EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"});
}

TEST(AppCopy, thePrivilegedCopyMakesNothingWritableByOthersWhateverTheUmask)
{
    Sandbox box;
    const fs::path payload = box.makePayload();
    const fs::path pkexec = box.tools / "pkexec-umask";
    writeScript(pkexec, "#!/bin/sh\numask 000\nexec \"$@\"\n"); // pkexec hands the caller's umask on
    const fs::path destination = box.destination / "new/apps";
    ASSERT_EQ(failureOf([&] { privilegedInstall(pkexec, payload, destination); }), "");
    EXPECT_EQ(modeOf(box.destination / "new"), 0755);
    EXPECT_EQ(modeOf(destination), 0755);
    EXPECT_EQ(modeOf(destination / "verseloom"), 0755);
    EXPECT_EQ(modeOf(destination / "verseloom" / kInstallMarkerName), 0644);
}

TEST(AppCopy, rootCopiesOnlyWhatTheAskingUserCouldRead)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only root can read as another user";
    const uid_t user = 4321;
    const struct {
        const char* what;
        std::function<void(const fs::path& payload, const fs::path& secrets)> arrange;
    } cases[] = {
        // What a folder swapped in mid-copy hands the reader: another user's private files.
        {"a folder of another user's in the payload",
         [](const fs::path& payload, const fs::path& secrets) { fs::rename(secrets, payload / "share/swapped"); }},
        {"a link to them", [](const fs::path& payload, const fs::path& secrets) {
             fs::create_directory_symlink(secrets, payload / "share/swapped");
         }},
    };
    for (const auto& c : cases) {
        Sandbox box;
        const fs::path payload = box.makePayload();
        installOldVersion(box.target());
        const fs::path secrets = box.root.path() / "secrets";
        writeText(secrets / "key.pem", "private");
        fs::permissions(secrets, fs::perms::owner_all);
        fs::permissions(secrets / "key.pem", fs::perms::owner_read | fs::perms::owner_write);
        ASSERT_EQ(::chown(secrets.c_str(), 4322, 4322), 0);
        ASSERT_EQ(::chown((secrets / "key.pem").c_str(), 4322, 4322), 0);
        // The user's own payload, readable by them.
        for (const auto& entry : fs::recursive_directory_iterator(payload))
            ASSERT_EQ(::lchown(entry.path().c_str(), user, user), 0);
        ASSERT_EQ(::chown(payload.c_str(), user, user), 0);
        c.arrange(payload, secrets);
        const fs::path pkexec = box.tools / "pkexec-as-user";
        writeScript(pkexec, "#!/bin/sh\nPKEXEC_UID=" + std::to_string(user) + " exec \"$@\"\n");

        const std::string error = failureOf([&] { privilegedInstall(pkexec, payload, box.destination); });
        for (const auto& entry : fs::recursive_directory_iterator(box.destination))
            EXPECT_NE(entry.path().filename(), "key.pem") << c.what << ": " << entry.path();
        if (!error.empty()) {
            EXPECT_EQ(error, "Could not copy Verseloom into " + box.destination.string() +
                                 " (./share/swapped: Cannot open: Permission denied).")
                << c.what;
            EXPECT_EQ(test::readText(box.target() / "bin/verseloom"), "#!/bin/sh\necho old\n") << c.what;
        } else {
            EXPECT_TRUE(fs::is_symlink(box.target() / "share/swapped")) << c.what << ": a link is copied as a link";
        }
        struct stat info{};
        ASSERT_EQ(::lstat((box.target() / "bin/verseloom").c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, 0u) << c.what << ": what is installed is root's";
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
    // Asked to run directly, as root would be, past the checks the installer makes first.
    makeUsersFolder(box.target());
    const struct {
        std::string destination, target, legacy;
    } cases[] = {
        {box.destination.string(), victim.string(), ""},
        {"relative", "relative/verseloom", ""},
        {"/", "//verseloom", ""},
        {box.destination.string(), box.target().string(), ""},
        {box.destination.string(), box.target().string(), box.destination.string()},
        {(payload / "share/applications").string(), (payload / "share/applications/verseloom").string(), ""},
        {payload.parent_path().string(), payload.string(), ""},
    };
    for (const auto& c : cases) {
        ChildProcessOptions options;
        options.errorLimit = 4096;
        const auto result = runChildProcess("/bin/sh",
                                            {"-c", kPrivilegedScript, "verseloom-install", c.destination, c.target,
                                             payload.string(), c.legacy},
                                            {}, options);
        EXPECT_EQ(result.exitStatus, 1) << c.target;
        EXPECT_FALSE(result.standardError.empty());
    }
    EXPECT_TRUE(fs::exists(victim / "keep.txt"));
    EXPECT_FALSE(fs::exists(victim / "bin"));
    EXPECT_TRUE(usersFolderIsIntact(box.target()));
    EXPECT_FALSE(fs::exists(payload / "share/applications/verseloom"));
    EXPECT_EQ(entriesOf(box.destination), std::vector<std::string>{"verseloom"});
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
