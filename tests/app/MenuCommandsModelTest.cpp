#include "AppFixtures.h"

#include "app/MenuCommandsModel.h"

#include <QSignalSpy>
#include <QVariantMap>

#include <gtest/gtest.h>

using namespace vl;
using namespace vl::app;
using vl::testing::projectWithChunks;
using vl::testing::StoreHarness;

TEST(OpenProjectMenu, EntriesFromTheSavedProjects)
{
    const Uuid a = Uuid::random();
    const Uuid b = Uuid::random();
    struct Case {
        const char* name;
        std::vector<ProjectRef> saved;
        std::vector<OpenProjectEntry> entries;
    };
    const Case cases[] = {
        {"none saved", {}, {{"No saved projects", std::nullopt}}},
        {"one", {{a, "Night Drive", 3, 12, {}, {}}}, {{"Night Drive \u2014 3/12 frames", a}}},
        {"in the list's order, zero frames and big counts",
         {{b, "Untitled", 0, 0, {}, {}}, {a, "Long \u2014 Song", 1234567, 9876543210LL, {}, {}}},
         {{"Untitled \u2014 0/0 frames", b}, {"Long \u2014 Song \u2014 1234567/9876543210 frames", a}}},
        {"a damaged one is listed with its reason, still choosable",
         {{a, "Night Drive", 3, 12, {}, {}}, {b, "Untitled", 0, 0, {}, "its file is damaged"}},
         {{"Night Drive \u2014 3/12 frames", a},
          {"Damaged project " + b.text().substr(0, 8) + " \u2014 its file is damaged", b}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(openProjectEntries(c.saved), c.entries);
    }
}

TEST(OpenProjectMenu, CommandsReachTheStoreAndTheListFollowsIt)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(12, 3, "First"));
    MenuCommandsModel menu(store.get());
    const Uuid firstID = store->project().id;

    // The list is read on a worker; until it is, the menu says so.
    auto entries = menu.openProjectEntryList();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toMap()["text"].toString(), QString::fromUtf8("Reading saved projects\u2026"));
    EXPECT_EQ(entries[0].toMap()["projectID"].toString(), "");
    QSignalSpy listChanged(&menu, &MenuCommandsModel::openProjectEntriesChanged);
    ASSERT_TRUE(listChanged.wait(30000));
    entries = menu.openProjectEntryList();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].toMap()["text"].toString(), "No saved projects");
    EXPECT_EQ(entries[0].toMap()["projectID"].toString(), "");

    // New Project saves the one being left; the list shows it once read again.
    listChanged.clear();
    menu.newProject();
    EXPECT_EQ(store->project().title, "Untitled");
    ASSERT_TRUE(listChanged.wait(30000));
    entries = menu.openProjectEntryList();
    bool found = false;
    for (const auto& e : entries) {
        if (e.toMap()["projectID"].toString() == QString::fromStdString(firstID.text())) {
            found = true;
            EXPECT_EQ(e.toMap()["text"].toString(), QString::fromUtf8("First \u2014 3/12 frames"));
        }
    }
    EXPECT_TRUE(found);

    // Choosing it opens it; choosing the open one again changes nothing.
    menu.openProject(QString::fromStdString(firstID.text()));
    EXPECT_EQ(store->project().id, firstID);
    EXPECT_EQ(store->selectedStage(), PipelineStage::frames);
    QSignalSpy projectChanged(store.get(), &ProjectStore::projectChanged);
    menu.openProject(QString::fromStdString(firstID.text()));
    EXPECT_EQ(projectChanged.count(), 0);

    // Text that is no id, and a file URL that is no local file, do nothing.
    menu.openProject("not-an-id");
    menu.importPlanFromFile(QUrl("https://example.com/plan.json"));
    EXPECT_EQ(projectChanged.count(), 0);
    EXPECT_EQ(store->project().id, firstID);

    // Reset replaces the project with a fresh untitled one on the first stage.
    store->setLastError("The planner failed.");
    menu.resetProject();
    EXPECT_NE(store->project().id, firstID);
    EXPECT_EQ(store->project().title, "Untitled");
    EXPECT_EQ(store->selectedStage(), PipelineStage::intake);
    EXPECT_FALSE(store->lastError().has_value());
}
