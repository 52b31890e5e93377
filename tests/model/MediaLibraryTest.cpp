#include "ModelFixtures.h"

#include "model/Files.h"
#include "model/LyricsLimit.h"
#include "model/MediaLibrary.h"
#include "model/ProjectJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sys/stat.h>

using namespace vl;
namespace fs = std::filesystem;

namespace {

void writeFile(const fs::path& path, std::string_view bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

Project titled(const char* title, long long updated)
{
    Project p;
    p.title = title;
    p.updatedAt = fixtures::at(updated);
    return p;
}

std::vector<std::string> titles(const std::vector<Project>& projects)
{
    std::vector<std::string> out;
    for (const auto& p : projects) out.push_back(p.title);
    return out;
}

class ProjectLibraryTest : public ::testing::Test {
protected:
    files::TemporaryDirectory temp{"library-test"};
    fs::path root = temp.path() / "Verseloom" / "projects";
    MemorySettings settings;
    ProjectLibrary library{root, settings};
};

} // namespace

TEST_F(ProjectLibraryTest, SaveMakesTheFolderLayoutAndRemembersTheProject)
{
    const Project p = fixtures::fullProject();
    library.save(p);
    const fs::path folder = root / p.id.text();
    EXPECT_EQ(library.library(p.id).root(), folder);
    for (const char* sub : {"frames", "elements", "characters", "clips", "exports"})
        EXPECT_TRUE(fs::is_directory(folder / sub)) << sub;
    EXPECT_TRUE(fs::is_regular_file(folder / "project.json"));
    EXPECT_EQ(settings.string("lastProjectID"), p.id.text());
    EXPECT_EQ(library.loadLastProject(), p);
    // Only project.json: the temporary file was renamed, not left beside it.
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(folder)) files += e.is_regular_file();
    EXPECT_EQ(files, 1u);
}

TEST_F(ProjectLibraryTest, DocumentIsIndentedWithKeysSortedAtEveryLevel)
{
    const Project p = fixtures::fullProject();
    library.save(p);
    const std::string text = files::readAll(library.library(p.id).projectFile());
    EXPECT_NE(text.find("\n  \"artist\""), std::string::npos);

    // The parser reports keys in document order; each object's must ascend.
    std::vector<std::vector<std::string>> open;
    std::size_t keys = 0;
    const json::Json::parser_callback_t check = [&](int, json::Json::parse_event_t event, json::Json& parsed) {
        using E = json::Json::parse_event_t;
        if (event == E::object_start) {
            open.emplace_back();
        } else if (event == E::key) {
            const std::string key = parsed.get<std::string>();
            if (!open.back().empty()) {
                EXPECT_LT(open.back().back(), key);
            }
            open.back().push_back(key);
            ++keys;
        } else if (event == E::object_end) {
            open.pop_back();
        }
        return true;
    };
    const json::Json reparsed = json::Json::parse(text, check);
    EXPECT_GT(keys, 100u); // nested records were walked too
    EXPECT_EQ(readProject(reparsed), p);
}

TEST_F(ProjectLibraryTest, FailedSaveLeavesOldFileAndLastProject)
{
    Project p = fixtures::fullProject();
    library.save(p);
    const fs::path file = library.library(p.id).projectFile();
    const std::string before = files::readAll(file);
    Project other;
    library.save(other);
    ASSERT_EQ(settings.string("lastProjectID"), other.id.text());

    // Encoding fails: a non-finite time is refused, not written as null.
    p.title = "changed";
    p.transcript.at(0).end = std::nan("");
    EXPECT_THROW(library.save(p), json::EncodeError);
    EXPECT_EQ(files::readAll(file), before);
    EXPECT_EQ(settings.string("lastProjectID"), other.id.text());

    // Writing fails: the project's folder is taken by a plain file.
    Project blocked;
    writeFile(root / blocked.id.text(), "not a folder");
    EXPECT_THROW(library.save(blocked), fs::filesystem_error);
    EXPECT_EQ(settings.string("lastProjectID"), other.id.text());
    EXPECT_EQ(files::readAll(root / blocked.id.text()), "not a folder");
}

TEST_F(ProjectLibraryTest, LastProjectLookup)
{
    EXPECT_FALSE(library.loadLastProject());
    const Project p = titled("kept", 100);
    library.save(p);

    struct Case { const char* name; std::string value; bool found; };
    std::string lower = p.id.text();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const Case cases[] = {
        {"upper case", p.id.text(), true},
        {"lower case", lower, true},
        {"not a UUID", "notes", false},
        {"deleted folder", Uuid::random().text(), false},
    };
    for (const auto& c : cases) {
        settings.setString("lastProjectID", c.value);
        const auto loaded = library.loadLastProject();
        EXPECT_EQ(loaded.has_value(), c.found) << c.name;
        if (loaded) {
            EXPECT_EQ(loaded->title, "kept");
        }
    }
}

TEST_F(ProjectLibraryTest, ListingIsNewestFirstAndSkipsWhatIsNotAProject)
{
    EXPECT_TRUE(library.listProjects().empty()); // root does not exist yet

    library.save(titled("old", 100));
    library.save(titled("new", 300));
    library.save(titled("middle", 200));
    fs::create_directories(root / "notes");
    writeFile(root / "stray.txt", "x");
    writeFile(root / ".DS_Store", "x");
    writeFile(root / Uuid::random().text() / "project.json", "{\"title\": ");  // damaged
    fs::create_directories(root / Uuid::random().text());                    // no document
    writeFile(root / Uuid::random().text(), "{}");                           // a file named like a project

    EXPECT_EQ(titles(library.listProjects()), (std::vector<std::string>{"new", "middle", "old"}));
}

TEST_F(ProjectLibraryTest, EqualUpdateTimesKeepListingOrder)
{
    for (const char* t : {"a", "b", "c", "d"}) library.save(titled(t, 500));
    std::vector<std::string> listed;
    for (const auto& e : fs::directory_iterator(root))
        listed.push_back(decodeProjectDocument(files::readAll(e.path() / "project.json")).title);
    EXPECT_EQ(titles(library.listProjects()), listed);
}

TEST_F(ProjectLibraryTest, DocumentWithoutIdKeepsItsFolder)
{
    const Uuid folder = Uuid::random();
    writeFile(root / folder.text() / "project.json", R"({"title":"no id"})");
    const auto listed = library.listProjects();
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].id, folder);

    // Saving it again rewrites the same folder instead of starting a second project.
    library.save(listed[0]);
    EXPECT_EQ(library.listProjects().size(), 1u);
    settings.setString("lastProjectID", folder.text());
    EXPECT_EQ(library.loadLastProject()->id, folder);
}

TEST_F(ProjectLibraryTest, FolderNamesDifferingOnlyInCaseListOnce)
{
    const Project p = titled("once", 100);
    library.save(p);
    std::string lower = p.id.text();
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fs::create_directories(root / lower);
    fs::copy_file(library.library(p.id).projectFile(), root / lower / "project.json");
    EXPECT_EQ(titles(library.listProjects()), (std::vector<std::string>{"once"}));
}

TEST_F(ProjectLibraryTest, HostileDocumentsAreSkippedAndLeftAlone)
{
    library.save(titled("good", 100));
    const std::string hostile[] = {
        "",
        "{\"title\": \"trunc",
        std::string("\x00\xff\xfe\x01binary", 10),
        std::string(100000, '[') + std::string(100000, ']'),
        "{\"chunks\":[{\"start\":1e400}]}",
        "{\"chunks\":[{\"index\":18446744073709551615}]}",
        "{\"title\":[\"wrong\"]}",
        "{\"title\":\"\xC3\x28\"}",
        "{\"a\":" + std::string(300, '{') + std::string(300, '}') + "}",
        "[1,2,3]",
    };
    std::vector<fs::path> written;
    for (const auto& bytes : hostile) {
        const fs::path file = root / Uuid::random().text() / "project.json";
        writeFile(file, bytes);
        written.push_back(file);
        EXPECT_THROW(decodeProjectDocument(bytes), json::DecodeError) << bytes.substr(0, 40);
    }
    // A FIFO under the document's name would block a naive read forever.
    const fs::path fifoFolder = root / Uuid::random().text();
    fs::create_directories(fifoFolder);
    ASSERT_EQ(::mkfifo((fifoFolder / "project.json").c_str(), 0600), 0);
    settings.setString("lastProjectID", fifoFolder.filename().string());
    EXPECT_FALSE(library.loadLastProject());

    EXPECT_EQ(titles(library.listProjects()), (std::vector<std::string>{"good"}));
    for (std::size_t i = 0; i < written.size(); ++i)
        EXPECT_EQ(files::readAll(written[i]), hostile[i]) << i;
}

TEST(DefaultProjectsRoot, FollowsTheDataFolderOrFailsOnItsOwn)
{
    const char* savedHome = std::getenv("HOME");
    const char* savedXdg = std::getenv("XDG_DATA_HOME");
    const std::string home = savedHome ? savedHome : "";
    const std::string xdg = savedXdg ? savedXdg : "";

    setenv("HOME", "/home/ann", 1);
    setenv("XDG_DATA_HOME", "/data", 1);
    EXPECT_EQ(defaultProjectsRoot(), fs::path("/data/Verseloom/projects"));
    setenv("XDG_DATA_HOME", "relative", 1);
    EXPECT_EQ(defaultProjectsRoot(), fs::path("/home/ann/.local/share/Verseloom/projects"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(defaultProjectsRoot(), fs::path("/home/ann/.local/share/Verseloom/projects"));
    unsetenv("HOME");
    try {
        defaultProjectsRoot();
        ADD_FAILURE() << "expected an error";
    } catch (const MediaLibraryError& e) {
        EXPECT_EQ(e.code(), MediaLibraryError::noDataFolder);
    }

    if (savedHome) setenv("HOME", home.c_str(), 1);
    if (savedXdg) setenv("XDG_DATA_HOME", xdg.c_str(), 1);
}

TEST_F(ProjectLibraryTest, DamagedDocumentsAreListedWithTheirReasonAndLeftAlone)
{
    library.save(titled("older", 100));
    library.save(titled("newer", 200));
    const Uuid broken = Uuid::random(), huge = Uuid::random(), folderDoc = Uuid::random(), fifo = Uuid::random();
    writeFile(root / broken.text() / "project.json", "{\"title\": ");
    writeFile(root / huge.text() / "project.json", "{}");
    fs::resize_file(root / huge.text() / "project.json", kMaxProjectFileBytes + 1); // sparse
    fs::create_directories(root / folderDoc.text() / "project.json");
    fs::create_directories(root / fifo.text());
    ASSERT_EQ(::mkfifo((root / fifo.text() / "project.json").c_str(), 0600), 0);
    fs::create_directories(root / Uuid::random().text()); // no document at all: not a project

    // The titles of the readable entries in order, and the damage of the others by id.
    const auto split = [](const auto& entries, auto value) {
        std::pair<std::vector<std::string>, std::map<Uuid, std::string>> found;
        for (const auto& entry : entries) {
            if (const auto& read = entry.*value)
                found.first.push_back(read->title);
            else
                found.second[entry.id] = entry.damage;
        }
        return found;
    };
    const auto listed = split(library.listEntries(), &ProjectEntry::project);
    EXPECT_EQ(listed.first, (std::vector<std::string>{"newer", "older"}));
    EXPECT_EQ(listed.second, (std::map<Uuid, std::string>{{broken, "its file is damaged"},
                                                          {huge, "its file is larger than 64 MB"},
                                                          {folderDoc, "its file is not a plain file"},
                                                          {fifo, "its file is not a plain file"}}));
    EXPECT_EQ(split(library.listSummaries(), &ProjectListing::summary), listed)
        << "the list the menu shows reads only the listed fields, and finds the same";
    EXPECT_EQ(library.readProject(huge).damage, std::optional<std::string>("its file is larger than 64 MB"));
    const ProjectReading missing = library.readProject(Uuid::random());
    EXPECT_FALSE(missing.project || missing.damage) << "a missing folder is no damage";
    EXPECT_EQ(files::readAll(root / broken.text() / "project.json"), "{\"title\": ");
    EXPECT_EQ(fs::file_size(root / huge.text() / "project.json"), kMaxProjectFileBytes + 1);
}

TEST_F(ProjectLibraryTest, LyricsOverTheLimitAreCutAsAProjectIsReadAndTheFileIsLeftAlone)
{
    Project p = titled("long", 100);
    while (p.rawLyrics.size() <= 3 * kMaxLyricsBytes)
        p.rawLyrics += "a line of the song that goes on\n";
    library.save(p);
    Project shortOne = titled("short", 200);
    shortOne.rawLyrics = "one line";
    library.save(shortOne);
    const std::string stored = files::readAll(library.library(p.id).projectFile());

    const ProjectReading reading = library.readProject(p.id);
    ASSERT_TRUE(reading.project);
    EXPECT_TRUE(reading.lyricsCut);
    const std::string& kept = reading.project->rawLyrics;
    EXPECT_LE(kept.size(), kMaxLyricsBytes);
    EXPECT_GT(kept.size(), kMaxLyricsBytes - 40);
    EXPECT_EQ(kept, p.rawLyrics.substr(0, kept.size()));
    EXPECT_EQ(p.rawLyrics[kept.size()], '\n') << "the last line kept is whole";
    EXPECT_EQ(files::readAll(library.library(p.id).projectFile()), stored) << "reading writes nothing";

    const ProjectReading other = library.readProject(shortOne.id);
    EXPECT_FALSE(other.lyricsCut);
    EXPECT_EQ(other.project->rawLyrics, "one line");
}

TEST_F(ProjectLibraryTest, AProjectTooLargeToReadBackIsNotWritten)
{
    Project p = titled("small", 100);
    library.save(p);
    const std::string before = files::readAll(library.library(p.id).projectFile());
    Project other = titled("other", 200);
    library.save(other);

    p.rawLyrics.assign(kMaxProjectFileBytes, 'l');
    EXPECT_THROW(library.save(p), ProjectTooLarge);
    EXPECT_EQ(files::readAll(library.library(p.id).projectFile()), before);
    EXPECT_EQ(settings.string("lastProjectID"), other.id.text());
}

TEST_F(ProjectLibraryTest, RelativePathsNameFilesInTheProjectFolder)
{
    const Uuid id = Uuid::random();
    const fs::path folder = root / id.text();
    writeFile(folder / "project.json", R"({
        "audioPath": "song.m4a",
        "chunks": [{"id": "11111111-2222-4333-8444-555555555555", "index": 0, "chunkNumber": 1,
                    "start": 0, "end": 1, "lyricExcerpt": "", "renderedText": "", "surface": "",
                    "primaryCharacterInFrame": true, "elementIdsUsed": [], "imagePrompt": "", "videoPrompt": "",
                    "frame": {"id": "21111111-2222-4333-8444-555555555555", "localPath": "frames/a.png",
                              "motionClipPath": "clips/../clips/a.mp4", "prompt": "",
                              "review": {"spellingCorrect": false, "readable": false, "placementOK": false,
                                         "characterConsistent": false, "styleContinuous": false},
                              "createdAt": "2024-01-01T00:00:00Z"},
                    "undoStack": [{"id": "31111111-2222-4333-8444-555555555555", "localPath": "/abs/old.png",
                                   "prompt": "",
                                   "review": {"spellingCorrect": false, "readable": false, "placementOK": false,
                                              "characterConsistent": false, "styleContinuous": false},
                                   "createdAt": "2024-01-01T00:00:00Z"}],
                    "redoStack": []}],
        "characters": [{"id": "41111111-2222-4333-8444-555555555555", "name": "Mara", "notes": "",
                        "referenceImagePaths": ["refs/mara.png", ""], "processedImagePath": "characters/m.png"}],
        "plan": {"artDirectionStatement": "", "ideogramStylePreset": "", "palette": [], "colorScheme": [],
                 "motif": "", "storyline": "", "emotionalArc": "", "visualAnchor": "", "rawJSON": "",
                 "elements": [{"id": "kite", "type": "", "continuityDescription": "", "textToImagePrompt": "",
                               "imageLocalPath": "elements/kite.png"}]}
    })");
    const auto p = library.loadProject(id);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->audioPath, (folder / "song.m4a").string());
    ASSERT_EQ(p->chunks.size(), 1u);
    EXPECT_EQ(p->chunks[0].frame->localPath, (folder / "frames/a.png").string());
    EXPECT_EQ(p->chunks[0].frame->motionClipPath, (folder / "clips/a.mp4").string());
    EXPECT_EQ(p->chunks[0].undoStack.at(0).localPath, "/abs/old.png") << "absolute paths stay as they are";
    EXPECT_EQ(p->characters.at(0).referenceImagePaths,
              (std::vector<std::string>{(folder / "refs/mara.png").string(), ""}))
        << "an empty path stays empty";
    EXPECT_EQ(p->characters.at(0).processedImagePath, (folder / "characters/m.png").string());
    EXPECT_EQ(p->plan->elements.at(0).imageLocalPath, (folder / "elements/kite.png").string());
}

TEST_F(ProjectLibraryTest, LeftoverTemporariesGoOnlyOurNamesAndOnlyOldOnes)
{
    const Project p = titled("kept", 100);
    library.save(p);
    const fs::path folder = library.library(p.id).root();
    const auto earlier = fs::file_time_type::clock::now() - std::chrono::hours(1);
    const std::string id = Uuid::random().text();
    std::string lowerID = Uuid::random().text();
    for (char& c : lowerID) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto make = [&](const fs::path& path, bool old) {
        writeFile(path, "x");
        if (old)
            fs::last_write_time(path, earlier);
        return path;
    };
    struct Case {
        const char* name;
        fs::path path;
        bool removed;
    };
    const Case cases[] = {
        {"a document write cut short", make(folder / (".project.json." + id + ".tmp"), true), true},
        {"a download cut short", make(folder / "frames" / (".f.png." + id + ".part"), true), true},
        {"a clip cut short", make(folder / "clips" / (".c.mp4." + id + ".tmp"), true), true},
        {"a write of this run", make(folder / (".project.json." + Uuid::random().text() + ".tmp"), false), false},
        {"the user's own hidden file", make(folder / ".notes.tmp", true), false},
        {"a name with a lower-case id", make(folder / (".a." + lowerID + ".tmp"), true), false},
        {"a picture", make(folder / "frames" / "f.png", true), false},
    };
    const fs::path link = folder / (".link." + Uuid::random().text() + ".tmp");
    fs::create_symlink(folder / "project.json", link);

    EXPECT_EQ(library.removeLeftoverTemporaries(p.id, fs::file_time_type::clock::now() - std::chrono::minutes(1)), 3);
    for (const auto& c : cases)
        EXPECT_EQ(fs::exists(c.path), !c.removed) << c.name;
    EXPECT_TRUE(fs::is_symlink(link)) << "a link is never followed or removed";
    EXPECT_TRUE(library.loadProject(p.id)) << "the document itself stays";
}

TEST(ProjectSummary, ReadsTheListedFieldsAsTheFullReaderDoes)
{
    const Project full = fixtures::fullProject();
    const std::string document = encodeProjectDocument(full);
    const ProjectSummary summary = decodeProjectSummary(document);
    EXPECT_EQ(summary.title, full.title);
    EXPECT_EQ(summary.framed, full.framedCount());
    EXPECT_EQ(summary.total, full.chunks.size());
    EXPECT_EQ(summary.updatedAt, full.updatedAt);
    ASSERT_GT(summary.framed, 0u);
    ASSERT_LT(summary.framed, summary.total) << "the fixture has chunks with and without frames";

    struct Case {
        const char* name;
        std::string bytes;
        ProjectSummary expected; // updatedAt checked only when the document has one
    };
    const Case cases[] = {
        {"nothing but braces", "{}", {"", 0, 0, {}}},
        {"null counts as missing", R"({"title":null,"chunks":null,"updatedAt":null})", {"", 0, 0, {}}},
        {"a frame that is null is no frame",
         R"({"title":"T","updatedAt":"2024-01-02T03:04:05Z","chunks":[{"frame":null},{"frame":{"x":[{}]}},{}]})",
         {"T", 1, 3, fixtures::at(1704164645)}},
        {"the last of repeated keys wins", R"({"title":"a","title":"b","chunks":[{}],"chunks":[{},{}]})",
         {"b", 0, 2, {}}},
        {"nested look-alikes are not the project's",
         R"({"plan":{"title":"no","chunks":[{"frame":{}}]},"transcript":[{"frame":{}}],"chunks":[{"x":{"frame":{}}}]})",
         {"", 0, 1, {}}},
    };
    for (const Case& c : cases) {
        const ProjectSummary read = decodeProjectSummary(c.bytes);
        EXPECT_EQ(read.title, c.expected.title) << c.name;
        EXPECT_EQ(read.framed, c.expected.framed) << c.name;
        EXPECT_EQ(read.total, c.expected.total) << c.name;
        if (c.expected.updatedAt != Date{}) {
            EXPECT_EQ(read.updatedAt, c.expected.updatedAt) << c.name;
        }
    }
}

TEST(ProjectSummary, RefusesWhatTheFullReaderRefusesInTheListedFields)
{
    const std::string refused[] = {
        "",
        "[1,2,3]",
        "{\"title\": \"trunc",
        "{\"title\":[\"wrong\"]}",
        "{\"title\":3}",
        "{\"title\":\"\xC3\x28\"}",
        "{\"updatedAt\":\"yesterday\"}",
        "{\"updatedAt\":17}",
        "{\"chunks\":{}}",
        "{\"chunks\":\"none\"}",
        "{\"chunks\":[1]}",
        "{\"chunks\":[null]}",
        "{\"chunks\":[[]]}",
        "{\"chunks\":[{\"frame\":\"a.png\"}]}",
        "{\"chunks\":[{\"start\":1e400}]}",
        std::string(100000, '[') + std::string(100000, ']'),
        "{\"a\":" + std::string(300, '{') + std::string(300, '}') + "}",
        "{} trailing",
    };
    for (const std::string& bytes : refused) {
        EXPECT_THROW(decodeProjectSummary(bytes), json::DecodeError) << bytes.substr(0, 40);
        EXPECT_THROW(decodeProjectDocument(bytes), json::DecodeError) << bytes.substr(0, 40);
    }
}
