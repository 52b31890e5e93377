#include "app/AppFixtures.h"
#include "design/Intent.h"
#include "screens/lists/CharacterListModel.h"
#include "screens/lists/ChunkListModel.h"
#include "screens/lists/TranscriptListModel.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace vl;
using namespace vl::screens;
using vl::testing::projectWithChunks;
using vl::testing::StoreHarness;

namespace {

// Everything a list model can tell its views, counted.
struct ModelSignals {
    explicit ModelSignals(QAbstractItemModel* m)
        : changed(m, &QAbstractItemModel::dataChanged)
        , inserted(m, &QAbstractItemModel::rowsInserted)
        , removed(m, &QAbstractItemModel::rowsRemoved)
        , reset(m, &QAbstractItemModel::modelReset)
    {
    }
    QSignalSpy changed, inserted, removed, reset;

    int structural() const { return static_cast<int>(inserted.count() + removed.count() + reset.count()); }
};

} // namespace

TEST(ProjectListModel, AFieldEditSignalsOneRowAndOneRole)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(5, 2));
    ChunkListModel chunks(store.get());
    ModelSignals sig(&chunks);

    // Through the model, as a text field in a delegate writes.
    ASSERT_TRUE(chunks.setData(chunks.index(3), "NEW WORDS", chunks.roleOf("renderedText")));
    EXPECT_EQ(store->project().chunks[3].renderedText, "NEW WORDS");
    ASSERT_EQ(sig.changed.count(), 1);
    EXPECT_EQ(sig.changed[0].at(0).toModelIndex().row(), 3);
    EXPECT_EQ(sig.changed[0].at(1).toModelIndex().row(), 3);
    EXPECT_EQ(sig.changed[0].at(2).value<QList<int>>(), QList<int>{chunks.roleOf("renderedText")});

    // Through the store, as an operation writes: only the fields it touched.
    store->editProject([](Project& p) {
        p.chunks[1].frame = GeneratedFrame{};
        p.chunks[1].frame->localPath = "/frames/x.png";
    });
    ASSERT_EQ(sig.changed.count(), 2);
    EXPECT_EQ(sig.changed[1].at(0).toModelIndex().row(), 1);
    const auto roles = sig.changed[1].at(2).value<QList<int>>();
    EXPECT_EQ(QSet<int>(roles.begin(), roles.end()),
              (QSet<int>{chunks.roleOf("frameImagePath")}))
        << "chunk 1 already had a frame; only its path changed";

    // Writing back the text already there changes nothing at all.
    QSignalSpy projectChanged(store.get(), &ProjectStore::projectChanged);
    EXPECT_TRUE(chunks.set(3, "renderedText", "NEW WORDS"));
    EXPECT_EQ(projectChanged.count(), 0);
    EXPECT_EQ(sig.changed.count(), 2);
    EXPECT_EQ(sig.structural(), 0);
}

TEST(ProjectListModel, RecordsComingAndGoingAreInsertsAndRemovals)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(4, 0));
    ChunkListModel chunks(store.get());
    QSignalSpy countChanged(&chunks, &ProjectListModel::countChanged);
    const auto ids = [&] {
        std::vector<QString> v;
        for (int i = 0; i < chunks.rowCount(); ++i)
            v.push_back(chunks.get(i, "chunkID").toString());
        return v;
    };

    {
        ModelSignals sig(&chunks);
        StoryboardChunk extra;
        extra.renderedText = "INSERTED";
        store->editProject([&](Project& p) {
            p.chunks.erase(p.chunks.begin() + 1);
            p.chunks.insert(p.chunks.begin() + 2, extra);
        });
        EXPECT_EQ(sig.removed.count(), 1);
        EXPECT_EQ(sig.removed[0].at(1).toInt(), 1);
        EXPECT_EQ(sig.inserted.count(), 1);
        EXPECT_EQ(sig.inserted[0].at(1).toInt(), 2);
        EXPECT_EQ(sig.reset.count(), 0);
        EXPECT_EQ(chunks.get(2, "renderedText").toString(), "INSERTED");
    }
    {
        // A reordering cannot be told as inserts and removals of the same rows.
        ModelSignals sig(&chunks);
        store->editProject([](Project& p) { std::swap(p.chunks.front(), p.chunks.back()); });
        EXPECT_EQ(sig.reset.count(), 1);
    }
    {
        // A new project replaces every row; the list ends up exactly like the project.
        ModelSignals sig(&chunks);
        store->setProject(projectWithChunks(2, 1));
        EXPECT_EQ(chunks.rowCount(), 2);
        EXPECT_EQ(sig.removed.count() + sig.reset.count() > 0, true);
    }
    const auto now = ids();
    ASSERT_EQ(now.size(), store->project().chunks.size());
    for (std::size_t i = 0; i < now.size(); ++i)
        EXPECT_EQ(now[i].toStdString(), store->project().chunks[i].id.text());
    EXPECT_GE(countChanged.count(), 1);
}

TEST(ProjectListModel, DuplicateIdsFallBackToAReset)
{
    // A hand-edited file may repeat an id; rows are then matched by nothing and the
    // list is rebuilt rather than guessed.
    StoreHarness h;
    Project p = projectWithChunks(3, 0);
    p.chunks[2].id = p.chunks[0].id;
    auto store = h.make(p);
    ChunkListModel chunks(store.get());
    ModelSignals sig(&chunks);
    store->editProject([](Project& project) { project.chunks[1].renderedText = "X"; });
    EXPECT_EQ(sig.reset.count(), 1);
    EXPECT_EQ(chunks.get(1, "renderedText").toString(), "X");
    EXPECT_EQ(chunks.rowCount(), 3);
}

TEST(ProjectListModel, WritesOnlyEditableFieldsWithValuesThatFit)
{
    StoreHarness h;
    Project p = projectWithChunks(1, 0);
    p.transcript = {{Uuid::random(), "hello", 1.0, 2.0}};
    CharacterReference mara;
    mara.name = "Mara";
    p.characters = {mara};
    auto store = h.make(p);
    ChunkListModel chunks(store.get());
    CharacterListModel characters(store.get());
    TranscriptListModel transcript(store.get());
    const Project before = store->project();

    struct Case {
        const char* name;
        ProjectListModel* model;
        const char* field;
        QVariant value;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case refused[] = {
        {"chunk id", &chunks, "chunkID", "X"},
        {"chunk number", &chunks, "chunkNumber", 7},
        {"chunk frame flag", &chunks, "hasFrame", true},
        {"character primary flag", &characters, "isPrimary", false},
        {"not-a-number start", &transcript, "start", nan},
        {"infinite end", &transcript, "end", inf},
        {"start that is no number", &transcript, "start", "soon"},
        {"unknown field", &transcript, "speaker", "x"},
    };
    QSignalSpy projectChanged(store.get(), &ProjectStore::projectChanged);
    for (const Case& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(c.model->set(0, c.field, c.value));
    }
    EXPECT_FALSE(transcript.set(5, "text", "row out of range"));
    EXPECT_EQ(projectChanged.count(), 0);
    EXPECT_EQ(store->project(), before);

    EXPECT_TRUE(chunks.set(0, "imagePrompt", "a neon sign"));
    EXPECT_TRUE(characters.set(0, "notes", "red jacket"));
    EXPECT_TRUE(transcript.set(0, "start", "1.25"));
    EXPECT_TRUE(transcript.set(0, "text", "hello there"));
    const Project& now = store->project();
    EXPECT_EQ(now.chunks[0].imagePrompt, "a neon sign");
    EXPECT_EQ(now.characters[0].notes, "red jacket");
    EXPECT_DOUBLE_EQ(now.transcript[0].start, 1.25);
    EXPECT_EQ(now.transcript[0].text, "hello there");
}

TEST(ProjectListModel, ChangingThePrimaryCharacterRedrawsBothRows)
{
    StoreHarness h;
    Project p;
    for (const char* name : {"Mara", "Ivo", "Sol"}) {
        CharacterReference c;
        c.name = name;
        p.characters.push_back(c);
    }
    p.primaryCharacterID = p.characters[0].id;
    auto store = h.make(p);
    CharacterListModel characters(store.get());
    EXPECT_TRUE(characters.get(0, "isPrimary").toBool());

    ModelSignals sig(&characters);
    const Uuid sol = store->project().characters[2].id;
    store->editProject([&](Project& project) { project.primaryCharacterID = sol; });
    ASSERT_EQ(sig.changed.count(), 2);
    EXPECT_EQ(sig.changed[0].at(0).toModelIndex().row(), 0);
    EXPECT_EQ(sig.changed[1].at(0).toModelIndex().row(), 2);
    EXPECT_FALSE(characters.get(0, "isPrimary").toBool());
    EXPECT_TRUE(characters.get(2, "isPrimary").toBool());
    EXPECT_EQ(sig.structural(), 0);
}

TEST(ProjectListModel, FrameHistoryRolesChangeWithTheFrameTheyDescribe)
{
    StoreHarness h;
    auto store = h.make(projectWithChunks(2, 1));
    ChunkListModel chunks(store.get());
    ModelSignals sig(&chunks);
    const Uuid id = store->project().chunks[0].id;
    const auto rolesOf = [&](int signal) {
        const auto list = sig.changed[signal].at(2).value<QList<int>>();
        QSet<QByteArray> names;
        for (int role : list)
            names.insert(chunks.roleNames().value(role));
        return names;
    };

    GeneratedFrame edit;
    edit.localPath = "/frames/edit.png";
    edit.remoteURL = "https://v3.example.net/edit.png";
    edit.editRequest = "make it night";
    store->updateChunk(id, [&](StoryboardChunk& c) { c.setFrame(edit); });
    ASSERT_EQ(sig.changed.count(), 1);
    EXPECT_EQ(rolesOf(0), (QSet<QByteArray>{"frameImagePath", "canUndo", "frameRemoteURL", "frameEditRequest",
                                            "undoCount"}));
    EXPECT_EQ(chunks.get(0, "frameRemoteURL").toString(), "https://v3.example.net/edit.png");
    EXPECT_EQ(chunks.get(0, "frameEditRequest").toString(), "make it night");
    EXPECT_EQ(chunks.get(0, "undoCount").toInt(), 1);

    store->undoFrameEdit(id);
    ASSERT_EQ(sig.changed.count(), 2);
    EXPECT_EQ(rolesOf(1), (QSet<QByteArray>{"frameImagePath", "canUndo", "canRedo", "frameRemoteURL",
                                            "frameEditRequest", "undoCount", "redoCount"}));
    EXPECT_EQ(chunks.get(0, "redoCount").toInt(), 1);
    EXPECT_EQ(chunks.get(0, "frameEditRequest").toString(), "");

    store->updateChunk(id, [](StoryboardChunk& c) { c.frame->motionClipPath = "/clips/1.mp4"; });
    ASSERT_EQ(sig.changed.count(), 3);
    EXPECT_EQ(rolesOf(2), (QSet<QByteArray>{"motionClipPath"}));
    EXPECT_EQ(chunks.get(1, "motionClipPath").toString(), "") << "a chunk without a frame has none";
    EXPECT_EQ(sig.structural(), 0);
}

TEST(ProjectListModel, ANewFrameOnOneChunkOfManyTouchesOnlyItsRow)
{
    StoreHarness h;
    auto store = h.make(vl::testing::projectWithChunks(200, 200));
    ChunkListModel chunks(store.get());
    QSignalSpy changed(&chunks, &QAbstractItemModel::dataChanged);
    QSignalSpy reset(&chunks, &QAbstractItemModel::modelReset);

    GeneratedFrame next;
    next.localPath = "/frames/new.png";
    next.remoteURL = "https://v3.fal.media/files/new.png";
    store->updateChunk(store->project().chunks[120].id, [&](StoryboardChunk& c) { c.setFrame(next); });
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 120);
    EXPECT_EQ(changed[0][1].value<QModelIndex>().row(), 120);
    const auto roles = changed[0][2].value<QList<int>>();
    EXPECT_TRUE(roles.contains(chunks.roleOf("frameRemoteURL")));
    EXPECT_TRUE(roles.contains(chunks.roleOf("undoCount")));
    EXPECT_FALSE(roles.contains(chunks.roleOf("renderedText")));
    EXPECT_EQ(chunks.get(120, "frameImagePath").toString(), "/frames/new.png");
    EXPECT_EQ(chunks.get(120, "undoCount").toLongLong(), 1);

    // A change that no row shows signals nothing; the next real one is seen again.
    store->editProject([](Project& p) { p.title = "Elsewhere"; });
    store->editProject([](Project& p) { p.chunks[120].undoStack.front().prompt = "older prompt"; });
    EXPECT_EQ(changed.count(), 1);
    store->undoFrameEdit(store->project().chunks[120].id);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed[1][0].value<QModelIndex>().row(), 120);
    EXPECT_EQ(chunks.get(120, "frameImagePath").toString(), "/frames/120.png");
    EXPECT_EQ(reset.count(), 0);
}

TEST(ProjectListModel, CardTextsComeWithTheRowAndFollowTheRecord)
{
    StoreHarness h;
    Project p = projectWithChunks(2, 1);
    CharacterReference none, one, two;
    one.referenceImagePaths = {"/refs/a.png"};
    two.referenceImagePaths = {"/refs/a.png", "/refs/b.png"};
    p.characters = {none, one, two};
    auto store = h.make(p);
    ChunkListModel chunks(store.get());
    CharacterListModel characters(store.get());

    const struct {
        int row;
        const char* chip;
        int intent;
        const char* button;
    } chunkRows[] = {
        {0, "Generated", static_cast<int>(design::Intent::Good), "Regenerate"},
        {1, "Not generated", static_cast<int>(design::Intent::Neutral), "Generate"},
    };
    for (const auto& r : chunkRows) {
        EXPECT_EQ(chunks.get(r.row, "frameChipText").toString(), r.chip) << r.row;
        EXPECT_EQ(chunks.get(r.row, "frameChipIntent").toInt(), r.intent) << r.row;
        EXPECT_EQ(chunks.get(r.row, "generateText").toString(), r.button) << r.row;
    }
    const char* referenceButtons[] = {"Add reference\u2026", "Replace reference\u2026", "Replace reference\u2026"};
    for (int row = 0; row < 3; ++row)
        EXPECT_EQ(characters.get(row, "referenceButtonText").toString(), referenceButtons[row]) << row;

    // A frame arriving turns the chunk's chip and button; a first reference the character's.
    store->updateChunk(store->project().chunks[1].id, [](StoryboardChunk& c) { c.setFrame(GeneratedFrame{}); });
    EXPECT_EQ(chunks.get(1, "frameChipText").toString(), "Generated");
    EXPECT_EQ(chunks.get(1, "generateText").toString(), "Regenerate");
    store->editProject([](Project& project) { project.characters[0].referenceImagePaths = {"/refs/c.png"}; });
    EXPECT_EQ(characters.get(0, "referenceButtonText").toString(), "Replace reference\u2026");
}
