#include "StoreHarness.h"

#include "model/Cancellation.h"
#include "model/MediaLibrary.h"
#include "model/PipelineError.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <atomic>
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
    spin(600);
    EXPECT_FALSE(std::filesystem::exists(file)) << "saved before the quiet second passed";
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(file); }, 3000));
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
    for (int i = 0; i < 10; ++i) {
        store->editProject([i](Project& p) { p.title = "Edit " + std::to_string(i); });
        spin(20);
    }
    spin(900);
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
    spin(50);
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
    store->run("A", Workers::Pool::network, [&](RunReporter&) -> ApplyFn { releaseA.wait(); return {}; });
    store->run("B", Workers::Pool::network, [&](RunReporter& r) -> ApplyFn {
        r.progress(0.5);
        releaseB.wait();
        return {};
    });
    spin(50);
    EXPECT_EQ(store->runningTask(), std::optional<std::string>("B"));
    releaseA.count_down();
    spin(100);
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
    ASSERT_EQ(store->savedProjects().size(), 1u) << "the new project is listed only once it is saved";

    store->setSelectedStage(PipelineStage::motion);
    store->setLastError("banner");
    store->openProject(sampleID);
    EXPECT_EQ(store->project().id, sampleID);
    EXPECT_EQ(store->selectedStage(), PipelineStage::frames);
    EXPECT_FALSE(store->lastError());
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
