#include "ModelFixtures.h"

#include "model/Files.h"
#include "model/MediaLibrary.h"
#include "model/ProjectJson.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
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
