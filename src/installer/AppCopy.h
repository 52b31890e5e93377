#pragma once

#include <filesystem>
#include <stop_token>
#include <string>
#include <vector>

namespace vl::installer {

// The installed tree's fixed name inside the destination folder.
inline constexpr const char* kAppFolderName = "verseloom";

inline constexpr const char* kCancelledMessage =
    "Administrator authorization was cancelled \u2014 Verseloom was not installed.";
inline constexpr const char* kRefusedMessage =
    "Administrator authorization was refused \u2014 Verseloom was not installed.";
inline constexpr const char* kAuthenticatedInstallFailed = "The authenticated install failed.";

// destination + "/verseloom", once the destination is a usable place to install into:
// absolute, already normal (no ".", "..", doubled or trailing "/"), and not "/" itself.
// Everything that removes a tree works on this path only. Throws InstallerError.
std::filesystem::path installTarget(const std::filesystem::path& destination);

// Copies `source` (the payload tree) to the target as this user: into a staging folder
// beside the target first, then the old tree is renamed aside, the new one renamed in and
// the old one removed. A failure at any point leaves the old tree where it was; a staging
// folder that a killed installer left behind is removed first. Throws
// std::filesystem::filesystem_error or InstallerError.
void directInstall(const std::filesystem::path& source, const std::filesystem::path& destination);

// The fixed script run as root. It takes everything as positional arguments ("$1" the
// destination, "$2" the target, "$3" the source, already resolved) and does what
// directInstall does, then gives the tree to root, keeping its modes but for group and
// other write and set-id bits. It refuses a source that is a link or leads through one.
// It never exits with 126 or 127, which are pkexec's own answers for a dismissed or
// refused authorization.
extern const char* const kPrivilegedScript;

// The argument list handed to pkexec.
std::vector<std::string> privilegedArguments(const std::filesystem::path& source,
                                             const std::filesystem::path& destination);

// The sentence for an install that needs administrator rights it cannot ask for:
// `situation` followed by how to get on.
std::string administratorRightsUnavailable(const std::string& situation);

// Runs the script through pkexec, which asks for the administrator's password, over the
// source resolved beforehand. Exit 126 (dialog dismissed) and 127 with polkit's "Not
// authorized" become their sentences; pkexec's other errors and the script's failures are
// shown in their own words, else kAuthenticatedInstallFailed. Throws InstallerError (also
// when pkexec cannot start) or vl::Cancelled when stopped.
void privilegedInstall(const std::filesystem::path& pkexec, const std::filesystem::path& source,
                       const std::filesystem::path& destination, std::stop_token stop = {});

} // namespace vl::installer
