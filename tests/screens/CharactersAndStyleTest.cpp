#include "ScreenFixtures.h"

#include "app/AppFixtures.h"
#include "design/Intent.h"
#include "fakes/VendorReplies.h"
#include "screens/CharacterManagerModel.h"
#include "screens/PictureProvider.h"
#include "screens/lists/CharacterListModel.h"
#include "screens/StyleGuidanceModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace vl;
using namespace vl::screens;
using namespace vl::testing;

namespace {

QVariant field(const screens::ProjectListModel& rows, int row, const char* name)
{
    return rows.get(row, QString::fromLatin1(name));
}

} // namespace

TEST(Characters, AddTrimsSpacesAndTabsAndTheFirstCharacterBecomesActive)
{
    ScreenHarness s(ProjectStore::defaultNewProject());
    screens::CharacterListModel rows(s.store.get());
    CharacterManagerModel cast(*s.services);
    EXPECT_FALSE(cast.hasCharacters());

    cast.setNewName(" \t ");
    EXPECT_FALSE(cast.canAdd());
    cast.add();
    EXPECT_TRUE(s.store->project().characters.empty());

    cast.setNewName("  Mara\t");
    EXPECT_TRUE(cast.canAdd());
    cast.add();
    ASSERT_EQ(s.store->project().characters.size(), 1u);
    EXPECT_EQ(s.store->project().characters[0].name, "Mara");
    EXPECT_EQ(cast.newName(), "");
    EXPECT_TRUE(cast.hasCharacters());
    EXPECT_TRUE(field(rows, 0, "isPrimary").toBool());
    EXPECT_EQ(field(rows, 0, "activeChipText").toString(), "Active");
    EXPECT_FALSE(cast.showsStoryboardButton()) << "no picture yet";
}

TEST(Characters, StatusThumbnailAndActiveChipPerCard)
{
    using design::Intent::Value;
    ScreenHarness s;
    Project p = ProjectStore::defaultNewProject();
    CharacterReference none, reference, processed, both;
    none.name = "none";
    reference.name = "reference";
    reference.referenceImagePaths = {"/refs/first.png", "/refs/second.png"};
    processed.name = "processed";
    processed.processedImageURL = "https://cdn.example/p.png";
    both.name = "both";
    both.referenceImagePaths = {"/refs/b.png"};
    both.processedImageURL = "https://cdn.example/b.png";
    both.processedImagePath = "/characters/b.png";
    p.characters = {none, reference, processed, both};
    p.primaryCharacterID = both.id;
    for (int i = 0; i < 4; ++i) {
        StoryboardChunk c = plannedChunk(i + 1);
        c.primaryCharacterInFrame = i != 1;
        p.chunks.push_back(c);
    }
    s.store->setProject(p);
    screens::CharacterListModel rows(s.store.get());

    const struct {
        const char* status;
        int intent;
        QString thumbnail;
        QString chip;
    } expected[] = {
        {"No reference image", Value::Warn, {}, {}},
        {"Reference added", Value::Neutral, screens::PictureProvider::fileAddress("/refs/first.png"), {}},
        {"Character ready", Value::Good, {}, {}},
        {"Character ready", Value::Good, screens::PictureProvider::fileAddress("/characters/b.png"), "3 frames"},
    };
    for (int row = 0; row < 4; ++row) {
        SCOPED_TRACE(row);
        EXPECT_EQ(field(rows, row, "statusText").toString().toStdString(), expected[row].status);
        EXPECT_EQ(field(rows, row, "statusIntent").toInt(), expected[row].intent);
        EXPECT_EQ(field(rows, row, "thumbnailSource").toString(), expected[row].thumbnail);
        EXPECT_EQ(field(rows, row, "activeChipText").toString(), expected[row].chip);
    }

    // Deleting the active one makes the first remaining one active, and its chip moves.
    CharacterManagerModel cast(*s.services);
    cast.remove(QString::fromStdString(both.id.text()));
    ASSERT_EQ(rows.rowCount(), 3);
    EXPECT_TRUE(field(rows, 0, "isPrimary").toBool());
    EXPECT_EQ(field(rows, 0, "activeChipText").toString(), "3 frames");
    EXPECT_FALSE(cast.showsStoryboardButton()) << "the active one has no picture; another one does";
}

TEST(Characters, AChosenReferenceIsAppendedAndProcessedWhileTheCardShowsIt)
{
    ScreenHarness s;
    const std::string picture = s.h.picture("ref.png");
    Project p = ProjectStore::defaultNewProject();
    CharacterReference mara;
    mara.name = "Mara";
    mara.referenceImagePaths = {"/refs/old.png"};
    p.characters = {mara};
    s.store->setProject(p);
    screens::CharacterListModel rows(s.store.get());
    CharacterManagerModel cast(*s.services);
    s.h.vendor.setJobDuration(std::chrono::milliseconds(300));

    s.picker.answers = {QString(), QString::fromStdString(picture)};
    const QString id = QString::fromStdString(mara.id.text());
    cast.chooseReference(id); // cancelled: nothing changes
    spin(50);
    EXPECT_EQ(s.store->project().characters[0].referenceImagePaths.size(), 1u);

    cast.chooseReference(id);
    ASSERT_TRUE(waitUntil([&] { return field(rows, 0, "isProcessing").toBool(); }));
    EXPECT_EQ(field(rows, 0, "statusText").toString(), "Processing…");
    EXPECT_EQ(s.store->project().characters[0].referenceImagePaths,
              (std::vector<std::string>{"/refs/old.png", picture}));
    ASSERT_EQ(s.picker.requests.size(), 2u);
    EXPECT_TRUE(s.picker.requests[1].nameFilters.first().startsWith("Images ("));

    ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
    EXPECT_FALSE(field(rows, 0, "isProcessing").toBool());
    EXPECT_EQ(field(rows, 0, "statusText").toString(), "Character ready");
}

TEST(Characters, ARefusedReferenceIsNeitherKeptNorProcessed)
{
    ScreenHarness s;
    Project p = ProjectStore::defaultNewProject();
    CharacterReference mara;
    mara.name = "Mara";
    p.characters = {mara};
    p.primaryCharacterID = mara.id;
    s.store->setProject(p);
    screens::CharacterListModel rows(s.store.get());
    CharacterManagerModel cast(*s.services);

    const auto gif = s.h.folder.path() / "mara.gif";
    std::ofstream(gif, std::ios::binary) << "GIF89a";
    s.picker.answers = {QString::fromStdString(gif.string())};
    cast.chooseReference(QString::fromStdString(mara.id.text()));
    ASSERT_TRUE(waitUntil([&] { return s.store->lastError().has_value(); }));

    EXPECT_EQ(*s.store->lastError(), "The picture \u201cmara.gif\u201d is not a PNG, JPEG or WebP picture.");
    EXPECT_TRUE(s.store->project().characters[0].referenceImagePaths.empty());
    EXPECT_EQ(field(rows, 0, "statusText").toString(), "No reference image");
    EXPECT_FALSE(cast.showsStoryboardButton());
    EXPECT_TRUE(s.store->processingCharacterIDs().empty());
    EXPECT_FALSE(s.store->runningTask()) << "nothing was sent to processing";
    EXPECT_EQ(s.h.vendor.requestCount(), 0u);
    // The dialog offers only what would be taken in.
    EXPECT_EQ(s.picker.requests.at(0).nameFilters, QStringList{"Images (*.png *.jpg *.jpeg *.webp)"});
}

TEST(Characters, TheStoryboardButtonNavigatesOrPlansRendersAndNavigates)
{
    {
        SCOPED_TRACE("with chunks: only moves on, and not while an error shows");
        ScreenHarness s(plannedProject(3, {element("boat")}, {}));
        CharacterManagerModel cast(*s.services);
        EXPECT_TRUE(cast.showsStoryboardButton());
        EXPECT_EQ(cast.storyboardButtonText(), "Continue to storyboard");
        EXPECT_EQ(cast.storyboardButtonSymbol(), "arrow.right");
        s.store->setLastError("Something failed.");
        cast.goToStoryboard();
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::intake);
        s.store->setLastError(std::nullopt);
        cast.goToStoryboard();
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::storyboard);
        EXPECT_EQ(s.h.vendor.requestCount(), 0u);
    }
    {
        SCOPED_TRACE("without a transcript: disabled");
        Project p = plannedProject(0, {}, {});
        p.transcript.clear();
        p.plan.reset();
        ScreenHarness s(p);
        CharacterManagerModel cast(*s.services);
        EXPECT_EQ(cast.storyboardButtonText(), "Generate storyboard");
        EXPECT_EQ(cast.storyboardButtonSymbol(), "sparkles");
        EXPECT_FALSE(cast.canGoToStoryboard());
    }
    {
        SCOPED_TRACE("a failed plan: no rendering, the screen stays");
        Project p = plannedProject(2, {}, {});
        p.chunks.clear();
        p.plan.reset();
        ScreenHarness s(p);
        s.store->setSelectedStage(PipelineStage::characters);
        s.h.vendor.inject(fakes::Route::submit, fakes::replies::refusal(500));
        CharacterManagerModel cast(*s.services);
        cast.goToStoryboard();
        ASSERT_TRUE(StoreHarness::waitForIdle(*s.store));
        EXPECT_TRUE(s.store->lastError().has_value());
        EXPECT_EQ(s.store->selectedStage(), PipelineStage::characters);
        EXPECT_EQ(s.h.vendor.requests(fakes::Route::submit).size(), 1u) << "planning only";
    }
}

TEST(Style, EveryFieldEditStampsTheProjectAndThePreviewFollows)
{
    ScreenHarness s(ProjectStore::defaultNewProject());
    StyleGuidanceModel style(*s.services);
    EXPECT_NE(style.preview().indexOf("\"City lights are burning low\" is physically present on a hand-painted marker sign"),
              -1)
        << style.preview().toStdString();
    EXPECT_EQ(style.preview().indexOf("Featuring"), -1) << "no character part";

    const QString before = style.preview();
    s.store->editProject([](Project& p) { p.updatedAt = parseIsoDate("2020-01-01T00:00:00Z").value(); });
    style.setNegativePrompts("no lens flare");
    EXPECT_EQ(style.preview(), before) << "negative prompts are not part of the prompt";
    EXPECT_EQ(s.store->project().style.negativePrompts, "no lens flare");
    EXPECT_GT(s.store->project().updatedAt, parseIsoDate("2020-01-01T00:00:00Z").value());

    style.setMood("Moody");
    style.setContinuityNotes("red scarf");
    EXPECT_TRUE(style.preview().startsWith("Moody. Medium: "));
    EXPECT_NE(style.preview().indexOf("Continuity: red scarf"), -1);
    style.setContinuityNotes("");
    EXPECT_EQ(style.preview().indexOf("Continuity:"), -1);

    QSignalSpy projectChanges(s.store.get(), &ProjectStore::projectChanged);
    style.setMood("Moody");
    EXPECT_EQ(projectChanges.count(), 0) << "the same text is not an edit";

    Project planned = plannedProject(2, {}, {});
    planned.chunks[0].renderedText = "FIRST";
    planned.chunks[0].surface = "";
    s.store->setProject(planned);
    EXPECT_NE(style.preview().indexOf("\"FIRST\" is physically present on a believable physical surface in the scene"),
              -1)
        << style.preview().toStdString();
}
