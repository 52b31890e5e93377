#pragma once

#include "model/Project.h"
#include "model/ProjectSummary.h"
#include "model/Settings.h"
#include "model/Uuid.h"

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

namespace vl {

// The library cannot form any project path.
class MediaLibraryError : public std::exception {
public:
    enum class Code { noDataFolder };
    using enum Code;

    explicit MediaLibraryError(Code code) noexcept : code_(code) {}
    Code code() const noexcept { return code_; }
    const char* what() const noexcept override;

private:
    Code code_;
};

// The projects root of this user: $XDG_DATA_HOME (else $HOME/.local/share) +
// "/Verseloom/projects". Throws MediaLibraryError::noDataFolder when neither is set.
std::filesystem::path defaultProjectsRoot();

// The folder of one project: projects root + the id's upper-case text.
class MediaLibrary {
public:
    static constexpr std::array<std::string_view, 5> kSubfolders{"frames", "elements", "characters", "clips",
                                                                  "exports"};

    MediaLibrary(const Uuid& projectID, const std::filesystem::path& projectsRoot);

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path projectFile() const { return root_ / "project.json"; }

    // Creates the five sub-folders (and any missing parents). A folder that cannot
    // be made is passed over; the save that follows reports the real problem.
    void ensureFolders() const noexcept;

private:
    std::filesystem::path root_;
};

inline constexpr std::string_view kLastProjectIDKey = "lastProjectID";

// The largest "project.json" the library writes or reads. Far above any real project
// (a plan is capped at a few MB); a bigger file is listed as damaged, not read, so a
// runaway document cannot stall the start or exhaust memory.
inline constexpr std::uintmax_t kMaxProjectFileBytes = std::uintmax_t(64) << 20;

// A project whose document would pass kMaxProjectFileBytes; what() completes
// "Couldn't save the project: ".
class ProjectTooLarge : public std::runtime_error {
public:
    ProjectTooLarge();
};

// The bytes of "project.json": indented, keys sorted at every level, ISO 8601
// dates. Throws json::EncodeError for a non-finite number.
std::string encodeProjectDocument(const Project& project);

// Reads "project.json" bytes; throws json::DecodeError. `folderID` is the id of the
// folder the file came from: a document without an id takes it, so saving it again
// lands in the same folder instead of a new one.
Project decodeProjectDocument(std::string_view bytes, std::optional<Uuid> folderID = std::nullopt);

// What reading one project folder found: the project, or why its document cannot be
// used (`damage` completes "Could not open that project — "), or neither when the
// folder holds no document at all. Lyrics over kMaxLyricsBytes are cut as they are
// read (`lyricsCut`): whoever opens the project says so.
struct ProjectReading {
    std::optional<Project> project;
    std::optional<std::string> damage;
    bool lyricsCut = false;
};

// One folder of the projects root that holds a document: readable or damaged.
struct ProjectEntry {
    Uuid id;
    std::optional<Project> project; // absent when damaged
    std::string damage;             // why, when damaged
};

// One folder of the projects root as the saved-projects list shows it.
struct ProjectListing {
    Uuid id;
    std::optional<ProjectSummary> summary; // absent when damaged
    std::string damage;                    // why, when damaged
};

// Relative paths in a document name files in its project folder: makes them
// absolute there, so nothing depends on the program's working folder.
void resolvePathsAgainst(Project& project, const std::filesystem::path& folder);

// The projects on disk and the memory of the last one saved.
class ProjectLibrary {
public:
    ProjectLibrary(std::filesystem::path projectsRoot, Settings& settings);

    const std::filesystem::path& projectsRoot() const { return projectsRoot_; }
    MediaLibrary library(const Uuid& projectID) const { return MediaLibrary(projectID, projectsRoot_); }

    // Writes "project.json" atomically, then remembers the project as the last one.
    // Throws json::EncodeError or std::filesystem::filesystem_error; on failure the
    // old file and "lastProjectID" are left as they were.
    void save(const Project& project) const;

    // The two halves of save, for a caller that writes on another thread: the
    // document's bytes into the project's folder (throws ProjectTooLarge or
    // std::filesystem::filesystem_error; safe on any thread, settings untouched), and
    // remembering the project as the last one (on the settings' thread).
    void writeDocument(const Uuid& projectID, std::string_view bytes) const;
    void rememberLast(const Uuid& projectID) const;

    // The project named by "lastProjectID"; nothing on any problem.
    std::optional<Project> loadLastProject() const;

    // Every readable project, newest update first; unreadable folders are skipped.
    std::vector<Project> listProjects() const;

    // Every folder holding a document: the readable ones newest update first, then
    // the damaged ones in listing order. Nothing is repaired or removed.
    std::vector<ProjectEntry> listEntries() const;

    // The same order and damage, reading only what the saved-projects list shows
    // (decodeProjectSummary), one document at a time. Throws vl::Cancelled once
    // `stop` is requested.
    std::vector<ProjectListing> listSummaries(std::stop_token stop = {}) const;

    // One project's document; nothing when it is missing or unreadable. The project
    // takes the id of the folder it was read from, whatever the document says.
    std::optional<Project> loadProject(const Uuid& projectID) const;

    // The same, saying why a document that is there cannot be used.
    ProjectReading readProject(const Uuid& projectID) const;

    // Removes what interrupted writes left in a project's folder and its sub-folders
    // (only names files::isTemporarySiblingName recognises) last changed before
    // `before`; a write still going on in this run is newer. Returns how many went.
    int removeLeftoverTemporaries(const Uuid& projectID, std::filesystem::file_time_type before) const;

private:
    std::filesystem::path projectsRoot_;
    Settings& settings_;
};

} // namespace vl
