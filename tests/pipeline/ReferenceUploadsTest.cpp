#include "StoreHarness.h"

#include "cloud/FalError.h"
#include "fakes/PictureBytes.h"
#include "fakes/VendorReplies.h"
#include "model/Cancellation.h"
#include "model/ImageHeader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <thread>

using namespace vl;
using namespace vl::testing;

namespace {

struct ReferenceUploads : ::testing::Test {
    StoreHarness h;
    std::unique_ptr<ProjectStore> store;

    void SetUp() override
    {
        h.storedKey = kTestKey;
        store = h.make();
    }

    std::string picture(const std::string& name) { return h.picture(name); }

    std::size_t uploads() const
    {
        return h.vendor.requests(fakes::Route::fileUpload).size();
    }
};

} // namespace

TEST_F(ReferenceUploads, EachFileVersionGoesUpOnceUnderItsJpegName)
{
    const auto client = store->makeFalClient();
    const std::string path = picture("portrait.final.png");
    const std::string first = store->uploadedImageURL(path, client, {});
    EXPECT_EQ(store->uploadedImageURL(path, client, {}), first);
    EXPECT_EQ(uploads(), 1u);
    EXPECT_TRUE(first.ends_with("/portrait.final.jpg")) << first;

    // The same name, new contents: the picture goes up again.
    std::ofstream(path, std::ios::binary | std::ios::app) << "more bytes";
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(2));
    store->uploadedImageURL(path, client, {});
    EXPECT_EQ(uploads(), 2u);

    store->resetProject();
    store->uploadedImageURL(path, client, {});
    EXPECT_EQ(uploads(), 3u) << "a reset empties the cache";
}

TEST_F(ReferenceUploads, OverlappingRequestsShareOneUpload)
{
    const auto client = store->makeFalClient();
    const std::string path = picture("shared.png");
    auto slow = fakes::replies::storedFile(h.vendor.url("/media/uploads/shared.jpg"));
    slow.delay = std::chrono::milliseconds(200);
    h.vendor.inject(fakes::Route::fileUpload, slow);
    std::vector<std::future<std::string>> requests;
    for (int i = 0; i < 6; ++i)
        requests.push_back(std::async(std::launch::async, [&] { return store->uploadedImageURL(path, client, {}); }));
    std::set<std::string> addresses;
    for (auto& r : requests)
        addresses.insert(r.get());
    EXPECT_EQ(addresses.size(), 1u);
    EXPECT_EQ(uploads(), 1u);
}

TEST_F(ReferenceUploads, AReferenceThatIsNoUsablePictureSaysWhyAndIsNotCached)
{
    const auto client = store->makeFalClient();
    const auto write = [&](const char* name, const std::string& bytes) {
        std::ofstream(h.folder.path() / name, std::ios::binary) << bytes;
        return (h.folder.path() / name).string();
    };
    const std::pair<std::string, std::string> cases[] = {
        {(h.folder.path() / "missing.png").string(),
         "The picture \u201cmissing.png\u201d could not be read (No such file or directory)."},
        {write("notes.txt", "a shopping list"), "The picture \u201cnotes.txt\u201d is not a PNG, JPEG or WebP picture."},
        {write("bomb.png", vl::testing::pngClaiming(16384, 16384)),
         "The picture \u201cbomb.png\u201d is too large (16384 \u00d7 16384 pixels); pictures may have at most 100 "
         "megapixels."},
    };
    for (const auto& [path, message] : cases) {
        try {
            store->uploadedImageURL(path, client, {});
            ADD_FAILURE() << "uploaded " << path;
        } catch (const ImageError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
    }
    EXPECT_EQ(store->assetURLCache().size(), 0u);
    EXPECT_EQ(uploads(), 0u);
}

TEST_F(ReferenceUploads, CharacterAddresses)
{
    const auto client = store->makeFalClient();
    CharacterReference character;
    character.referenceImagePaths = {picture("a.png"), picture("b.png"), picture("c.png")};

    struct Case {
        const char* name;
        std::optional<std::string> processed;
        std::size_t expectedCount;
        bool uploads;
    };
    const Case cases[] = {
        {"processed image alone, nothing uploaded", std::string("https://cdn.example/p.png"), 1, false},
        {"an empty processed address counts as none", std::string(""), 3, true},
        {"references in order", std::nullopt, 3, true},
    };
    for (const auto& c : cases) {
        store->assetURLCache().clear();
        const auto before = uploads();
        character.processedImageURL = c.processed;
        const auto urls = store->characterReferenceURLs(character, client, {});
        EXPECT_EQ(urls.size(), c.expectedCount) << c.name;
        EXPECT_EQ(uploads() > before, c.uploads) << c.name;
        if (c.processed && !c.processed->empty()) {
            EXPECT_EQ(urls, std::vector<std::string>{*c.processed}) << c.name;
        }
    }
    EXPECT_TRUE(store->characterReferenceURLs(std::nullopt, client, {}).empty());
}

TEST_F(ReferenceUploads, AWaiterWhoseSharedUploadWasStoppedUploadsItself)
{
    const std::string path = picture("stopped.png");
    auto slow = fakes::replies::storedFile(h.vendor.url("/media/uploads/stopped.jpg"));
    slow.delay = std::chrono::milliseconds(3000);
    h.vendor.inject(fakes::Route::fileUpload, slow);
    const auto client = store->makeFalClient();

    std::stop_source starter;
    auto first = std::async(std::launch::async, [&] { return store->uploadedImageURL(path, client, starter.get_token()); });
    ASSERT_TRUE(waitUntil([&] { return !h.vendor.requests(fakes::Route::fileUpload).empty(); }));
    auto second = std::async(std::launch::async, [&] { return store->uploadedImageURL(path, client, {}); });
    spin(100); // the second request now waits on the first one's upload
    starter.request_stop();

    EXPECT_THROW(first.get(), Cancelled);
    EXPECT_EQ(second.get(), h.vendor.url("/media/uploads/stopped.jpg"));
    EXPECT_EQ(store->assetURLCache().size(), 1u);
}
