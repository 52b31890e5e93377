#include "installer/InstallerContext.h"

#include "installer/InstallerError.h"

#include <QProcess>
#include <QString>

#include <unistd.h>

namespace vl::installer {

namespace fs = std::filesystem;

bool mayWrite(const fs::path& path)
{
    fs::path probe = path;
    std::error_code error;
    while (!probe.empty() && !fs::exists(probe, error)) {
        if (probe == probe.parent_path())
            return false;
        probe = probe.parent_path();
    }
    return !probe.empty() && ::access(probe.c_str(), W_OK) == 0;
}

InstallerContext InstallerContext::forThisUser(const fs::path& programFolder)
{
    InstallerContext context;
    context.payloadFolder = programFolder / "payload";
    context.ownFolders = {context.payloadFolder, programFolder};
    context.whisper.lookup = WhisperLookupPaths::fromEnvironment();
    context.applicationsFolder = context.whisper.lookup.dataFolder / "applications";
    context.canWrite = mayWrite;
    context.launch = [](const fs::path& program) {
        return QProcess::startDetached(QString::fromStdString(program.string()), {});
    };
    return context;
}

fs::path destinationFromArgument(const std::string& argument, const fs::path& workingFolder, const fs::path& home)
{
    if (argument.empty())
        throw InstallerError::step("--destination needs a folder to install into; none was given.");
    fs::path folder;
    if (argument == "~" || argument.starts_with("~/")) {
        if (home.empty() || !home.is_absolute())
            throw InstallerError::step("Cannot tell which folder \u201c" + argument +
                                       "\u201d means: HOME is not set. Give the folder's full path.");
        folder = home / argument.substr(argument.size() > 1 ? 2 : 1);
    } else if (argument.starts_with("~")) {
        throw InstallerError::step("Cannot tell which folder \u201c" + argument +
                                   "\u201d means. Give the folder's full path.");
    } else {
        folder = fs::path(argument).is_absolute() ? fs::path(argument) : workingFolder / argument;
    }
    folder = folder.lexically_normal();
    if (!folder.has_filename() && folder != folder.root_path())
        folder = folder.parent_path(); // a trailing "/" outlives normalising
    installTarget(folder);
    return folder;
}

} // namespace vl::installer
