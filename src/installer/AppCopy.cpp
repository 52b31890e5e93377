#include "installer/AppCopy.h"

#include "installer/InstallerError.h"
#include "media/transcription/ChildProcess.h"
#include "model/Files.h"
#include "model/Log.h"
#include "model/Text.h"

namespace vl::installer {

namespace fs = std::filesystem;

const char* const kPrivilegedScript = R"sh(
fail() { printf '%s\n' "$1" >&2; exit 1; }
dest=$1 target=$2 source=$3
case $dest in /*) ;; *) fail "The install location must be an absolute folder." ;; esac
[ "$dest" != / ] || fail "Verseloom cannot be installed into the root folder."
[ "$target" = "$dest/verseloom" ] || fail "The install target does not match its location."
[ -d "$source" ] || fail "The installer payload is missing its Verseloom application."
cd / || fail "The root folder cannot be entered."
mkdir -p -- "$dest" || fail "Could not create $dest."
stage=$(mktemp -d -- "$target.new.XXXXXX") || fail "Could not prepare a folder in $dest."
trap 'rm -rf -- "$stage"' EXIT
cp -RP -- "$source/." "$stage" || fail "Could not copy Verseloom into $dest."
if [ "$(id -u)" = 0 ]; then
  chown -R -h root:root -- "$stage" || fail "Could not give the installed files to root."
fi
chmod -R u+rwX,go+rX,go-w -- "$stage" || fail "Could not set the permissions of the installed files."
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

} // namespace

void directInstall(const fs::path& source, const fs::path& destination)
{
    const fs::path target = installTarget(destination);
    if (!fs::is_directory(source))
        throw InstallerError::step("The installer payload is missing its Verseloom application.");
    fs::create_directories(destination);

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
    ChildProcessOptions options;
    options.outputLimit = 0;
    options.errorLimit = 16 * 1024;
    const ChildProcessResult result = runChildProcess(pkexec, privilegedArguments(source, destination), stop, options);
    if (result.exitStatus == 0)
        return;
    std::string error = result.standardError;
    error = text::isValidUtf8(error) ? text::trimWhitespaceAndNewlines(error) : std::string();
    if (result.exitStatus == 126)
        throw InstallerError::step(kCancelledMessage);
    if (result.exitStatus == 127) {
        if (!error.empty())
            logLine("Installer", "pkexec refused: " + error);
        throw InstallerError::step(kRefusedMessage);
    }
    throw InstallerError::step(error.empty() ? std::string(kAuthenticatedInstallFailed) : error);
}

} // namespace vl::installer
