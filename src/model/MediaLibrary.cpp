#include "model/MediaLibrary.h"

#include "model/Files.h"
#include "model/ProjectJson.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <system_error>

namespace vl {

namespace fs = std::filesystem;

const char* MediaLibraryError::what() const noexcept
{
    switch (code_) {
    case noDataFolder: return "There is no folder for application data, so projects cannot be saved or opened.";
    }
    return "The project library failed.";
}

fs::path defaultProjectsRoot()
{
    fs::path base;
    // A relative XDG_DATA_HOME is invalid and must be ignored.
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = fs::path(home) / ".local" / "share";
    else
        throw MediaLibraryError(MediaLibraryError::noDataFolder);
    return base / "Verseloom" / "projects";
}

MediaLibrary::MediaLibrary(const Uuid& projectID, const fs::path& projectsRoot)
    : root_(projectsRoot / projectID.text())
{
}

void MediaLibrary::ensureFolders() const noexcept
{
    for (std::string_view name : kSubfolders) {
        std::error_code ignored;
        fs::create_directories(root_ / name, ignored);
    }
}

std::string encodeProjectDocument(const Project& project)
{
    return toIndentedJsonText(project);
}

Project decodeProjectDocument(std::string_view bytes, std::optional<Uuid> folderID)
{
    return readProject(json::parse(bytes), folderID);
}

ProjectLibrary::ProjectLibrary(fs::path projectsRoot, Settings& settings)
    : projectsRoot_(std::move(projectsRoot)), settings_(settings)
{
}

void ProjectLibrary::save(const Project& project) const
{
    const MediaLibrary folder = library(project.id);
    folder.ensureFolders();
    const std::string bytes = encodeProjectDocument(project);
    files::writeAtomically(folder.projectFile(), bytes);
    settings_.setString(kLastProjectIDKey, project.id.text());
}

std::optional<Project> ProjectLibrary::loadProject(const Uuid& projectID) const
{
    const fs::path file = library(projectID).projectFile();
    std::error_code error;
    // Only a plain file: a FIFO or a device under that name would block or never end.
    if (!fs::is_regular_file(file, error))
        return std::nullopt;
    try {
        Project project = decodeProjectDocument(files::readAll(file), projectID);
        // The folder names the project. A folder copied under another id is a project
        // of its own: listed once under its folder, opened from it, saved into it.
        project.id = projectID;
        return project;
    } catch (const std::exception&) {
        // Damaged or foreign documents are simply not projects; nothing is repaired.
        return std::nullopt;
    }
}

std::optional<Project> ProjectLibrary::loadLastProject() const
{
    const auto text = settings_.string(kLastProjectIDKey);
    if (!text)
        return std::nullopt;
    const auto id = Uuid::parse(*text);
    if (!id)
        return std::nullopt;
    return loadProject(*id);
}

std::vector<Project> ProjectLibrary::listProjects() const
{
    std::vector<Project> projects;
    std::error_code error;
    fs::directory_iterator it(projectsRoot_, error);
    if (error)
        return projects;
    // Folder names that differ only in letter case name the same project; the file
    // is read from the upper-case path either way, so take each id once.
    std::set<Uuid> seen;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            break;
        const auto id = Uuid::parse(it->path().filename().string());
        if (!id || !seen.insert(*id).second)
            continue;
        if (auto project = loadProject(*id))
            projects.push_back(std::move(*project));
    }
    std::stable_sort(projects.begin(), projects.end(),
                     [](const Project& a, const Project& b) { return a.updatedAt > b.updatedAt; });
    return projects;
}

} // namespace vl
