#include "StoreHarness.h"

#include "fakes/PictureBytes.h"

#include "model/Files.h"
#include "model/MediaLibrary.h"

#include <QSignalSpy>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>

using namespace vl;
using namespace vl::testing;

namespace {

struct Characters : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;

    void SetUp() override
    {
        h.storedKey = kTestKey;
        store = h.make(ProjectStore::defaultNewProject());
    }

    std::string picture(const std::string& name) { return h.picture(name); }

    // A character with the given reference pictures, added through the store.
    Uuid character(const std::string& name, const std::vector<std::string>& pictures)
    {
        store->addCharacter(name);
        const Uuid id = store->project().characters.back().id;
        for (const auto& p : pictures)
            store->addCharacterReference(QString::fromStdString(id.text()), QString::fromStdString(p));
        return id;
    }

    const CharacterReference* find(const Uuid& id) const
    {
        for (const auto& c : store->project().characters)
            if (c.id == id)
                return &c;
        return nullptr;
    }

    std::filesystem::path processedFile(const Uuid& projectID, const Uuid& characterID)
    {
        return ProjectLibrary(h.projectsRoot(), h.settings).library(projectID).root() / "characters"
            / (characterID.text() + ".png");
    }

    // The next job waits until the test releases it, then completes.
    void holdNextJob() { h.vendor.scriptNextJob({{fakes::FakeVendor::status("COMPLETED")}, std::nullopt, true}); }
};

} // namespace

TEST_F(Characters, AddChooseAndDelete)
{
    const auto stamp = [&] { return store->project().updatedAt; };
    store->editProject([](Project& p) { p.updatedAt = Date{}; });
    store->addCharacter("  Ada  ");
    const Uuid ada = store->project().characters[0].id;
    EXPECT_EQ(store->project().characters[0].name, "  Ada  ") << "names are stored as given";
    EXPECT_EQ(store->project().primaryCharacterID, ada) << "the first character becomes the primary one";
    EXPECT_GT(stamp(), Date{});

    store->addCharacter("Bo");
    store->addCharacter("Cy");
    const Uuid bo = store->project().characters[1].id;
    const Uuid cy = store->project().characters[2].id;
    EXPECT_EQ(store->project().primaryCharacterID, ada);

    store->setPrimaryCharacter(cy);
    EXPECT_EQ(store->project().primaryCharacterID, cy);

    store->deleteCharacter(cy);
    EXPECT_EQ(store->project().primaryCharacterID, ada) << "the first remaining character takes over";
    store->deleteCharacter(bo);
    EXPECT_EQ(store->project().primaryCharacterID, ada) << "deleting another one keeps the primary";

    store->editProject([](Project& p) { p.updatedAt = Date{}; });
    store->deleteCharacter(Uuid::random());
    EXPECT_GT(stamp(), Date{}) << "an unknown id still stamps the project";
    EXPECT_EQ(store->project().characters.size(), 1u);

    store->deleteCharacter(ada);
    EXPECT_TRUE(store->project().characters.empty());
    EXPECT_FALSE(store->project().primaryCharacterID);
}

TEST_F(Characters, ProcessingSendsTheNewestReferenceAndKeepsTheResult)
{
    const Uuid id = character("Ada", {picture("first.png"), picture("second.png"), picture("third.png")});
    const QString idText = QString::fromStdString(id.text());
    EXPECT_EQ(find(id)->referenceImagePaths.size(), 3u);
    holdNextJob();

    QSignalSpy processingChanged(store.get(), &ProjectStore::processingCharacterIDsChanged);
    store->processCharacterById(idText);
    EXPECT_EQ(store->processingCharacterIDs(), std::set<Uuid>{id});
    EXPECT_EQ(store->runningTask(), std::optional<std::string>("Processing character"));
    ASSERT_TRUE(waitUntil([&] { return !h.vendor.requests(fakes::Route::status).empty(); }));
    store->processCharacter(id); // a second tap while the first run goes on
    h.vendor.releaseAll();
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));

    EXPECT_FALSE(store->lastError()) << *store->lastError();
    EXPECT_TRUE(store->processingCharacterIDs().empty());
    EXPECT_EQ(processingChanged.count(), 2);
    EXPECT_FALSE(store->runningTask());

    const auto uploads = h.vendor.requests(fakes::Route::fileUpload);
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].header("x-fal-file-name"), std::optional<std::string>("third.jpg"));
    const auto submits = h.vendor.requests(fakes::Route::submit);
    ASSERT_EQ(submits.size(), 1u) << "one run per character at a time";
    EXPECT_TRUE(submits[0].path.ends_with(PipelineConfig{}.characterWorkflow)) << submits[0].path;
    EXPECT_EQ(nlohmann::json::parse(submits[0].body),
              (nlohmann::json{{"image_urls", {h.vendor.url("/media/uploads/third.jpg")}}}));

    const auto file = processedFile(store->project().id, id);
    EXPECT_EQ(files::readAll(file), fakes::FakeVendor::pngBytes());
    EXPECT_EQ(find(id)->processedImageURL, h.vendor.defaultImageURL());
    EXPECT_EQ(find(id)->processedImagePath, file.string());
}

TEST_F(Characters, NothingToProcess)
{
    const Uuid bare = character("No picture", {});
    ASSERT_TRUE(StoreHarness::waitForIdle(*store, 30000)); // the saved projects listed at start
    store->processCharacter(bare);
    store->processCharacter(Uuid::random());
    EXPECT_TRUE(store->processingCharacterIDs().empty());
    EXPECT_FALSE(store->runningTask());
    EXPECT_EQ(store->workers().activeCount(), 0);
    EXPECT_EQ(h.vendor.requestCount(), 0u);
}

TEST_F(Characters, AFailureIsShownAndLeavesTheCharacterAsItWas)
{
    const Uuid id = character("Ada", {picture("ada.png")});
    store->editProject([&](Project& p) { p.characters[0].processedImageURL = "https://cdn.example/old.png"; });
    h.vendor.scriptNextJob({{fakes::FakeVendor::status("FAILED")}, std::nullopt, false});
    store->processCharacter(id);
    ASSERT_TRUE(StoreHarness::waitForIdle(*store));
    EXPECT_TRUE(store->lastError());
    EXPECT_EQ(find(id)->processedImageURL, std::optional<std::string>("https://cdn.example/old.png"));
    EXPECT_FALSE(find(id)->processedImagePath);
    EXPECT_TRUE(store->processingCharacterIDs().empty());
}

TEST_F(Characters, AResultLandsInTheProjectItStartedInOrNowhere)
{
    struct Case {
        const char* name;
        std::function<void(ProjectStore&, const Uuid&)> meanwhile;
    };
    const Case cases[] = {
        {"the character was deleted", [](ProjectStore& s, const Uuid& id) { s.deleteCharacter(id); }},
        {"another project was opened", [](ProjectStore& s, const Uuid&) { s.newProject(); }},
    };
    for (const auto& c : cases) {
        store = h.make(ProjectStore::defaultNewProject());
        const Uuid startedIn = store->project().id;
        const Uuid id = character("Ada", {picture("ada.png")});
        holdNextJob();
        const auto polled = h.vendor.requests(fakes::Route::status).size();
        store->processCharacter(id);
        ASSERT_TRUE(waitUntil([&] { return h.vendor.requests(fakes::Route::status).size() > polled; })) << c.name;
        c.meanwhile(*store, id);
        const Project openNow = store->project();
        h.vendor.releaseAll();
        ASSERT_TRUE(StoreHarness::waitForIdle(*store)) << c.name;

        EXPECT_TRUE(std::filesystem::exists(processedFile(startedIn, id))) << c.name;
        if (store->project().id != startedIn) {
            EXPECT_FALSE(std::filesystem::exists(processedFile(store->project().id, id))) << c.name;
        }
        EXPECT_EQ(store->project(), openNow) << c.name;
        EXPECT_FALSE(store->lastError()) << c.name;
        EXPECT_TRUE(store->processingCharacterIDs().empty()) << c.name;
    }
}

TEST_F(Characters, ReferencesFromTheScreenAppendWithoutStamping)
{
    const Uuid id = character("Ada", {});
    store->editProject([](Project& p) { p.updatedAt = Date{}; });
    const QString idText = QString::fromStdString(id.text());
    const std::string one = picture("one.png");
    const std::string two = picture("two.png");
    EXPECT_TRUE(store->addCharacterReference(idText, QUrl::fromLocalFile(QString::fromStdString(one)).toString()));
    EXPECT_TRUE(store->addCharacterReference(idText, QString::fromStdString(two)));
    EXPECT_FALSE(store->addCharacterReference(QString::fromStdString(Uuid::random().text()),
                                              QString::fromStdString(picture("lost.png"))));
    EXPECT_EQ(find(id)->referenceImagePaths, (std::vector<std::string>{one, two}));
    EXPECT_EQ(store->project().updatedAt, Date{});
}

TEST_F(Characters, OnlyPicturesWeTakeInBecomeReferences)
{
    struct Case {
        const char* file;
        std::string bytes;
        const char* refusal; // empty: taken in
    };
    const Case cases[] = {
        {"ada.png", fakes::FakeVendor::pngBytes(), ""},
        {"ada.jpg", kJpegHeader, ""},
        {"ada.webp", kWebpHeader, ""},
        {"ada.gif", "GIF89a\x01\x00\x01\x00\x80\x00\x00", "The picture \u201cada.gif\u201d is not a PNG, JPEG or WebP picture."},
        {"ada.bmp", "BM" + std::string(52, '\0'), "The picture \u201cada.bmp\u201d is not a PNG, JPEG or WebP picture."},
        {"ada.tiff", std::string("II*\0\x08\0\0\0", 8), "The picture \u201cada.tiff\u201d is not a PNG, JPEG or WebP picture."},
        {"ada.heic", std::string("\0\0\0\x18" "ftypheic\0\0\0\0", 16), "The picture \u201cada.heic\u201d is not a PNG, JPEG or WebP picture."},
        {"huge.png", pngClaiming(20000, 20000), "The picture \u201chuge.png\u201d is too large"},
    };
    for (const Case& c : cases) {
        store = h.make(ProjectStore::defaultNewProject());
        const Uuid id = character("Ada", {picture("first.png")});
        const auto path = h.folder.path() / c.file;
        std::ofstream(path, std::ios::binary) << c.bytes;
        const Project before = store->project();

        const bool taken = store->addCharacterReference(QString::fromStdString(id.text()),
                                                        QString::fromStdString(path.string()));
        if (std::string(c.refusal).empty()) {
            EXPECT_TRUE(taken) << c.file;
            EXPECT_EQ(find(id)->referenceImagePaths.back(), path.string()) << c.file;
            EXPECT_FALSE(store->lastError()) << c.file;
        } else {
            EXPECT_FALSE(taken) << c.file;
            EXPECT_TRUE(store->project() == before) << c.file << ": a refused file changes nothing";
            ASSERT_TRUE(store->lastError()) << c.file;
            EXPECT_EQ(store->lastError()->rfind(c.refusal, 0), 0u) << *store->lastError();
        }
    }
    // A file that is not there is refused the same way.
    EXPECT_FALSE(store->addCharacterReference(QString::fromStdString(store->project().characters[0].id.text()),
                                              QString::fromStdString((h.folder.path() / "gone.png").string())));
    EXPECT_TRUE(store->lastError());
}
