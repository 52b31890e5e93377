#pragma once

#include <filesystem>
#include <string>

namespace vl::installer {

inline constexpr const char* kDesktopEntryName = "pro.quillmarsh.verseloom.desktop";
inline constexpr const char* kIconName = "pro.quillmarsh.verseloom.svg";

// One argument of an Exec line: always quoted, with the characters the desktop entry
// rules reserve escaped, and then escaped once more as a string value.
std::string desktopExecArgument(const std::string& argument);
// A plain string value (Icon=, TryExec=).
std::string desktopStringValue(const std::string& value);

// The installed tree's own desktop entry with Exec, TryExec and Icon pointing into it.
std::string desktopEntryFor(const std::string& templateText, const std::filesystem::path& target);

// Writes the entry of the tree at `target` into `applicationsFolder`, so the menu
// starts the installed program. Throws InstallerError.
void writeDesktopEntry(const std::filesystem::path& applicationsFolder, const std::filesystem::path& target);

} // namespace vl::installer
