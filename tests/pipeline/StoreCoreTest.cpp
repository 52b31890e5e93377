#include "StoreHarness.h"

#include "model/Cancellation.h"
#include "model/Json.h"
#include "model/LyricsLimit.h"
#include "model/MediaLibrary.h"
#include "model/PipelineError.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <fstream>
#include <latch>
#include <thread>

using namespace vl;
using namespace vl::testing;

namespace {

struct StoreCore : ::testing::Test {
    StoreHarness h;
};

} // namespace

TEST_F(StoreCore, FirstStartOpensTheSampleAndSavesItAboutOneSecondLater)
{
    auto store = h.make();
    EXPECT_EQ(store->project().title, "Neon Overpass");
    EXPECT_EQ(store->project().artist, "The Marker Kids");
    EXPECT_TRUE(store->savedProjects().empty());
    EXPECT_EQ(store->generationModel(), "fal-ai/flux/dev");
    EXPECT_EQ(store->editWorkflow(), "workflows/brindlecove/lyric-video-edit-frame");
    EXPECT_EQ(store->proxyBaseURL(), kDefaultRelayURL);
    EXPECT_FALSE(store->hasFalAPIKey());
    EXPECT_EQ(store->selectedStage(), PipelineStage::intake);

    const auto file = h.projectsRoot() / store->project().id.text() / "project.json";
    EXPECT_FALSE(std::filesystem::exists(file)) << "start-up itself writes nothing";
    EXPECT_FALSE(h.settings.string("lastProjectID"));
    ASSERT_TRUE(waitUntil([&] { return h.settings.string("lastProjectID").has_value(); }, 60000));
    EXPECT_TRUE(std::filesystem::exists(file)) << "remembered only once written";
    EXPECT_EQ(h.settings.string("lastProjectID"), store->project().id.text());
}

TEST_F(StoreCore, StartUpTakesTheLastProjectAndStoredSettings)
{
    Project saved = ProjectStore::defaultNewProject();
    saved.title = "Saved song";
    ProjectLibrary(h.projectsRoot(), h.settings).save(saved);
    h.settings.setString("generationModel", "custom/model");
    h.settings.setString("proxyBaseURL", "   ");
    h.storedKey = "key";

    auto store = h.make();
    EXPECT_EQ(store->project(), saved);
    EXPECT_EQ(store->generationModel(), "custom/model");
    EXPECT_TRUE(store->hasFalAPIKey());
    // A stored address is normalised once and written back.
    EXPECT_EQ(store->proxyBaseURL(), kDefaultRelayURL);
    EXPECT_EQ(h.settings.string("proxyBaseURL"), std::string(kDefaultRelayURL));
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    ASSERT_EQ(store->savedProjects().size(), 1u);
    EXPECT_EQ(store->savedProjects()[0].title, "Saved song");
}

TEST_F(StoreCore, SettingUpdatesPersistAndTheRelayIsResolved)
{
    auto store = h.make();
    store->updateGenerationModel(" spaced ");
    store->updateProxyBaseURL("https://relay.example.org/r/");
    EXPECT_EQ(h.settings.string("generationModel"), std::string(" spaced "));
    EXPECT_EQ(store->proxyBaseURL(), "https://relay.example.org/r");
    EXPECT_EQ(h.settings.string("proxyBaseURL"), std::string("https://relay.example.org/r"));
    store->setEditWorkflow("plain");
    EXPECT_FALSE(h.settings.string("editWorkflow")) << "the plain setter persists nothing";
}

TEST_F(StoreCore, TenQuickEditsGiveOneSave)
{
    h.autosaveDelay = std::chrono::milliseconds(300);
    auto store = h.make();
    ASSERT_TRUE(waitUntil([&] { return h.settings.string("lastProjectID").has_value(); }));
    QSignalSpy saves(store.get(), &ProjectStore::projectSaved);
    // One burst: no event is handled between the edits, so however slow the machine,
    // each restarts the quiet period before it can end.
    for (int i = 0; i < 10; ++i)
        store->editProject([i](Project& p) { p.title = "Edit " + std::to_string(i); });
    ASSERT_TRUE(waitUntil([&] { return saves.count() > 0; }, 60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(saves.count(), 1);
    const auto loaded = ProjectLibrary(h.projectsRoot(), h.settings).loadLastProject();
    ASSERT_TRUE(loaded);
    EXPECT_EQ(loaded->title, "Edit 9");
}

TEST_F(StoreCore, FailedAutosaveIsReportedAndRetriedOnTheNextChange)
{
    h.autosaveDelay = std::chrono::milliseconds(50);
    // A file where the projects folder should be: every save fails.
    std::filesystem::create_directories(h.folder.path());
    std::ofstream(h.projectsRoot()) << "in the way";
    auto store = h.make();
    ASSERT_TRUE(waitUntil([&] { return store->lastError().has_value(); }));
    EXPECT_NE(store->lastError()->find("Couldn't save the project"), std::string::npos);

    std::filesystem::remove(h.projectsRoot());
    store->setLastError(std::nullopt);
    store->editProject([](Project& p) { p.title = "Again"; });
    ASSERT_TRUE(waitUntil([&] { return h.settings.string("lastProjectID").has_value(); }));
    EXPECT_FALSE(store->lastError());
}

TEST_F(StoreCore, RunWrapperShowsFailuresAndHidesCancellation)
{
    auto store = h.make();
    struct Case {
        const char* name;
        std::function<void()> fail;
        std::optional<std::string> banner;
    };
    const Case cases[] = {
        {"pipeline error", [] { throw PipelineError(PipelineError::missingAudio); },
         "Import an audio track before running timing."},
        {"any exception's sentence", [] { throw std::runtime_error("The network connection was lost."); },
         "The network connection was lost."},
        {"cancellation is silent", [] { throw Cancelled{}; }, std::nullopt},
    };
    for (const auto& c : cases) {
        store->setLastError("old banner");
        bool applied = false;
        store->run("Working", Workers::Pool::cpu, [&](RunReporter&) -> ApplyFn {
            c.fail();
            return [&] { applied = true; };
        });
        EXPECT_EQ(store->runningTask(), std::optional<std::string>("Working")) << c.name;
        EXPECT_FALSE(store->lastError()) << c.name << ": a run clears the banner when it starts";
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        EXPECT_EQ(store->lastError(), c.banner) << c.name;
        EXPECT_FALSE(store->runningTask()) << c.name;
        EXPECT_FALSE(store->taskProgress()) << c.name;
        EXPECT_FALSE(applied) << c.name;
    }
}

TEST_F(StoreCore, ReportsFromWorkersClampAndNameTheQueue)
{
    auto store = h.make();
    std::latch reported(1), release(1);
    std::vector<std::optional<double>> progress;
    std::vector<std::optional<std::string>> labels;
    QObject::connect(store.get(), &ProjectStore::taskProgressChanged, [&] { progress.push_back(store->taskProgress()); });
    QObject::connect(store.get(), &ProjectStore::runningTaskChanged, [&] { labels.push_back(store->runningTask()); });
    store->run("Rendering", Workers::Pool::cpu, [&](RunReporter& r) -> ApplyFn {
        r.progress(1.7);
        r.progress(-0.2);
        r.progress(std::nan(""));
        r.queuePosition(0);
        r.queuePosition(std::nullopt);
        r.queuePosition(3);
        reported.count_down();
        release.wait();
        return {};
    });
    reported.wait();
    ASSERT_TRUE(waitUntil([&] { return progress.size() >= 3; }, 60000));
    EXPECT_EQ(progress, (std::vector<std::optional<double>>{1.0, 0.0, 1.0}));
    EXPECT_EQ(store->runningTask(), std::optional<std::string>("In queue (position 3)"));
    release.count_down();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(labels.front(), std::optional<std::string>("Rendering"));
    EXPECT_FALSE(store->runningTask());
}

TEST_F(StoreCore, OverlappingRunsKeepTheNewestLabel)
{
    auto store = h.make();
    std::latch releaseA(1), releaseB(1);
    bool aEnded = false;
    store->run("A", Workers::Pool::network, [&](RunReporter&) -> ApplyFn { releaseA.wait(); return {}; }, {},
               [&] { aEnded = true; });
    store->run("B", Workers::Pool::network, [&](RunReporter& r) -> ApplyFn {
        r.progress(0.5);
        releaseB.wait();
        return {};
    });
    EXPECT_EQ(store->runningTask(), std::optional<std::string>("B"));
    releaseA.count_down();
    ASSERT_TRUE(waitUntil([&] { return aEnded && store->taskProgress() == std::optional<double>(0.5); }, 60000));
    EXPECT_EQ(store->runningTask(), std::optional<std::string>("B")) << "A finishing must not clear B's label";
    EXPECT_EQ(store->taskProgress(), std::optional<double>(0.5));
    releaseB.count_down();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_FALSE(store->runningTask());
}

TEST_F(StoreCore, AResultIsAppliedOnlyToTheProjectItStartedOn)
{
    auto store = h.make();
    std::latch release(1);
    store->run("Planning", Workers::Pool::network, [&](RunReporter&) -> ApplyFn {
        release.wait();
        return [&store] { store->editProject([](Project& p) { p.conceptPrompt = "from the old project"; }); };
    });
    store->newProject();
    const Uuid newID = store->project().id;
    release.count_down();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(store->project().id, newID);
    EXPECT_EQ(store->project().conceptPrompt, "");
}

TEST_F(StoreCore, StageChangeClearsTheBannerOnlyWhenTheStageChanges)
{
    auto store = h.make();
    store->setLastError("Something failed");
    store->setSelectedStage(PipelineStage::intake);
    EXPECT_TRUE(store->lastError());
    store->setSelectedStage(PipelineStage::timing);
    EXPECT_FALSE(store->lastError());
    store->setSelectedStageIndex(9); // no such stage
    EXPECT_EQ(store->selectedStage(), PipelineStage::timing);
}

TEST_F(StoreCore, DestroyingTheStoreStopsAndJoinsEveryJob)
{
    std::atomic<bool> sawStop{false};
    std::latch started(1);
    {
        auto store = h.make();
        store->run("Long", Workers::Pool::cpu, [&](RunReporter& r) -> ApplyFn {
            started.count_down();
            while (!r.stop().stop_requested())
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            sawStop = true;
            throw Cancelled{};
        });
        started.wait();
    }
    EXPECT_TRUE(sawStop);
}

TEST_F(StoreCore, ProjectManagement)
{
    h.autosaveDelay = std::chrono::milliseconds(50);
    auto store = h.make();
    ASSERT_TRUE(waitUntil([&] { return h.settings.string("lastProjectID").has_value(); }));
    const Uuid sampleID = store->project().id;

    store->newProject();
    EXPECT_EQ(store->project().title, "Untitled");
    EXPECT_NE(store->project().id, sampleID);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    ASSERT_EQ(store->savedProjects().size(), 1u) << "the new project is listed only once it is saved";

    store->setSelectedStage(PipelineStage::motion);
    store->setLastError("banner");
    store->openProject(sampleID);
    EXPECT_EQ(store->project().id, sampleID);
    EXPECT_EQ(store->selectedStage(), PipelineStage::frames);
    EXPECT_FALSE(store->lastError());
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_EQ(store->savedProjects().size(), 2u);

    store->setSelectedStage(PipelineStage::storyboard);
    store->openProject(sampleID); // already open: nothing changes
    EXPECT_EQ(store->selectedStage(), PipelineStage::storyboard);

    store->openProject(Uuid::random());
    EXPECT_EQ(store->lastError(),
              std::optional<std::string>("Could not open that project \u2014 its file may be missing."));
    EXPECT_EQ(store->project().id, sampleID);

    store->setSelectedStage(PipelineStage::intake);
    store->setLastError("banner");
    store->resetProject();
    EXPECT_FALSE(store->lastError());
    EXPECT_EQ(store->project().title, "Untitled");
}

TEST_F(StoreCore, TheSavedProjectsAreReadOnAWorkerAndArriveLater)
{
    h.autosaveDelay = std::chrono::hours(1); // the open project stays off the list
    auto store = h.make(ProjectStore::defaultNewProject());
    QSignalSpy listed(store.get(), &ProjectStore::savedProjectsChanged);
    EXPECT_FALSE(store->savedProjectsRead()) << "start-up leaves the reading to a worker";
    ASSERT_TRUE(listed.wait(30000));
    EXPECT_TRUE(store->savedProjectsRead());
    EXPECT_TRUE(store->savedProjects().empty());

    Project framed = ProjectStore::defaultNewProject();
    framed.title = "Night Drive";
    framed.updatedAt = Date(std::chrono::seconds(1700000000));
    framed.chunks.resize(3);
    framed.chunks[1].setFrame(GeneratedFrame{});
    const ProjectLibrary library(h.projectsRoot(), h.settings);
    library.save(framed);
    const Uuid broken = Uuid::random();
    std::filesystem::create_directories(MediaLibrary(broken, h.projectsRoot()).root());
    std::ofstream(MediaLibrary(broken, h.projectsRoot()).projectFile()) << "{\"chunks\": [";

    listed.clear();
    store->refreshSavedProjects();
    EXPECT_TRUE(store->savedProjects().empty()) << "the documents are not read on the calling thread";
    EXPECT_EQ(listed.count(), 0);
    // A second refresh while the first runs: the list that lands includes what it finds.
    Project later = ProjectStore::defaultNewProject();
    later.title = "";
    later.updatedAt = framed.updatedAt + std::chrono::seconds(100);
    library.save(later);
    store->refreshSavedProjects();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store, 30000));
    const std::vector<ProjectRef> expected{
        {later.id, "Untitled", 0, 0, later.updatedAt, std::nullopt},
        {framed.id, "Night Drive", 1, 3, framed.updatedAt, std::nullopt},
        {broken, "Untitled", 0, 0, Date{}, "its file is damaged"},
    };
    EXPECT_EQ(store->savedProjects(), expected);
}

// However lyrics past the limit come in, the open project holds their first lines and
// the banner says so; a stored project's file takes the cut lyrics with its next save.
TEST_F(StoreCore, LyricsPastTheLimitAreCutWhereverTheyComeFromAndTheUserIsTold)
{
    std::string longLyrics;
    for (int line = 1; longLyrics.size() <= 2 * kMaxLyricsBytes; ++line)
        longLyrics += "line " + std::to_string(line) + " of the song that never ends\n";
    const auto cutShown = [&](const ProjectStore& store, PipelineError::Code sentence) {
        const std::string& kept = store.project().rawLyrics;
        EXPECT_LE(kept.size(), kMaxLyricsBytes);
        EXPECT_GT(kept.size(), kMaxLyricsBytes - 100);
        EXPECT_EQ(kept, longLyrics.substr(0, kept.size()));
        EXPECT_EQ(store.lastError(), std::string(PipelineError::message(sentence)));
    };
    const ProjectLibrary library(h.projectsRoot(), h.settings);
    Project last = ProjectStore::defaultNewProject();
    last.rawLyrics = longLyrics;
    Project other = ProjectStore::defaultNewProject();
    other.rawLyrics = longLyrics;
    library.save(other);
    library.save(last);
    h.autosaveDelay = std::chrono::milliseconds(50);

    auto store = h.make(); // opens the last project
    {
        SCOPED_TRACE("the last project, at start-up");
        cutShown(*store, PipelineError::lyricsCutOnOpen);
        const auto file = library.library(last.id).projectFile();
        EXPECT_TRUE(waitUntil([&] {
            return decodeProjectDocument(files::readAll(file)).rawLyrics == store->project().rawLyrics;
        })) << "the file keeps lyrics the project no longer holds";
    }
    {
        SCOPED_TRACE("a project opened from the list");
        store->openProject(other.id);
        cutShown(*store, PipelineError::lyricsCutOnOpen);
    }
    {
        SCOPED_TRACE("an edit");
        store->setLastError(std::nullopt);
        store->editProject([&](Project& p) { p.rawLyrics = longLyrics; });
        cutShown(*store, PipelineError::lyricsCut);
    }
}

TEST_F(StoreCore, CloudStepsReadTheKeyAtEachOperation)
{
    auto store = h.make();
    EXPECT_THROW(store->makeFalClient().submit("workflows/x/y", json::Json::object(), {}), FalError)
        << "no key stored: the first request reports the missing key";
    h.storedKey = kTestKey;
    const auto client = store->makeFalClient();
    EXPECT_EQ(client.transport().apiKey(), kTestKey);
    const auto submitted = client.submit("workflows/x/y", json::Json::object(), {});
    EXPECT_EQ(submitted.requestID, h.vendor.lastRequestID());
}

TEST_F(StoreCore, PlainSettingSettersStoreNothingAndTheUpdatesStore)
{
    auto store = h.make();
    // A bound text field writes every keystroke through the property.
    for (const char* typed : {"h", "ht", "https://relay.example.org/r/"}) {
        ASSERT_TRUE(store->setProperty("proxyBaseURL", QString::fromUtf8(typed)));
        EXPECT_EQ(store->proxyBaseURL(), typed) << "a keystroke is kept as typed";
    }
    store->setProperty("generationModel", QStringLiteral(" custom/model"));
    store->setProperty("editWorkflow", QStringLiteral("workflows/me/edit"));
    EXPECT_EQ(store->generationModel(), " custom/model");
    EXPECT_EQ(store->editWorkflow(), "workflows/me/edit");
    for (const char* key : {"proxyBaseURL", "generationModel", "editWorkflow"})
        EXPECT_FALSE(h.settings.string(key)) << key << " is saved only through an update";

    store->updateProxyBaseURL(store->proxyBaseURL());
    QMetaObject::invokeMethod(store.get(), "updateGenerationModelText", Q_ARG(QString, store->generationModelText()));
    QMetaObject::invokeMethod(store.get(), "updateEditWorkflowText", Q_ARG(QString, store->editWorkflowText()));
    EXPECT_EQ(store->proxyBaseURL(), "https://relay.example.org/r");
    EXPECT_EQ(h.settings.string("proxyBaseURL"), std::string("https://relay.example.org/r"));
    EXPECT_EQ(h.settings.string("generationModel"), std::string(" custom/model"));
    EXPECT_EQ(h.settings.string("editWorkflow"), std::string("workflows/me/edit"));
}

namespace {

// Makes a project's "project.json" unwritable, even for root: a folder in its place.
void blockProjectFile(const std::filesystem::path& file)
{
    std::filesystem::remove(file);
    std::filesystem::create_directories(file / "in the way");
}

void unblockProjectFile(const std::filesystem::path& file)
{
    std::filesystem::remove_all(file);
}

const std::optional<std::string> kBlockedSave("Couldn't save the project: Is a directory.");

// Once the open project's `file` is written, blocks it and edits the project: true once
// the failed autosave is the banner.
bool failToSaveAnEdit(ProjectStore& store, const std::filesystem::path& file)
{
    if (!waitUntil([&] { return std::filesystem::exists(file); }, 60000))
        return false;
    blockProjectFile(file);
    store.editProject([](Project& p) { p.title = "Edited"; });
    return waitUntil([&] { return store.lastError() == kBlockedSave; }, 60000);
}

} // namespace

TEST_F(StoreCore, ASwitchThatCannotSaveTheEditsDoesNotHappen)
{
    Project other = ProjectStore::defaultNewProject();
    other.title = "Other";
    ProjectLibrary(h.projectsRoot(), h.settings).save(other);

    struct Case {
        const char* name;
        std::function<void(ProjectStore&)> leave;
    };
    const Case cases[] = {
        {"new project", [](ProjectStore& s) { s.newProject(); }},
        {"reset", [](ProjectStore& s) { s.resetProject(); }},
        {"open another", [&](ProjectStore& s) { s.openProject(other.id); }},
    };
    for (const auto& c : cases) {
        Project open = ProjectStore::defaultNewProject();
        open.title = "Open";
        auto store = h.make(open);
        const auto file = MediaLibrary(open.id, h.projectsRoot()).projectFile();
        store->flushAutosave();
        ASSERT_TRUE(std::filesystem::exists(file)) << c.name;

        // Nothing unsaved: a project whose folder cannot be written can still be left.
        blockProjectFile(file);
        c.leave(*store);
        EXPECT_NE(store->project().id, open.id) << c.name;
        store->openProject(open.id); // unreadable now
        EXPECT_NE(store->project().id, open.id) << c.name;
        unblockProjectFile(file);
        ProjectLibrary(h.projectsRoot(), h.settings).save(open);
        store->openProject(open.id);
        ASSERT_EQ(store->project().id, open.id) << c.name;

        // An edit that cannot be written keeps the project open and says why.
        blockProjectFile(file);
        store->editProject([](Project& p) { p.title = "Edited"; });
        c.leave(*store);
        EXPECT_EQ(store->project().id, open.id) << c.name;
        EXPECT_EQ(store->project().title, "Edited") << c.name;
        ASSERT_TRUE(store->lastError()) << c.name;
        EXPECT_EQ(*store->lastError(),
                  "Couldn't save the project: Is a directory. It stays open so your latest changes are not lost.")
            << c.name;

        // Once the folder takes writes again, the switch saves the edit and goes.
        unblockProjectFile(file);
        c.leave(*store);
        EXPECT_NE(store->project().id, open.id) << c.name;
        const auto saved = ProjectLibrary(h.projectsRoot(), h.settings).loadProject(open.id);
        ASSERT_TRUE(saved) << c.name;
        EXPECT_EQ(saved->title, "Edited") << c.name;
        store.reset();
        std::filesystem::remove_all(MediaLibrary(open.id, h.projectsRoot()).root());
    }
}

TEST_F(StoreCore, AFailedAutosaveWaitsAndQuittingRetriesIt)
{
    h.autosaveDelay = std::chrono::milliseconds(50);
    Project open = ProjectStore::defaultNewProject();
    auto store = h.make(open);
    const auto file = MediaLibrary(open.id, h.projectsRoot()).projectFile();
    ASSERT_TRUE(failToSaveAnEdit(*store, file));

    // Quitting while it still fails: the window stays, once.
    EXPECT_FALSE(store->saveBeforeQuitting());
    EXPECT_EQ(*store->lastError(),
              "Couldn't save the project: Is a directory. Close the window again to quit without your latest changes.");
    EXPECT_TRUE(store->saveBeforeQuitting()) << "asked again, it lets go";
    store->editProject([](Project& p) { p.title = "Edited again"; });
    EXPECT_FALSE(store->saveBeforeQuitting()) << "a newer edit warns again";

    // The folder takes writes again: quitting writes what waited.
    unblockProjectFile(file);
    store->flushAutosave();
    const auto saved = ProjectLibrary(h.projectsRoot(), h.settings).loadProject(open.id);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->title, "Edited again");
    EXPECT_TRUE(store->saveBeforeQuitting());
}

// A failed save keeps trying on its own and keeps saying so: the banner outlives what
// clears other banners, comes back at the next failed try after a dismissal, and goes
// once a save lands, with no further edit.
TEST_F(StoreCore, AFailedSaveIsRetriedOnATimerAndItsBannerStaysUntilASaveLands)
{
    h.autosaveDelay = std::chrono::milliseconds(50);
    h.saveRetryDelay = std::chrono::milliseconds(100);
    Project open = ProjectStore::defaultNewProject();
    auto store = h.make(open);
    const auto file = MediaLibrary(open.id, h.projectsRoot()).projectFile();
    ASSERT_TRUE(failToSaveAnEdit(*store, file));
    const auto failure = kBlockedSave;

    store->setSelectedStage(PipelineStage::timing);
    EXPECT_EQ(store->lastError(), failure) << "a stage change keeps the banner while the edit is unsaved";
    store->setLastError("The planner failed.");
    store->setLastError(std::nullopt);
    EXPECT_EQ(store->lastError(), failure) << "clearing a later error brings the failed save back";

    store->dismissLastError();
    EXPECT_FALSE(store->lastError());
    ASSERT_TRUE(waitUntil([&] { return store->lastError() == failure; }, 60000)) << "no try of its own";

    // The folder takes writes again: a try lands without a further edit.
    unblockProjectFile(file);
    ASSERT_TRUE(waitUntil([&] { return !store->lastError(); }, 60000)) << "the banner outlived the save";
    const auto saved = ProjectLibrary(h.projectsRoot(), h.settings).loadProject(open.id);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->title, "Edited");
    store->setSelectedStage(PipelineStage::intake);
    EXPECT_FALSE(store->lastError());
}

TEST_F(StoreCore, ACopiedProjectFolderIsAProjectOfItsOwn)
{
    Project original = ProjectStore::defaultNewProject();
    original.title = "Original";
    ProjectLibrary(h.projectsRoot(), h.settings).save(original);
    // The user copies the folder under another id: two folders, one id inside.
    const Uuid copyID = Uuid::random();
    const auto originalFolder = MediaLibrary(original.id, h.projectsRoot()).root();
    const auto copyFolder = MediaLibrary(copyID, h.projectsRoot()).root();
    std::filesystem::copy(originalFolder, copyFolder, std::filesystem::copy_options::recursive);

    auto store = h.make(ProjectStore::defaultNewProject());
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    ASSERT_EQ(store->savedProjects().size(), 2u);
    std::set<Uuid> listed;
    for (const auto& ref : store->savedProjects())
        listed.insert(ref.id);
    EXPECT_EQ(listed, (std::set<Uuid>{original.id, copyID})) << "each folder listed once, under its own id";

    store->openProject(copyID);
    ASSERT_EQ(store->project().id, copyID) << "the copy opens";
    EXPECT_FALSE(store->lastError());
    store->editProject([](Project& p) { p.title = "Copy"; });
    store->flushAutosave();

    // Each folder keeps its own project.
    const ProjectLibrary library(h.projectsRoot(), h.settings);
    EXPECT_EQ(library.loadProject(original.id)->title, "Original");
    EXPECT_EQ(library.loadProject(copyID)->title, "Copy");
    EXPECT_EQ(json::parse(files::readAll(copyFolder / "project.json"))["id"].get<std::string>(), copyID.text());
}

TEST_F(StoreCore, ADamagedLastProjectStaysListedAndIsNeverOverwritten)
{
    struct Case {
        const char* name;
        std::function<void(const std::filesystem::path&)> damage;
        std::string reason;
    };
    const Case cases[] = {
        {"cut short", [](const auto& file) { std::ofstream(file, std::ios::trunc) << "{\"title\": \"Night"; },
         "its file is damaged"},
        {"larger than any project",
         [](const auto& file) { std::filesystem::resize_file(file, kMaxProjectFileBytes + 1); },
         "its file is larger than 64 MB"},
    };
    for (const auto& c : cases) {
        StoreHarness fresh;
        // Saved only when the test says so: the list read on a worker must not race the
        // project that opened instead into the folder.
        fresh.autosaveDelay = std::chrono::hours(1);
        Project last = ProjectStore::defaultNewProject();
        last.title = "Night Drive";
        ProjectLibrary(fresh.projectsRoot(), fresh.settings).save(last);
        const auto file = MediaLibrary(last.id, fresh.projectsRoot()).projectFile();
        c.damage(file);
        const std::string damaged = files::readAll(file);

        auto store = fresh.make();
        EXPECT_NE(store->project().id, last.id) << c.name;
        EXPECT_EQ(store->lastError(), std::optional<std::string>("Could not open your last project \u2014 " + c.reason
                                                                 + ". It stays in File \u25B8 Open Project, untouched."))
            << c.name;
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        ASSERT_EQ(store->savedProjects().size(), 1u) << c.name << ": the damaged project is listed, not hidden";
        EXPECT_EQ(store->savedProjects()[0].id, last.id) << c.name;
        EXPECT_EQ(store->savedProjects()[0].damage, std::optional<std::string>(c.reason)) << c.name;

        // Opening it says what is wrong with it, not that it may be missing.
        store->openProject(last.id);
        EXPECT_EQ(store->lastError(), std::optional<std::string>("Could not open that project \u2014 " + c.reason + "."))
            << c.name;
        EXPECT_NE(store->project().id, last.id) << c.name;

        // Saving the project that opened instead never touches the damaged file.
        store->flushAutosave();
        ASSERT_TRUE(waitUntil([&] { return fresh.settings.string("lastProjectID") == store->project().id.text(); }))
            << c.name;
        EXPECT_EQ(files::readAll(file), damaged) << c.name;
        store->refreshSavedProjects();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store));
        EXPECT_EQ(store->savedProjects().size(), 2u) << c.name;
    }
}

TEST_F(StoreCore, AutosaveWritesOffTheWindowsThreadInOrderAndQuitWaitsForIt)
{
    // A writer the test can hold: while it is held, no file can be written.
    ProjectWriter writer;
    h.writer = &writer;
    h.autosaveDelay = std::chrono::milliseconds(10);
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<void> holding;
    std::future<void> held = holding.get_future();
    writer.submit([released, &holding] {
        holding.set_value();
        released.wait();
    });
    held.wait(); // the writer is busy with the hold, so what comes next queues behind it

    Project open = ProjectStore::defaultNewProject();
    auto store = h.make(open);
    const auto file = MediaLibrary(open.id, h.projectsRoot()).projectFile();
    QSignalSpy saves(store.get(), &ProjectStore::projectSaved);

    // The autosave is handed over while the writer is held: the window's thread
    // (this one) goes on with edits instead of waiting for the disk.
    store->editProject([](Project& p) { p.title = "First"; });
    ASSERT_TRUE(waitUntil([&] { return writer.waiting() == 1; }, 60000)) << "the autosave was never handed over";
    for (const char* title : {"Second", "Third"}) {
        store->editProject([title](Project& p) { p.title = title; });
        spin(30); // the quiet period may pass: one write at a time still waits
    }
    EXPECT_EQ(writer.waiting(), 1);
    EXPECT_FALSE(std::filesystem::exists(file)) << "nothing is written while the writer is held";
    EXPECT_EQ(saves.count(), 0);
    EXPECT_EQ(store->project().title, "Third");

    // Released, the writes land in order: the newest edit is what stays on disk.
    release.set_value();
    ASSERT_TRUE(waitUntil([&] {
        const auto saved = ProjectLibrary(h.projectsRoot(), h.settings).loadProject(open.id);
        return saved && saved->title == "Third";
    }, 60000));
    EXPECT_EQ(h.settings.string("lastProjectID"), open.id.text());

    // Quitting while a write is held waits for it, then writes what came after.
    std::promise<void> releaseAgain;
    writer.submit([held = releaseAgain.get_future().share()] { held.wait(); });
    store->editProject([](Project& p) { p.title = "Last words"; });
    std::jthread releaser([&] { releaseAgain.set_value(); });
    store->flushAutosave();
    const auto saved = ProjectLibrary(h.projectsRoot(), h.settings).loadProject(open.id);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->title, "Last words");
    EXPECT_TRUE(store->saveBeforeQuitting());
}

TEST_F(StoreCore, WritesLeftByAKilledSaveGoWhenTheProjectOpens)
{
    Project last = ProjectStore::defaultNewProject();
    Project other = ProjectStore::defaultNewProject();
    const ProjectLibrary library(h.projectsRoot(), h.settings);
    library.save(other);
    library.save(last);
    // What a save killed midway leaves: a temporary beside the document, from a past run.
    auto leftover = [&](const Project& p) {
        const auto path = MediaLibrary(p.id, h.projectsRoot()).root() / (".project.json." + Uuid::random().text() + ".tmp");
        std::ofstream(path) << "half a document";
        std::filesystem::last_write_time(path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
        return path;
    };
    const auto atStart = leftover(last);
    const auto atOpen = leftover(other);
    const auto userFile = MediaLibrary(other.id, h.projectsRoot()).root() / "notes.tmp";
    std::ofstream(userFile) << "mine";

    auto store = h.make(); // opens the last project
    ASSERT_EQ(store->project().id, last.id);
    EXPECT_FALSE(std::filesystem::exists(atStart)) << "opened at start";
    EXPECT_TRUE(std::filesystem::exists(atOpen)) << "a project not opened is left alone";
    store->openProject(other.id);
    ASSERT_EQ(store->project().id, other.id);
    EXPECT_FALSE(std::filesystem::exists(atOpen)) << "opened from the menu";
    EXPECT_TRUE(std::filesystem::exists(userFile)) << "only our own temporary names go";
}
