#include "ScreenFixtures.h"

#include "app/AppFixtures.h"
#include "design/Palette.h"
#include "fakes/VendorReplies.h"
#include "screens/PictureProvider.h"
#include "screens/lists/CharacterListModel.h"
#include "screens/lists/ChunkListModel.h"
#include "screens/lists/ElementListModel.h"
#include "screens/lists/TranscriptListModel.h"
#include "screens/StoryboardModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

using namespace vl;
using namespace vl::screens;
using namespace vl::testing;

TEST(Storyboard, PlanningNeedsAUsableCharacterAndATranscript)
{
    const struct {
        const char* name;
        bool character, processed, reference, transcript;
        bool usable, canPlan;
        const char* emptyTitle;
    } cases[] = {
        {"no character", false, false, false, true, false, false, "Set up a character first"},
        {"a character without a picture", true, false, false, true, false, false, "Set up a character first"},
        {"processed, no reference paths", true, true, false, true, true, true, "No storyboard yet"},
        {"a reference only", true, false, true, true, true, true, "No storyboard yet"},
        {"usable, no transcript", true, true, false, false, true, false, "No storyboard yet"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Project p = ProjectStore::defaultNewProject();
        if (c.character) {
            CharacterReference mara;
            if (c.processed)
                mara.processedImageURL = "https://cdn.example/mara.png";
            if (c.reference)
                mara.referenceImagePaths = {"/refs/mara.png"};
            p.characters = {mara};
        }
        if (c.transcript)
            p.transcript = {{Uuid::random(), "hello", 0, 2}};
        ScreenHarness s(p);
        StoryboardModel storyboard(*s.services);
        EXPECT_FALSE(storyboard.hasChunks());
        EXPECT_EQ(storyboard.hasUsableCharacter(), c.usable);
        EXPECT_EQ(storyboard.canPlan(), c.canPlan);
        EXPECT_EQ(storyboard.emptyTitle(), c.emptyTitle);
    }
}

TEST(Storyboard, AFailedPlanRendersNothingAndASuccessfulOneRendersTheElements)
{
    Project p = plannedProject(2, {}, {});
    p.chunks.clear();
    p.plan.reset();
    {
        ScreenHarness s(p);
        s.store->setSelectedStage(PipelineStage::storyboard);
        s.h.vendor.inject(fakes::Route::submit, fakes::replies::refusal(500, "busy"));
        StoryboardModel storyboard(*s.services);
        storyboard.plan();
        ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
        EXPECT_TRUE(s.store->lastError().has_value());
        EXPECT_FALSE(storyboard.hasChunks());
        EXPECT_EQ(s.h.vendor.requests(fakes::Route::submit).size(), 1u);
    }
    {
        ScreenHarness s(p);
        const nlohmann::json plan = {
            {"frames", {{{"chunkNumber", 1}, {"renderedText", "HI"}, {"elementIdsUsed", {"boat"}}}}},
            {"elementIds", {{{"id", "boat"}, {"type", "prop"}, {"continuityDescription", "a paper boat"}}}},
            {"colorScheme", {"#ff3366", "#00ffaa"}}};
        s.h.vendor.scriptNextJob({{}, fakes::replies::workflowOutput(plan), false});
        StoryboardModel storyboard(*s.services);
        storyboard.plan();
        ASSERT_TRUE(waitUntil([&] { return s.h.vendor.requests(fakes::Route::submit).size() >= 2; }));
        ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
        EXPECT_FALSE(s.store->lastError().has_value()) << *s.store->lastError();
        EXPECT_TRUE(storyboard.hasChunks());
        EXPECT_EQ(storyboard.elementsTitle(), "Elements · 1/1 rendered");
        EXPECT_FALSE(storyboard.showsRenderButton());
    }
}

TEST(Storyboard, CountsAndTheRenderButtonUseOneRenderedRule)
{
    // Two rendered, one with a local copy only, one with an address that is not http(s),
    // one with nothing: three to render.
    Project p = plannedProject(12,
                               {element("boat", "prop", "https://cdn.example/boat.png", "/elements/boat.png"),
                                element("pier", "place", "HTTP://cdn.example/pier.png"),
                                element("lamp", "prop", std::nullopt, "/elements/lamp.png"),
                                element("gull", "animal", "file:///etc/passwd"),
                                element("moon", "prop")},
                               {"#ff3366", "#00ffaa", "#3366ff", "#ffaa00", "#aa00ff", "#00aaff", "#ff00aa"});
    for (int i = 0; i < 3; ++i)
        p.chunks[static_cast<std::size_t>(i)].frame = frameAt("/frames/" + std::to_string(i) + ".png");
    ScreenHarness s(p);
    StoryboardModel storyboard(*s.services);
    EXPECT_TRUE(storyboard.hasChunks());
    EXPECT_TRUE(storyboard.showsElements());
    EXPECT_EQ(storyboard.elementsTitle(), "Elements · 2/5 rendered");
    EXPECT_TRUE(storyboard.showsRenderButton());
    EXPECT_EQ(storyboard.countsText(), "12 frames · 3 generated");
    EXPECT_EQ(storyboard.swatches().size(), 7);

    // Rendering asks for exactly the three that are not rendered.
    storyboard.renderElements();
    ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
    EXPECT_EQ(s.h.vendor.requests(fakes::Route::submit).size(), 3u);
    EXPECT_EQ(storyboard.elementsTitle(), "Elements · 5/5 rendered");
    EXPECT_FALSE(storyboard.showsRenderButton());

    // A plan without elements shows no elements panel.
    s.store->editProject([](Project& q) { q.plan->elements.clear(); q.plan->colorScheme.clear(); });
    EXPECT_FALSE(storyboard.showsElements());
    EXPECT_TRUE(storyboard.swatches().isEmpty());
}

TEST(Storyboard, GenerateAllFramesShowsTheFramesStageFirst)
{
    Project p = plannedProject(2, {element("boat", "prop", "https://cdn.example/boat.png")}, {});
    for (auto& c : p.chunks)
        c.frame = frameAt("/frames/x.png");
    ScreenHarness s(p);
    StoryboardModel storyboard(*s.services);
    PublishedLog log(*s.store);
    storyboard.generateAllFrames();
    EXPECT_EQ(s.store->selectedStage(), PipelineStage::frames);
    ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
    EXPECT_TRUE(log.labels.empty()) << "every chunk has a frame: nothing to generate";

    storyboard.goToCharacters();
    EXPECT_EQ(s.store->selectedStage(), PipelineStage::characters);
    HeldOperation op(*s.store, "Processing character");
    EXPECT_TRUE(storyboard.busy());
    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
}

TEST(SwatchFan, FirstSevenColoursLeaningEvenlyAcrossFortySixDegrees)
{
    const struct {
        std::size_t colours;
        std::vector<double> angles;
    } cases[] = {
        {0, {}},
        {1, {0}},
        {2, {-23, 23}},
        {3, {-23, 0, 23}},
        {9, {-23, -46.0 / 3, -23.0 / 3, 0, 23.0 / 3, 46.0 / 3, 23}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.colours);
        std::vector<std::string> scheme;
        for (std::size_t i = 0; i < c.colours; ++i)
            scheme.push_back(i == 1 ? "not a colour" : "#102030");
        const auto fan = StoryboardModel::swatchFan(scheme);
        ASSERT_EQ(fan.size(), c.angles.size());
        for (std::size_t i = 0; i < fan.size(); ++i)
            EXPECT_NEAR(fan[i].angle, c.angles[i], 1e-9) << i;
        if (fan.size() > 1) {
            EXPECT_EQ(fan[1].color, design::Palette::muted()) << "an unreadable colour is muted, not dropped";
        }
        if (!fan.empty()) {
            EXPECT_EQ(fan[0].color, QColor(0x10, 0x20, 0x30));
        }
    }
}

TEST(ElementCards, ALocalFileThenAnHttpAddressThenThePlaceholder)
{
    ScreenHarness s;
    const std::string local = s.h.picture("boat.png");
    // A file that is there and readable, but no picture.
    const std::string notAPicture = (s.h.folder.path() / "notes.png").string();
    std::ofstream(notAPicture) << "not a picture";
    Project p = plannedProject(1,
                               {element("boat", "prop", "https://cdn.example/boat.png", local),
                                element("pier", "place", "https://cdn.example/pier.png", "/missing/pier.png"),
                                element("Pier", "Place", "ftp://cdn.example/p.png"),
                                element("yard", "place", "file:///etc/passwd"),
                                element("lamp", "prop"),
                                element("kite", "prop", "https://cdn.example/kite.png", notAPicture),
                                element("mast", "prop", std::nullopt, notAPicture)},
                               {});
    s.store->setProject(p);
    screens::ElementListModel rows(s.store.get());
    const struct {
        QString source;
        bool remote;
        const char* symbol;
        bool rendered;
    } expected[] = {
        {screens::PictureProvider::fileAddress(QString::fromStdString(local)), false, "cube", true},
        {screens::PictureProvider::webAddress("https://cdn.example/pier.png"), true, "map", true},
        {"", false, "cube", false},
        {"", false, "map", false},
        {"", false, "cube", false},
        {screens::PictureProvider::webAddress("https://cdn.example/kite.png"), true, "cube", true},
        {"", false, "cube", false},
    };
    ASSERT_EQ(rows.rowCount(), 7);
    for (int row = 0; row < 7; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(rows.get(row, "imageSource").toString(), expected[row].source);
        EXPECT_EQ(rows.get(row, "isRemoteImage").toBool(), expected[row].remote);
        EXPECT_EQ(rows.get(row, "placeholderSymbol").toString().toStdString(), expected[row].symbol);
        EXPECT_EQ(rows.get(row, "isRendered").toBool(), expected[row].rendered);
    }

    s.store->editProject([](Project& q) { q.plan.reset(); });
    EXPECT_EQ(rows.rowCount(), 0);
}

TEST(Keystrokes, TypingIntoAChunkChangesOneRoleOfOneRowInEveryList)
{
    Project p = plannedProject(200, {element("boat", "prop", "https://cdn.example/boat.png")}, {"#ff3366"});
    ScreenHarness s(p);
    screens::ChunkListModel chunks(s.store.get());
    screens::ElementListModel elements(s.store.get());
    screens::CharacterListModel characters(s.store.get());
    screens::TranscriptListModel transcript(s.store.get());
    StoryboardModel storyboard(*s.services);

    QSignalSpy chunkChanges(&chunks, &QAbstractItemModel::dataChanged);
    QSignalSpy screenChanges(&storyboard, &ScreenModel::changed);
    std::vector<std::unique_ptr<QSignalSpy>> rebuilt;
    for (QAbstractItemModel* model : std::initializer_list<QAbstractItemModel*>{&chunks, &elements, &characters, &transcript}) {
        rebuilt.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::modelReset));
        rebuilt.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::rowsInserted));
        rebuilt.push_back(std::make_unique<QSignalSpy>(model, &QAbstractItemModel::rowsRemoved));
    }
    QSignalSpy otherChanges(&elements, &QAbstractItemModel::dataChanged);

    ASSERT_TRUE(chunks.set(120, "renderedText", "NEW WORDS"));
    ASSERT_TRUE(chunks.set(120, "imagePrompt", "a boat on fire"));
    ASSERT_EQ(chunkChanges.count(), 2);
    EXPECT_EQ(chunkChanges[0][0].value<QModelIndex>().row(), 120);
    EXPECT_EQ(chunkChanges[0][2].value<QList<int>>(), QList<int>{chunks.roleOf("renderedText")});
    EXPECT_EQ(chunkChanges[1][2].value<QList<int>>(), QList<int>{chunks.roleOf("imagePrompt")});
    for (const auto& spy : rebuilt)
        EXPECT_EQ(spy->count(), 0);
    EXPECT_EQ(otherChanges.count(), 0);
    EXPECT_EQ(screenChanges.count(), 0) << "nothing the storyboard screen shows changed";
    EXPECT_EQ(s.store->project().chunks[120].renderedText, "NEW WORDS");
}
