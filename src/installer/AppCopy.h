#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace vl::installer {

// The installed tree's fixed name inside the destination folder.
inline constexpr const char* kAppFolderName = "verseloom";

// A small file at the top of every tree the installer puts in place. A later install
// replaces a folder only when it finds this in it: nothing else under that name is ours.
inline constexpr const char* kInstallMarkerName = ".verseloom-installation";

// Where the installer puts Verseloom unless told otherwise. Installs made there before
// the marker existed are recognised by the program's own layout instead.
inline constexpr const char* kDefaultDestination = "/opt";

inline constexpr const char* kCancelledMessage =
    "Administrator authorization was cancelled \u2014 Verseloom was not installed.";
inline constexpr const char* kRefusedMessage =
    "Administrator authorization was refused \u2014 Verseloom was not installed.";
inline constexpr const char* kAuthenticatedInstallFailed = "The authenticated install failed.";

// destination + "/verseloom", once the destination is a usable place to install into:
// absolute, already normal (no ".", "..", doubled or trailing "/"), and not "/" itself.
// Everything that removes a tree works on this path only. Throws InstallerError.
std::filesystem::path installTarget(const std::filesystem::path& destination);

// Whether `folder` is a tree an earlier install left: a real folder (not a link) holding
// the marker file, or, when it is `legacyDestination`/verseloom, a folder that holds the
// program's own layout (bin/verseloom, its menu entry) and nothing else.
bool isInstallation(const std::filesystem::path& folder,
                    const std::filesystem::path& legacyDestination = kDefaultDestination);

// Refuses, with a sentence naming the folder, an install that could replace what is not
// ours: a target that exists and is not an installation, a target that is or holds one of
// `ownFolders` (the payload, the installer, the checkout it was built from), or a target
// inside the payload. Throws InstallerError.
void checkInstallTarget(const std::filesystem::path& source, const std::filesystem::path& destination,
                        const std::vector<std::filesystem::path>& ownFolders = {},
                        const std::filesystem::path& legacyDestination = kDefaultDestination);

// Copies `source` (the payload tree) to the target as this user: into a staging folder
// beside the target first, then the old tree is renamed aside, the new one renamed in and
// the old one removed. Only one installer works in a destination at a time; staging
// folders an earlier, killed run of this user left there are removed. A failure at any
// point leaves the old tree in place (or, when even putting it back fails, names where it
// is). Throws std::filesystem::filesystem_error or InstallerError.
void directInstall(const std::filesystem::path& source, const std::filesystem::path& destination,
                   const std::vector<std::filesystem::path>& ownFolders = {},
                   const std::filesystem::path& legacyDestination = kDefaultDestination);

// The fixed script run as root. It takes everything as positional arguments ("$1" the
// destination, "$2" the target, "$3" the source, already resolved, "$4" the legacy
// destination) and does what directInstall does, reading the payload with the rights of
// the user pkexec names (PKEXEC_UID), then gives the tree to root, keeping its modes but
// for group and other write and set-id bits. It refuses a source that is a link or leads
// through one. It never exits with 126 or 127, which are pkexec's own answers for a
// dismissed or refused authorization.
extern const char* const kPrivilegedScript;

// The argument list handed to pkexec.
std::vector<std::string> privilegedArguments(const std::filesystem::path& source,
                                             const std::filesystem::path& destination,
                                             const std::filesystem::path& legacyDestination = kDefaultDestination);

// The sentence for an install that needs administrator rights it cannot ask for:
// `situation` followed by how to get on.
std::string administratorRightsUnavailable(const std::string& situation);

// Runs the script through pkexec, which asks for the administrator's password, over the
// source resolved beforehand, once checkInstallTarget has passed. Exit 126 (dialog
// dismissed) and 127 with polkit's "Not authorized" become their sentences; pkexec's
// other errors and the script's failures are shown in their own words, else
// kAuthenticatedInstallFailed. Throws InstallerError (also when pkexec cannot start) or
// vl::Cancelled when stopped.
void privilegedInstall(const std::filesystem::path& pkexec, const std::filesystem::path& source,
                       const std::filesystem::path& destination, std::stop_token stop = {},
                       const std::vector<std::filesystem::path>& ownFolders = {},
                       const std::filesystem::path& legacyDestination = kDefaultDestination);

} // namespace vl::installer
