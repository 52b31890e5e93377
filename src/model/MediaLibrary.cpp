#include "model/MediaLibrary.h"

#include "model/Cancellation.h"
#include "model/Files.h"
#include "model/LyricsLimit.h"
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

ProjectTooLarge::ProjectTooLarge()
    : std::runtime_error("it is larger than " + files::megabytesText(kMaxProjectFileBytes))
{
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

namespace {

void resolvePath(std::string& path, const fs::path& folder)
{
    if (!path.empty() && fs::path(path).is_relative())
        path = (folder / path).lexically_normal().string();
}

void resolvePath(std::optional<std::string>& path, const fs::path& folder)
{
    if (path)
        resolvePath(*path, folder);
}

void resolveFrame(GeneratedFrame& frame, const fs::path& folder)
{
    resolvePath(frame.localPath, folder);
    resolvePath(frame.motionClipPath, folder);
}

} // namespace

void resolvePathsAgainst(Project& project, const fs::path& folder)
{
    resolvePath(project.audioPath, folder);
    if (project.plan)
        for (PlanElement& element : project.plan->elements)
            resolvePath(element.imageLocalPath, folder);
    for (StoryboardChunk& chunk : project.chunks) {
        if (chunk.frame)
            resolveFrame(*chunk.frame, folder);
        for (GeneratedFrame& frame : chunk.undoStack)
            resolveFrame(frame, folder);
        for (GeneratedFrame& frame : chunk.redoStack)
            resolveFrame(frame, folder);
    }
    for (CharacterReference& character : project.characters) {
        for (std::string& path : character.referenceImagePaths)
            resolvePath(path, folder);
        resolvePath(character.processedImagePath, folder);
    }
}

ProjectLibrary::ProjectLibrary(fs::path projectsRoot, Settings& settings)
    : projectsRoot_(std::move(projectsRoot)), settings_(settings)
{
}

void ProjectLibrary::save(const Project& project) const
{
    writeDocument(project.id, encodeProjectDocument(project));
    rememberLast(project.id);
}

void ProjectLibrary::writeDocument(const Uuid& projectID, std::string_view bytes) const
{
    // A document the library would refuse to read back is not written at all.
    if (bytes.size() > kMaxProjectFileBytes)
        throw ProjectTooLarge();
    const MediaLibrary folder = library(projectID);
    folder.ensureFolders();
    files::writeAtomically(folder.projectFile(), bytes);
}

void ProjectLibrary::rememberLast(const Uuid& projectID) const
{
    settings_.setString(kLastProjectIDKey, projectID.text());
}

namespace {

// The bytes of a project's document, or why they cannot be used, or neither when the
// folder holds no document at all.
struct DocumentBytes {
    std::optional<std::string> bytes;
    std::optional<std::string> damage;
};

DocumentBytes readDocumentBytes(const fs::path& file)
{
    try {
        // Only a plain file under the cap: a FIFO or a device under that name would
        // block or never end, a huge one would stall the start.
        return {files::readRegularFile(file, kMaxProjectFileBytes), std::nullopt};
    } catch (const files::FileRefused& refused) {
        std::error_code error;
        if (refused.reason() == files::FileRefused::Reason::unreadable && !fs::exists(fs::symlink_status(file, error)))
            return {}; // no document: not a project
        switch (refused.reason()) {
        case files::FileRefused::Reason::tooLarge:
            return {std::nullopt, "its file is larger than " + files::megabytesText(kMaxProjectFileBytes)};
        case files::FileRefused::Reason::folder:
        case files::FileRefused::Reason::notPlainFile:
            return {std::nullopt, "its file is not a plain file"};
        case files::FileRefused::Reason::unreadable:
            break;
        }
        return {std::nullopt, std::string("its file cannot be read (") + refused.what() + ")"};
    }
}

// Nothing is repaired: a damaged file stays as it is for the user to rescue.
constexpr const char* kDamaged = "its file is damaged";

} // namespace

ProjectReading ProjectLibrary::readProject(const Uuid& projectID) const
{
    DocumentBytes document = readDocumentBytes(library(projectID).projectFile());
    if (!document.bytes)
        return {std::nullopt, std::move(document.damage)};
    try {
        Project project = decodeProjectDocument(*document.bytes, projectID);
        // The folder names the project. A folder copied under another id is a project
        // of its own: listed once under its folder, opened from it, saved into it.
        project.id = projectID;
        resolvePathsAgainst(project, library(projectID).root());
        const bool lyricsCut = capLyrics(project.rawLyrics);
        return {std::move(project), std::nullopt, lyricsCut};
    } catch (const std::exception&) {
        return {std::nullopt, std::string(kDamaged)};
    }
}

std::optional<Project> ProjectLibrary::loadProject(const Uuid& projectID) const
{
    return readProject(projectID).project;
}

int ProjectLibrary::removeLeftoverTemporaries(const Uuid& projectID, fs::file_time_type before) const
{
    const MediaLibrary folder = library(projectID);
    std::vector<fs::path> folders{folder.root()};
    for (std::string_view name : MediaLibrary::kSubfolders)
        folders.push_back(folder.root() / name);
    int removed = 0;
    for (const fs::path& where : folders)
        removed += files::removePlainFilesIf(where, [&](const fs::path& path) {
            if (!files::isTemporarySiblingName(path.filename().string()))
                return false;
            std::error_code statusError;
            const auto changed = fs::last_write_time(path, statusError);
            return !statusError && changed < before;
        });
    return removed;
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
    for (ProjectEntry& entry : listEntries())
        if (entry.project)
            projects.push_back(std::move(*entry.project));
    return projects;
}

namespace {

// Every folder of `root` named by a project id and holding a document, read by `read`
// (which gives a value with an updatedAt, kept in `value`, or why it is damaged): the
// readable ones newest update first (a stable sort keeps the listing order among
// equals), then the damaged ones in listing order.
template <typename Entry, typename T, typename Read>
std::vector<Entry> listFolders(const fs::path& root, std::optional<T> Entry::*value, Read read,
                               const std::stop_token& stop)
{
    std::vector<Entry> readable;
    std::vector<Entry> damaged;
    std::error_code error;
    fs::directory_iterator it(root, error);
    if (error)
        return readable;
    // Folder names that differ only in letter case name the same project; the file
    // is read from the upper-case path either way, so take each id once.
    std::set<Uuid> seen;
    for (; it != fs::directory_iterator(); it.increment(error)) {
        if (error)
            break;
        throwIfCancelled(stop);
        const auto id = Uuid::parse(it->path().filename().string());
        if (!id || !seen.insert(*id).second)
            continue;
        auto [found, damage] = read(*id);
        Entry entry{*id, std::nullopt, {}};
        if (found) {
            entry.*value = std::move(found);
            readable.push_back(std::move(entry));
        } else if (damage) {
            entry.damage = std::move(*damage);
            damaged.push_back(std::move(entry));
        }
    }
    std::stable_sort(readable.begin(), readable.end(), [value](const Entry& a, const Entry& b) {
        return (a.*value)->updatedAt > (b.*value)->updatedAt;
    });
    readable.insert(readable.end(), std::make_move_iterator(damaged.begin()), std::make_move_iterator(damaged.end()));
    return readable;
}

} // namespace

std::vector<ProjectEntry> ProjectLibrary::listEntries() const
{
    return listFolders(
        projectsRoot_, &ProjectEntry::project,
        [this](const Uuid& id) -> std::pair<std::optional<Project>, std::optional<std::string>> {
            ProjectReading reading = readProject(id);
            return {std::move(reading.project), std::move(reading.damage)};
        },
        {});
}

std::vector<ProjectListing> ProjectLibrary::listSummaries(std::stop_token stop) const
{
    return listFolders(
        projectsRoot_, &ProjectListing::summary,
        [this](const Uuid& id) -> std::pair<std::optional<ProjectSummary>, std::optional<std::string>> {
            DocumentBytes document = readDocumentBytes(library(id).projectFile());
            if (!document.bytes)
                return {std::nullopt, std::move(document.damage)};
            try {
                return {decodeProjectSummary(*document.bytes), std::nullopt};
            } catch (const std::exception&) {
                return {std::nullopt, std::string(kDamaged)};
            }
        },
        stop);
}

} // namespace vl
