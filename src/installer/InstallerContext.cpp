#include "installer/InstallerContext.h"

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
    context.whisper.lookup = WhisperLookupPaths::fromEnvironment();
    context.applicationsFolder = context.whisper.lookup.dataFolder / "applications";
    context.canWrite = mayWrite;
    context.launch = [](const fs::path& program) {
        return QProcess::startDetached(QString::fromStdString(program.string()), {});
    };
    return context;
}

} // namespace vl::installer
