#pragma once

#include "installer/AppCopy.h"
#include "installer/WhisperRuntime.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vl {
class HttpClient;
class Settings;
} // namespace vl

namespace vl::installer {

// Everything outside the installer's own process, in one place: where things are, the
// probes it asks, the programs it starts, the network and the shared defaults suite.
// Tests point every entry at fakes and temporary folders.
struct InstallerContext {
    // Holds the application tree to install, under the name kAppFolderName.
    std::filesystem::path payloadFolder;
    // The folder that receives the tree; no page changes it.
    std::filesystem::path destination = kDefaultDestination;
    // Where an install made before installs were marked may be found and replaced.
    std::filesystem::path legacyDestination = kDefaultDestination;
    // Folders an install must never replace or hold: the payload, the installer's own
    // folder and the checkout it was built from.
    std::vector<std::filesystem::path> ownFolders;
    // Where the applications menu finds desktop entries ($XDG_DATA_HOME/applications).
    std::filesystem::path applicationsFolder;
    WhisperSetup whisper;
    std::filesystem::path pkexecProgram = "/usr/bin/pkexec";

    // Whether this process may write into the destination without asking for rights.
    std::function<bool(const std::filesystem::path&)> canWrite;
    // Starts the installed program, detached from the installer.
    std::function<bool(const std::filesystem::path& program)> launch;

    HttpClient* http = nullptr;
    Settings* sharedSuite = nullptr;
    // The file behind sharedSuite, kept owner-only: it holds the user's name and e-mail.
    std::filesystem::path sharedSuiteFile;
    // Empty: $VL_UPDATES_BASE_URL, else the maker's server.
    std::string updatesBaseUrl;
    std::chrono::seconds subscribeTimeout{60};
    // The breath between two successful steps, so each card is seen to finish.
    std::chrono::milliseconds pause{220};

    // This user's setup: payload beside the program, XDG folders, pkexec, a detached
    // launcher. The network client and the suite are the caller's to set.
    static InstallerContext forThisUser(const std::filesystem::path& programFolder);
};

// The folder a --destination argument names, as the user meant it: a relative one from
// `workingFolder`, a leading "~" as `home`. Throws InstallerError for an empty argument, a
// "~name" the shell left unexpanded, or a folder that cannot hold an install.
std::filesystem::path destinationFromArgument(const std::string& argument, const std::filesystem::path& workingFolder,
                                              const std::filesystem::path& home);

// True when the nearest existing folder of `path` may be written by this process.
bool mayWrite(const std::filesystem::path& path);

} // namespace vl::installer
