#include "cloud/FalKeyStore.h"
#include "cloud/MemorySecretStore.h"
#include "model/ProjectJson.h"
#include "pipeline/StoreHarness.h"
#include "screens/onboarding/OnboardingController.h"
#include "screens/onboarding/OnboardingModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace vl;
using namespace vl::screens;
using vl::testing::kTestKey;
using vl::testing::StoreHarness;

TEST(Onboarding, ShowsUntilTheCurrentVersionIsFinished)
{
    const std::vector<std::pair<std::optional<long long>, bool>> cases = {
        {std::nullopt, true}, {1, true}, {2, false}, {5, false}};
    for (const auto& [stored, shown] : cases) {
        MemorySettings defaults;
        if (stored)
            defaults.setInteger("sharewareOnboardingVersion", *stored);
        OnboardingController onboarding(defaults);
        EXPECT_EQ(onboarding.isPresented(), shown) << stored.value_or(-1);
    }

    MemorySettings defaults;
    OnboardingController onboarding(defaults);
    std::optional<long long> storedWhenHidden;
    QObject::connect(&onboarding, &OnboardingController::isPresentedChanged,
                     [&] { storedWhenHidden = defaults.integer("sharewareOnboardingVersion"); });
    onboarding.complete();
    EXPECT_FALSE(onboarding.isPresented());
    EXPECT_EQ(storedWhenHidden, 2) << "the version is written before the sheet starts to close";
    EXPECT_FALSE(OnboardingController(defaults).isPresented()) << "a relaunch stays closed";
}

namespace {

struct Guide {
    Guide()
    {
        store = h.make(ProjectStore::sampleProject());
        model = std::make_unique<OnboardingModel>(store.get(), &secrets, &h.settings, &shared);
    }
    // The saved project.json, or an empty path when nothing was saved.
    std::filesystem::path projectFile() const
    {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(h.projectsRoot(), ec))
            if (std::filesystem::exists(entry.path() / "project.json"))
                return entry.path() / "project.json";
        return {};
    }

    StoreHarness h;
    MemorySecretStore secrets;
    MemorySettings shared;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<OnboardingModel> model;
};

} // namespace

TEST(Onboarding, PagesMoveWithBackAndNext)
{
    Guide g;
    struct Row {
        int page;
        const char* step;
        bool back;
        const char* next;
    };
    const std::vector<Row> rows = {{0, "1 OF 3", false, "Next"}, {1, "2 OF 3", true, "Next"},
                                   {2, "3 OF 3", true, "Start Creating"}};
    g.model->start();
    for (const Row& r : rows) {
        EXPECT_EQ(g.model->page(), r.page);
        EXPECT_EQ(g.model->stepText(), r.step);
        EXPECT_EQ(g.model->showsBack(), r.back);
        EXPECT_EQ(g.model->nextText(), r.next);
        g.model->next();
    }
    EXPECT_EQ(g.model->page(), 2) << "no page past the last";
    g.model->back();
    EXPECT_EQ(g.model->page(), 1);
    g.model->start();
    EXPECT_EQ(g.model->page(), 0) << "every showing starts on the first page";
}

TEST(Onboarding, TheForwardButtonMovesOnAndFinishesOnlyOnTheLastPage)
{
    Guide g;
    QSignalSpy finished(g.model.get(), &OnboardingModel::finished);
    const struct {
        int from, to;
        int finishedAfter;
    } steps[] = {{0, 1, 0}, {1, 2, 0}, {2, 2, 1}, {2, 2, 2}};
    g.model->start();
    for (const auto& s : steps) {
        ASSERT_EQ(g.model->page(), s.from);
        g.model->advance();
        EXPECT_EQ(g.model->page(), s.to) << "from page " << s.from;
        EXPECT_EQ(finished.count(), s.finishedAfter) << "from page " << s.from;
    }
}

TEST(Onboarding, TheInstallersExportFolderFillsOnlyAnEmptyOne)
{
    {
        SCOPED_TRACE("a folder already set stays and nothing is written");
        Guide g;
        g.store->editProject([](Project& p) { p.exportSettings.destinationFolder = "/mine"; });
        g.shared.setString("defaultExportDestination", "/from/installer");
        g.model->start();
        EXPECT_EQ(g.store->project().exportSettings.destinationFolder, "/mine");
        EXPECT_TRUE(g.projectFile().empty());
    }
    {
        SCOPED_TRACE("an empty shared value does nothing");
        Guide g;
        g.shared.setString("defaultExportDestination", "");
        g.model->start();
        EXPECT_EQ(g.store->project().exportSettings.destinationFolder, "");
        EXPECT_TRUE(g.projectFile().empty());
    }
    {
        SCOPED_TRACE("a path is set and saved at once");
        Guide g;
        g.shared.setString("defaultExportDestination", "/home/ada/Videos");
        g.model->start();
        EXPECT_EQ(g.store->project().exportSettings.destinationFolder, "/home/ada/Videos");
        ASSERT_FALSE(g.projectFile().empty());
        std::ifstream in(g.projectFile());
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_NE(text.find("/home/ada/Videos"), std::string::npos);
    }
    {
        SCOPED_TRACE("an unwritable projects folder: no banner");
        Guide g;
        std::filesystem::create_directories(g.h.projectsRoot());
        std::filesystem::permissions(g.h.projectsRoot(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        g.shared.setString("defaultExportDestination", "/home/ada/Videos");
        g.model->start();
        EXPECT_EQ(g.store->project().exportSettings.destinationFolder, "/home/ada/Videos");
        EXPECT_FALSE(g.store->lastError().has_value());
        std::filesystem::permissions(g.h.projectsRoot(), std::filesystem::perms::owner_all);
    }
}

TEST(Onboarding, TheKeyFlagFollowsTheKeyringWhenTheKeySheetCloses)
{
    Guide g;
    g.store->setHasFalAPIKey(true);
    g.model->keySheetClosed();
    EXPECT_FALSE(g.store->hasFalAPIKey());
    EXPECT_FALSE(g.model->hasKey());
    FalKeyStore(g.secrets).saveKey(kTestKey);
    g.model->keySheetClosed();
    EXPECT_TRUE(g.model->hasKey());
}
