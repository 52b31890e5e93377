#include "installer/AppCopy.h"

#include "installer/InstallerError.h"
#include "media/transcription/ChildProcess.h"
#include "model/Files.h"
#include "model/Text.h"
#include "model/Uuid.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vl::installer {

namespace fs = std::filesystem;

const char* const kPrivilegedScript = R"sh(
fail() { printf '%s\n' "$1" >&2; exit 1; }
# pkexec hands on the caller's umask; what root makes here is never writable by others.
umask 022
dest=$1 target=$2 source=$3 legacy=$4
case $dest in /*) ;; *) fail "The install location must be an absolute folder." ;; esac
[ "$dest" != / ] || fail "Verseloom cannot be installed into the root folder."
[ "$target" = "$dest/verseloom" ] || fail "The install target does not match its location."
case $source in /*) ;; *) fail "The installer payload must be an absolute folder." ;; esac
[ -d "$source" ] || fail "The installer payload is missing its Verseloom application."
# The payload was resolved before the password was asked for. A link on its way now means
# it was changed while the prompt was up: refuse it rather than copy whatever it points at.
# Once entered, the copy reads from this folder whatever happens to its name meanwhile.
{ [ ! -L "$source" ] && cd -P -- "$source" && [ "$(pwd -P)" = "$source" ]; } 2>/dev/null ||
  fail "The installer payload changed while waiting for authorization; Verseloom was not installed."
marker=.verseloom-installation
self=$(id -u)
# The user who asked: the payload is read with their rights, and what their own direct
# copies left behind may be cleared.
user=${PKEXEC_UID:-$self}
mkdir -p -- "$dest" || fail "Could not create $dest."
# One installer at a time in a folder, so a staging folder found here is no one's work.
exec 9<"$dest" || fail "Could not open $dest."
flock -n 9 || fail "Another installer is installing into $dest right now. Try again once it has finished."
real=$(cd -P -- "$dest" && pwd -P) || fail "Could not open $dest."
case $source/ in "$real/verseloom"/*) fail "Verseloom cannot be installed into $target: that folder holds the installer's own files." ;; esac
case $real/verseloom/ in "$source"/*) fail "Verseloom cannot be installed into $target: that folder lies inside the installer's own files." ;; esac

# A tree an earlier install left: it carries the marker, or it sits where installs went
# before the marker and holds the program's own layout and nothing else.
is_install() {
  { [ -d "$1" ] && [ ! -L "$1" ]; } || return 1
  { [ -f "$1/$marker" ] && [ ! -L "$1/$marker" ]; } && return 0
  { [ -n "$legacy" ] && [ "$1" = "$legacy/verseloom" ]; } || return 1
  { [ -f "$1/bin/verseloom" ] && [ -f "$1/share/applications/pro.quillmarsh.verseloom.desktop" ]; } || return 1
  for entry in "$1"/* "$1"/.[!.]* "$1"/..?*; do
    { [ -e "$entry" ] || [ -L "$entry" ]; } || continue
    case ${entry##*/} in bin|share) ;; *) return 1 ;; esac
  done
}
if [ -e "$target" ] || [ -L "$target" ]; then
  is_install "$target" ||
    fail "$target is not a Verseloom installation, so the installer leaves it alone. Move it elsewhere or choose another folder."
fi

# Staging folders ($1: new or old) of earlier runs that were stopped, ours by name, kind
# and owner: this script's own are root's, a direct copy's are the user's.
clear_leftovers() {
  for left in "$target.$1".?????? "$dest"/.verseloom.????????-????-????-????-????????????."$1"; do
    { [ -d "$left" ] && [ ! -L "$left" ]; } || continue
    owner=$(stat -c %u -- "$left") || continue
    case ${left##*/} in
      verseloom."$1".*) [ "$owner" = "$self" ] || continue ;;
      *) { [ "$owner" = "$user" ] || [ "$owner" = "$self" ]; } || continue ;;
    esac
    rm -rf -- "$left"
  done
}
clear_leftovers new

work=$(mktemp -d -- "$target.new.XXXXXX") || fail "Could not prepare a folder in $dest."
trap 'rm -rf -- "$work"' EXIT
# Staged inside a folder only root may enter, so nothing is reachable before it is settled.
stage=$work/verseloom
mkdir -- "$stage" || fail "Could not prepare a folder in $dest."
# Read with the rights of the user who asked, so root copies only what that user could
# read, whatever is swapped in under the payload meanwhile. Links stay links.
if [ "$self" = 0 ] && [ "$user" != 0 ]; then
  group=$(id -g -- "$user" 2>/dev/null) || group=$user
  as_user() { setpriv --reuid="$user" --regid="$group" --clear-groups -- "$@"; }
else
  as_user() { "$@"; }
fi
copy_failed() {
  reason=$(head -n 1 -- "$work/errors" 2>/dev/null)
  reason=${reason#tar: }
  [ -z "$reason" ] || fail "Could not copy Verseloom into $dest ($reason)."
  fail "Could not copy Verseloom into $dest."
}
{ as_user tar -cf - . 2>>"$work/errors" || : >"$work/unread"; } |
  tar -xpf - -C "$stage" --no-same-owner 2>>"$work/errors" || copy_failed
[ ! -e "$work/unread" ] || copy_failed
odd=$(find "$stage" ! -type f ! -type d ! -type l -print -quit) && [ -z "$odd" ] ||
  fail "The installer payload holds something other than files, folders and links; Verseloom was not installed."
if [ "$self" = 0 ]; then
  chown -R -h root:root -- "$stage" || fail "Could not give the installed files to root."
fi
# Modes stay as they are, only narrowed: no one but the owner writes, nothing runs as its owner.
chmod -R ug-s,go-w -- "$stage" || fail "Could not set the permissions of the installed files."
rm -rf -- "$stage/$marker" && (set -C && printf 'Verseloom\n' >"$stage/$marker") ||
  fail "Could not mark the installed files as Verseloom's."

if [ -e "$target" ] || [ -L "$target" ]; then
  old=$(mktemp -d -- "$target.old.XXXXXX") || fail "Could not prepare a folder in $dest."
  if ! mv -- "$target" "$old/"; then
    rmdir -- "$old"
    fail "Could not move the installed Verseloom aside."
  fi
  if ! mv -T -- "$stage" "$target"; then
    # The old tree is all the user has left: it stays, put back or where it was moved.
    mv -T -- "$old/verseloom" "$target" ||
      fail "Could not put the new Verseloom in place, nor the old one back: it is kept in $old/verseloom."
    rmdir -- "$old"
    fail "Could not put the new Verseloom in place."
  fi
else
  mv -T -- "$stage" "$target" || fail "Could not put the new Verseloom in place."
fi
clear_leftovers old
exit 0
)sh";

fs::path installTarget(const fs::path& destination)
{
    const std::string text = destination.string();
    const bool normal = destination.is_absolute() && destination.lexically_normal() == destination &&
                        text.find("//") == std::string::npos && !text.ends_with('/');
    if (!normal || destination == destination.root_path())
        throw InstallerError::step("Verseloom cannot be installed into \u201c" + text +
                                   "\u201d: the location must be an absolute folder other than /.");
    return destination / kAppFolderName;
}

namespace {

bool isRealFolder(const fs::path& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

bool isRealFile(const fs::path& path)
{
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::regular;
}

// The layout an install had before it carried the marker: the program, its menu entry and
// nothing but the two folders they live in.
bool holdsOnlyTheProgramsLayout(const fs::path& folder)
{
    if (!isRealFile(folder / "bin" / kAppFolderName) ||
        !isRealFile(folder / "share/applications/pro.quillmarsh.verseloom.desktop"))
        return false;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name != "bin" && name != "share")
            return false;
    }
    return !error;
}

// Whether `inner` is `outer` or lies somewhere inside it, both already resolved.
bool isWithin(const fs::path& inner, const fs::path& outer)
{
    auto a = inner.begin();
    for (auto b = outer.begin(); b != outer.end(); ++b, ++a) {
        if (b->empty() && std::next(b) == outer.end())
            break; // a trailing separator
        if (a == inner.end() || *a != *b)
            return false;
    }
    return true;
}

fs::path resolvedOrAsIs(const fs::path& path)
{
    std::error_code error;
    fs::path resolved = fs::weakly_canonical(path, error);
    return error ? path : resolved;
}

void removeQuietly(const fs::path& path)
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

// Holds the destination folder for one installer at a time (the privileged script takes
// the same lock), so a staging folder found there while holding it is no one's work.
class DestinationLock {
public:
    explicit DestinationLock(const fs::path& destination)
        : fd_(::open(destination.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (fd_ < 0)
            throw fs::filesystem_error("cannot open the install location", destination,
                                       std::error_code(errno, std::generic_category()));
        if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
            const int reason = errno;
            ::close(fd_);
            if (reason == EWOULDBLOCK)
                throw InstallerError::step("Another installer is installing into " + destination.string() +
                                           " right now. Try again once it has finished.");
            throw fs::filesystem_error("cannot lock the install location", destination,
                                       std::error_code(reason, std::generic_category()));
        }
    }
    ~DestinationLock() { ::close(fd_); }
    DestinationLock(const DestinationLock&) = delete;
    DestinationLock& operator=(const DestinationLock&) = delete;

private:
    int fd_;
};

// ".verseloom.<uuid>.<kind>", the staging folders of a direct copy (files::temporarySibling),
// and "verseloom.<kind>.XXXXXX", those of the privileged script (mktemp).
bool isStageName(const std::string& name, std::string_view kind)
{
    const std::string hidden = std::string(".") + kAppFolderName + ".";
    const std::string suffix = "." + std::string(kind);
    if (name.starts_with(hidden) && name.ends_with(suffix) && name.size() == hidden.size() + 36 + suffix.size())
        return Uuid::parse(std::string_view(name).substr(hidden.size(), 36)).has_value();
    const std::string scripted = std::string(kAppFolderName) + suffix + ".";
    if (!name.starts_with(scripted) || name.size() != scripted.size() + 6)
        return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(scripted.size()), name.end(),
                       [](unsigned char c) { return std::isalnum(c) != 0; });
}

// What a killed installer of this user left beside the target: folders with a staging
// name that belong to us. Anything else there, whatever its name, is not touched.
void removeLeftoverStages(const fs::path& destination, std::string_view kind)
{
    std::error_code error;
    for (fs::directory_iterator it(destination, error), end; !error && it != end; it.increment(error)) {
        struct stat info{};
        if (!isStageName(it->path().filename().string(), kind) || ::lstat(it->path().c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
            continue;
        removeQuietly(it->path());
    }
}

// The payload's tree copied into `stage`, links as links; a failure names the entry it
// stopped at, so the user learns which file could not be read or written.
void copyTree(const fs::path& source, const fs::path& stage)
{
    fs::create_directory(stage, source);
    fs::recursive_directory_iterator it(source), end;
    for (; it != end; ++it) {
        const fs::path to = stage / it->path().lexically_relative(source);
        const fs::file_status status = it->symlink_status();
        if (fs::is_symlink(status))
            fs::copy_symlink(it->path(), to);
        else if (fs::is_directory(status))
            fs::create_directory(to, it->path());
        else if (fs::is_regular_file(status))
            fs::copy_file(it->path(), to);
        else
            throw fs::filesystem_error("not a file, folder or link", it->path(),
                                       std::make_error_code(std::errc::not_supported));
    }
}

void writeMarker(const fs::path& tree)
{
    const fs::path marker = tree / kInstallMarkerName;
    fs::remove_all(marker); // a payload entry of that name is never taken for ours
    files::writeAtomically(marker, "Verseloom\n");
}

// pkexec's own words, when they are text we can show.
std::string errorText(const std::string& bytes)
{
    return text::isValidUtf8(bytes) ? text::trimWhitespaceAndNewlines(bytes) : std::string();
}

} // namespace

bool isInstallation(const fs::path& folder, const fs::path& legacyDestination)
{
    if (!isRealFolder(folder))
        return false;
    if (isRealFile(folder / kInstallMarkerName))
        return true;
    return !legacyDestination.empty() && folder == legacyDestination / kAppFolderName &&
           holdsOnlyTheProgramsLayout(folder);
}

void checkInstallTarget(const fs::path& source, const fs::path& destination, const std::vector<fs::path>& ownFolders,
                        const fs::path& legacyDestination)
{
    const fs::path target = installTarget(destination);
    const fs::path resolvedTarget = resolvedOrAsIs(target);
    for (const fs::path& own : ownFolders) {
        if (!own.empty() && isWithin(resolvedOrAsIs(own), resolvedTarget))
            throw InstallerError::step("Verseloom cannot be installed into " + target.string() +
                                       ": that folder holds the installer's own files. Choose another folder.");
    }
    if (!source.empty() && isWithin(resolvedTarget, resolvedOrAsIs(source)))
        throw InstallerError::step("Verseloom cannot be installed into " + target.string() +
                                   ": that folder lies inside the installer's own files. Choose another folder.");
    std::error_code error;
    if (fs::exists(fs::symlink_status(target, error)) && !isInstallation(target, legacyDestination))
        throw InstallerError::step(target.string() +
                                   " is not a Verseloom installation, so the installer leaves it alone. Move it "
                                   "elsewhere or choose another folder.");
}

std::string administratorRightsUnavailable(const std::string& situation)
{
    return situation + ": install the pkexec package (polkit) and try again, or run verseloom-installer "
                       "--destination with a folder you own.";
}

void directInstall(const fs::path& source, const fs::path& destination, const std::vector<fs::path>& ownFolders,
                   const fs::path& legacyDestination)
{
    const fs::path target = installTarget(destination);
    if (!fs::is_directory(source))
        throw InstallerError::step("The installer payload is missing its Verseloom application.");
    fs::create_directories(destination);
    const DestinationLock lock(destination);
    checkInstallTarget(source, destination, ownFolders, legacyDestination);
    removeLeftoverStages(destination, "new");

    const fs::path stage = files::temporarySibling(target, ".new");
    try {
        copyTree(source, stage);
        writeMarker(stage);
    } catch (...) {
        removeQuietly(stage);
        throw;
    }

    if (!fs::exists(fs::symlink_status(target))) {
        try {
            fs::rename(stage, target);
        } catch (...) {
            removeQuietly(stage);
            throw;
        }
        removeLeftoverStages(destination, "old");
        return;
    }
    const fs::path old = files::temporarySibling(target, ".old");
    try {
        fs::rename(target, old);
    } catch (...) {
        removeQuietly(stage);
        throw;
    }
    try {
        fs::rename(stage, target);
    } catch (const std::exception& e) {
        removeQuietly(stage);
        std::error_code restore;
        fs::rename(old, target, restore);
        if (restore)
            // The old tree is all the user has left: it stays where it was moved.
            throw InstallerError::step("Could not put the new Verseloom in place (" + std::string(e.what()) +
                                       "), nor the old one back: it is kept in " + old.string() + ".");
        throw;
    }
    removeLeftoverStages(destination, "old");
}

std::vector<std::string> privilegedArguments(const fs::path& source, const fs::path& destination,
                                             const fs::path& legacyDestination)
{
    const fs::path target = installTarget(destination);
    return {"/bin/sh",      "-c",           kPrivilegedScript, "verseloom-install", destination.string(),
            target.string(), source.string(), legacyDestination.string()};
}

void privilegedInstall(const fs::path& pkexec, const fs::path& source, const fs::path& destination,
                       std::stop_token stop, const std::vector<fs::path>& ownFolders,
                       const fs::path& legacyDestination)
{
    // Resolved now, before the password is asked for; the script refuses the source if it
    // is anything else by the time it runs.
    std::error_code error;
    const fs::path resolved = fs::canonical(source, error);
    if (error || !fs::is_directory(resolved))
        throw InstallerError::step("The installer payload is missing its Verseloom application.");
    // No password is asked for an install that would be refused anyway; the script checks
    // the target again as root.
    checkInstallTarget(resolved, destination, ownFolders, legacyDestination);

    ChildProcessOptions options;
    options.outputLimit = 0;
    options.errorLimit = 16 * 1024;
    ChildProcessResult result;
    try {
        result = runChildProcess(pkexec, privilegedArguments(resolved, destination, legacyDestination), stop, options);
    } catch (const std::system_error& e) {
        throw InstallerError::step(administratorRightsUnavailable(
            "Installing into " + destination.string() + " needs administrator rights, and pkexec could not be started (" +
            e.code().message() + ")"));
    }
    if (result.exitStatus == 0)
        return;
    const std::string said = errorText(result.standardError);
    if (result.exitStatus == 126)
        throw InstallerError::step(kCancelledMessage);
    if (result.exitStatus == 127) {
        // pkexec ends with 127 for every error of its own; only polkit's "Not authorized"
        // is the user's refusal. Anything else ("No authentication agent found", …) is
        // shown as pkexec put it.
        if (text::asciiLower(said).find("not authorized") != std::string::npos)
            throw InstallerError::step(kRefusedMessage);
        if (said.empty())
            throw InstallerError::step(kAuthenticatedInstallFailed);
        throw InstallerError::step("Administrator authorization failed \u2014 Verseloom was not installed. pkexec said: " +
                                   said);
    }
    throw InstallerError::step(said.empty() ? std::string(kAuthenticatedInstallFailed) : said);
}

} // namespace vl::installer
