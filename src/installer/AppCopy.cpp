#include "installer/AppCopy.h"

#include "installer/InstallerError.h"
#include "media/transcription/ChildProcess.h"
#include "model/Files.h"
#include "model/Text.h"
#include "model/Uuid.h"

#include <system_error>

namespace vl::installer {

namespace fs = std::filesystem;

const char* const kPrivilegedScript = R"sh(
fail() { printf '%s\n' "$1" >&2; exit 1; }
dest=$1 target=$2 source=$3
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
mkdir -p -- "$dest" || fail "Could not create $dest."
work=$(mktemp -d -- "$target.new.XXXXXX") || fail "Could not prepare a folder in $dest."
trap 'rm -rf -- "$work"' EXIT
# Staged inside a folder only root may enter, so nothing is reachable before it is settled.
stage=$work/verseloom
cp -RP --preserve=mode -- . "$stage" || fail "Could not copy Verseloom into $dest."
if [ "$(id -u)" = 0 ]; then
  chown -R -h root:root -- "$stage" || fail "Could not give the installed files to root."
fi
# Modes stay as they are, only narrowed: no one but the owner writes, nothing runs as its owner.
chmod -R ug-s,go-w -- "$stage" || fail "Could not set the permissions of the installed files."
if [ -e "$target" ] || [ -L "$target" ]; then
  old=$(mktemp -d -- "$target.old.XXXXXX") || fail "Could not prepare a folder in $dest."
  if ! mv -- "$target" "$old/"; then
    rmdir -- "$old"
    fail "Could not move the installed Verseloom aside."
  fi
  if ! mv -T -- "$stage" "$target"; then
    mv -T -- "$old/verseloom" "$target"
    rm -rf -- "$old"
    fail "Could not put the new Verseloom in place."
  fi
  rm -rf -- "$old"
else
  mv -T -- "$stage" "$target" || fail "Could not put the new Verseloom in place."
fi
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

void removeQuietly(const fs::path& path)
{
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

// ".verseloom.<uuid>.new", the staging folder of a direct copy (files::temporarySibling).
bool isDirectCopyStage(const std::string& name)
{
    const std::string prefix = std::string(".") + kAppFolderName + ".";
    const std::string suffix = ".new";
    if (!name.starts_with(prefix) || !name.ends_with(suffix) || name.size() != prefix.size() + 36 + suffix.size())
        return false;
    return Uuid::parse(std::string_view(name).substr(prefix.size(), 36)).has_value();
}

// What a killed installer left half-copied beside the target.
void removeLeftoverStages(const fs::path& destination)
{
    std::error_code error;
    for (fs::directory_iterator it(destination, error), end; !error && it != end; it.increment(error)) {
        if (isDirectCopyStage(it->path().filename().string()))
            removeQuietly(it->path());
    }
}

// pkexec's own words, when they are text we can show.
std::string errorText(const std::string& bytes)
{
    return text::isValidUtf8(bytes) ? text::trimWhitespaceAndNewlines(bytes) : std::string();
}

} // namespace

std::string administratorRightsUnavailable(const std::string& situation)
{
    return situation + ": install the pkexec package (polkit) and try again, or run verseloom-installer "
                       "--destination with a folder you own.";
}

void directInstall(const fs::path& source, const fs::path& destination)
{
    const fs::path target = installTarget(destination);
    if (!fs::is_directory(source))
        throw InstallerError::step("The installer payload is missing its Verseloom application.");
    fs::create_directories(destination);
    removeLeftoverStages(destination);

    const fs::path stage = files::temporarySibling(target, ".new");
    try {
        fs::create_directory(stage);
        fs::copy(source, stage, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
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
    } catch (...) {
        std::error_code restore;
        fs::rename(old, target, restore);
        removeQuietly(stage);
        throw;
    }
    removeQuietly(old);
}

std::vector<std::string> privilegedArguments(const fs::path& source, const fs::path& destination)
{
    const fs::path target = installTarget(destination);
    return {"/bin/sh", "-c", kPrivilegedScript, "verseloom-install", destination.string(), target.string(),
            source.string()};
}

void privilegedInstall(const fs::path& pkexec, const fs::path& source, const fs::path& destination,
                       std::stop_token stop)
{
    // Resolved now, before the password is asked for; the script refuses the source if it
    // is anything else by the time it runs.
    std::error_code error;
    const fs::path resolved = fs::canonical(source, error);
    if (error || !fs::is_directory(resolved))
        throw InstallerError::step("The installer payload is missing its Verseloom application.");

    ChildProcessOptions options;
    options.outputLimit = 0;
    options.errorLimit = 16 * 1024;
    ChildProcessResult result;
    try {
        result = runChildProcess(pkexec, privilegedArguments(resolved, destination), stop, options);
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
