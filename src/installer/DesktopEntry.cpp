#include "installer/DesktopEntry.h"

#include "installer/InstallerError.h"
#include "model/Files.h"

#include <sstream>

namespace vl::installer {

namespace fs = std::filesystem;

namespace {

fs::path executableIn(const fs::path& target) { return target / "bin" / "verseloom"; }
fs::path iconIn(const fs::path& target) { return target / "share/icons/hicolor/scalable/apps" / kIconName; }

} // namespace

std::string desktopStringValue(const std::string& value)
{
    std::string escaped;
    for (const char c : value) {
        switch (c) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string desktopExecArgument(const std::string& argument)
{
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%'; // "%%" is a literal percent sign, not a field code
        quoted += c;
    }
    quoted += '"';
    return desktopStringValue(quoted);
}

std::string desktopEntryFor(const std::string& templateText, const fs::path& target)
{
    std::istringstream in(templateText);
    std::string out;
    std::string line;
    bool inMainGroup = false;
    while (std::getline(in, line)) {
        if (line.starts_with('['))
            inMainGroup = line == "[Desktop Entry]";
        if (inMainGroup && line.starts_with("Exec="))
            line = "Exec=" + desktopExecArgument(executableIn(target).string());
        else if (inMainGroup && line.starts_with("TryExec="))
            line = "TryExec=" + desktopStringValue(executableIn(target).string());
        else if (inMainGroup && line.starts_with("Icon="))
            line = "Icon=" + desktopStringValue(iconIn(target).string());
        out += line + "\n";
    }
    return out;
}

void writeDesktopEntry(const fs::path& applicationsFolder, const fs::path& target)
{
    const fs::path installed = target / "share/applications" / kDesktopEntryName;
    try {
        const std::string entry = desktopEntryFor(files::readAll(installed), target);
        fs::create_directories(applicationsFolder);
        files::writeAtomically(applicationsFolder / kDesktopEntryName, entry);
    } catch (const std::exception& e) {
        throw InstallerError::step("Verseloom was installed, but its applications menu entry could not be written (" +
                                   std::string(e.what()) + ").");
    }
}

} // namespace vl::installer
