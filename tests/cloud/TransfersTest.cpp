#include "CloudTestSupport.h"

#include "cloud/Workflows.h"
#include "model/Files.h"
#include "fakes/PictureBytes.h"
#include "fakes/VendorReplies.h"
#include "model/ImageHeader.h"
#include "model/Json.h"

#include <gmock/gmock.h>

#include <filesystem>
#include <thread>

namespace vl::testing {
namespace {

using fakes::FakeVendor;
using fakes::Reply;
using fakes::Route;
using json::Json;
namespace fs = std::filesystem;

TEST_F(CloudTest, ImageWorkflowSendsItsAddressesAndReturnsTheImage)
{
    const std::string image = direct().runImageURLsWorkflow(
        workflows::kCharacter, {"https://fal.media/a.jpg"}, {}, {});
    EXPECT_EQ(image, vendor.defaultImageURL());
    const auto submits = vendor.requests(Route::submit);
    ASSERT_EQ(submits.size(), 1u);
    EXPECT_EQ(submits[0].path, "/workflows/brindlecove/character");
    EXPECT_EQ(json::parse(submits[0].body), (Json{{"image_urls", {"https://fal.media/a.jpg"}}}));
}

TEST_F(CloudTest, ImageWorkflowWithoutImageInResult)
{
    vendor.scriptNextJob({.result = Reply::json({{"images", {{{"url", "https://x.example/readme"}}}}})});
    EXPECT_EQ(falErrorOf([&] { direct().runImageURLsWorkflow("workflows/x/y", {}, {}, {}); }),
              FalError::noImageInResponse());
}

TEST_F(CloudTest, ElementWorkflowTakesTheEchoedIdentifierOnlyWhenItIsText)
{
    const std::pair<Json, std::string> cases[] = {
        {Json{{"image", "https://x.example/e.png"}, {"element_id", "echoed"}}, "echoed"},
        {Json{{"image", "https://x.example/e.png"}, {"element_id", 7}}, "sent"},
        {Json{{"image", "https://x.example/e.png"}}, "sent"},
    };
    for (const auto& [result, expected] : cases) {
        vendor.scriptNextJob({.result = Reply::json(result)});
        const auto element = direct().runElementWorkflow(workflows::kElement, "{\"plan\":1}", "sent", {}, {});
        EXPECT_EQ(element.imageURL, "https://x.example/e.png");
        EXPECT_EQ(element.elementID, expected);
    }
    EXPECT_EQ(json::parse(vendor.requests(Route::submit)[0].body),
              (Json{{"shot_plan", "{\"plan\":1}"}, {"element_id", "sent"}}));
}

TEST_F(CloudTest, TranscriptionWorkflowHandsBackTheResultAsFetched)
{
    const Json lyrics = {{"lyrics", {{{"text", "la"}, {"startTime", 0.5}, {"endTime", 1.0}}}}};
    vendor.scriptNextJob({.result = Reply::json(lyrics)});
    EXPECT_EQ(direct().runTranscriptionWorkflow(workflows::kTranscription, "https://fal.media/song.m4a", {}, {}),
              lyrics);
    EXPECT_EQ(json::parse(vendor.requests(Route::submit)[0].body),
              (Json{{"song_audio_file", "https://fal.media/song.m4a"}}));

    vendor.scriptNextJob({.result = Reply::text("[not an object")});
    EXPECT_EQ(direct().runTranscriptionWorkflow(workflows::kTranscription, "u", {}, {}), Json::object());
}

TEST(WorkflowInputs, CarryTheKeysEachWorkflowReads)
{
    EXPECT_EQ(FalClient::frameInput("p", "s", {"a", "b"}),
              (Json{{"image_prompt", "p"}, {"style_preset", "s"}, {"reference_image_urls", {"a", "b"}}}));
    EXPECT_EQ(FalClient::planInput("Artist", 184, "0.0-1.0 la", "moody", {"c"}),
              (Json{{"artist", "Artist"}, {"duration_seconds", "184"}, {"transcript", "0.0-1.0 la"},
                    {"style_guidance", "moody"}, {"image_urls", {"c"}}}));
    EXPECT_EQ(FalClient::editInput("https://f/1.png", "brighter"),
              (Json{{"frame_to_edit", {"https://f/1.png"}}, {"users_edit_request", "brighter"}}));
}

TEST_F(CloudTest, DirectUploadFetchesATokenThenStoresTheFile)
{
    const std::string bytes("\xff\xd8\xff\xe0 jpeg bytes\0with nul", 24);
    const std::string address = direct().upload(bytes, "ref.jpg", "image/jpeg", {});
    EXPECT_EQ(address, vendor.url("/media/uploads/ref.jpg"));

    const auto log = vendor.requests();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].route, Route::storageToken);
    EXPECT_EQ(log[0].query, "storage_type=fal-cdn-v3");
    EXPECT_EQ(log[0].header("Authorization"), std::string("Key ") + kGoodKey);
    EXPECT_EQ(log[0].header("Content-Type"), "application/json");
    EXPECT_EQ(log[0].body, "{}");
    EXPECT_EQ(log[1].path, "/cdn/files/upload");
    EXPECT_EQ(log[1].header("Authorization"), "Bearer storage-token-1");
    EXPECT_EQ(log[1].header("Content-Type"), "image/jpeg");
    EXPECT_EQ(log[1].header("X-Fal-File-Name"), "ref.jpg");
    EXPECT_EQ(log[1].body, bytes);
}

TEST_F(CloudTest, TokenTypeIsBearerUnlessTheAnswerNamesOne)
{
    const std::pair<Json, const char*> cases[] = {
        {Json{{"token", "t"}, {"base_url", vendor.url("/cdn/")}}, "Bearer t"},
        {Json{{"token", "t"}, {"token_type", 5}, {"base_url", vendor.url("/cdn")}}, "Bearer t"},
        {Json{{"token", "t"}, {"token_type", "Custom"}, {"base_url", vendor.url("/cdn")}}, "Custom t"},
    };
    for (const auto& [token, header] : cases) {
        vendor.inject(Route::storageToken, Reply::json(token));
        direct().upload("x", "a.jpg", "image/jpeg", {});
        const auto uploads = vendor.requests(Route::fileUpload);
        EXPECT_EQ(uploads.back().header("Authorization"), header);
        EXPECT_EQ(uploads.back().path, "/cdn/files/upload");
    }
}

struct UploadCase {
    const char* name;
    Route route;
    std::function<Reply(const FakeVendor&)> answer;
    FalError error;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const UploadCase& c, std::ostream* out) { *out << c.name; }

class DirectUploadFailures : public CloudTest, public ::testing::WithParamInterface<UploadCase> {};

TEST_P(DirectUploadFailures, EndWithTheirError)
{
    vendor.inject(GetParam().route, GetParam().answer(vendor));
    EXPECT_EQ(falErrorOf([&] { direct().upload("x", "a.jpg", "image/jpeg", {}); }), GetParam().error);
    if (GetParam().route == Route::storageToken) {
        EXPECT_TRUE(vendor.requests(Route::fileUpload).empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Storage, DirectUploadFailures,
    ::testing::Values(
        UploadCase{"TokenMissing", Route::storageToken,
                   [](const FakeVendor& v) { return Reply::json({{"base_url", v.url("/cdn")}}); },
                   FalError::malformedResponse()},
        UploadCase{"BaseNotAnAddress", Route::storageToken,
                   [](const FakeVendor&) { return Reply::json({{"token", "t"}, {"base_url", "::"}}); },
                   FalError::malformedResponse()},
        UploadCase{"BaseOverPlainHttpElsewhere", Route::storageToken,
                   [](const FakeVendor&) {
                       return Reply::json({{"token", "t"}, {"base_url", "http://cdn.example"}});
                   },
                   FalError::malformedResponse()},
        UploadCase{"TokenWithLineBreak", Route::storageToken,
                   [](const FakeVendor& v) {
                       return Reply::json({{"token", "t\r\nX-Evil: 1"}, {"base_url", v.url("/cdn")}});
                   },
                   FalError::malformedResponse()},
        UploadCase{"TokenRefused", Route::storageToken,
                   [](const FakeVendor&) { return fakes::replies::refusal(403); }, FalError::unauthorized()},
        UploadCase{"EmptyAccessURL", Route::fileUpload,
                   [](const FakeVendor&) { return Reply::json({{"access_url", ""}}); },
                   FalError::malformedResponse()},
        UploadCase{"AccessURLNotText", Route::fileUpload,
                   [](const FakeVendor&) { return Reply::json({{"access_url", 1}}); },
                   FalError::malformedResponse()},
        UploadCase{"UploadServerError", Route::fileUpload,
                   [](const FakeVendor&) { return Reply::text("disk full", 507); }, FalError::http(507, "disk full")}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CloudTest, DirectUploadWithoutAKeySendsNothing)
{
    EXPECT_EQ(falErrorOf([&] { direct("").upload("x", "a.jpg", "image/jpeg", {}); }), FalError::missingAPIKey());
    EXPECT_EQ(vendor.requestCount(), 0u);
}

TEST_F(CloudTest, TokenAnswerThatIsNotJsonPassesTheReadersError)
{
    vendor.inject(Route::storageToken, Reply::text("nope"));
    EXPECT_THROW(direct().upload("x", "a.jpg", "image/jpeg", {}), json::DecodeError);
}

TEST_F(CloudTest, RelayUploadGoesBesideTheRelayWithoutAKey)
{
    EXPECT_EQ(relay().upload("song", "song.m4a", "audio/mp4", {}), vendor.url("/media/relay/song.m4a"));
    const auto log = vendor.requests();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].path, "/api/fal-upload");
    EXPECT_EQ(log[0].header("Content-Type"), "audio/mp4");
    EXPECT_EQ(log[0].header("x-file-name"), "song.m4a");
    EXPECT_EQ(log[0].header("Authorization"), std::nullopt);
    EXPECT_EQ(log[0].body, "song");

    for (const Reply& answer : {Reply::json(Json::array({"https://x"})), Reply::json({{"url", ""}})}) {
        vendor.inject(Route::relayUpload, answer);
        EXPECT_EQ(falErrorOf([&] { relay().upload("x", "a.jpg", "image/jpeg", {}); }), FalError::malformedResponse());
    }
}

class Download : public CloudTest {
protected:
    files::TemporaryDirectory folder{"download-test"};

    fs::path destination() const { return folder.path() / "frames" / "deep" / "frame.png"; }
    std::vector<fs::path> filesIn(const fs::path& where) const
    {
        std::vector<fs::path> found;
        if (fs::exists(where))
            for (const auto& entry : fs::recursive_directory_iterator(where))
                if (entry.is_regular_file())
                    found.push_back(entry.path());
        return found;
    }
};

TEST_F(Download, WritesTheImageCreatingFoldersAndReplacingAnOldFile)
{
    direct().download(vendor.defaultImageURL(), destination(), {});
    EXPECT_EQ(files::readAll(destination()), FakeVendor::pngBytes());

    const std::string jpeg = kJpegHeader + " newer";
    vendor.serveFile("/media/new.jpg", Reply::text(jpeg, 200, "image/jpeg"));
    relay().download(vendor.url("/media/new.jpg"), destination(), {});
    EXPECT_EQ(files::readAll(destination()), jpeg);
    EXPECT_EQ(filesIn(folder.path()).size(), 1u);
    for (const auto& request : vendor.requests())
        EXPECT_EQ(request.header("Authorization"), std::nullopt);
}

TEST_F(Download, KeepsOnlyPicturesWhoseHeaderReads)
{
    enum class Outcome { kept, notAnImage, damaged, tooLarge };
    const std::string png = FakeVendor::pngBytes();
    const std::pair<std::string, Outcome> cases[] = {
        {png, Outcome::kept},
        {kJpegHeader, Outcome::kept},
        {kWebpHeader, Outcome::kept},
        {"GIF89a....", Outcome::notAnImage},
        {"<html>login</html>", Outcome::notAnImage},
        {"", Outcome::notAnImage},
        {vl::testing::dicomAbort(), Outcome::notAnImage},
        {png.substr(0, 20), Outcome::damaged},
        {"\xff\xd8\xff\xe0", Outcome::damaged},
        {std::string("RIFF\x10\0\0\0WEBPVP8 ", 16), Outcome::damaged},
        {vl::testing::pngClaiming(20000, 20000), Outcome::tooLarge},
    };
    for (const auto& [bytes, outcome] : cases) {
        SCOPED_TRACE(::testing::PrintToString(bytes.substr(0, 24)));
        fs::remove_all(folder.path() / "frames");
        vendor.serveFile("/media/x.png", Reply::text(bytes, 200, "image/png"));
        const auto download = [&] { direct().download(vendor.url("/media/x.png"), destination(), {}); };
        switch (outcome) {
        case Outcome::kept:
            download();
            EXPECT_EQ(files::readAll(destination()), bytes);
            continue;
        case Outcome::notAnImage:
            EXPECT_EQ(falErrorOf(download), FalError::noImageInResponse());
            break;
        case Outcome::damaged:
        case Outcome::tooLarge:
            try {
                download();
                ADD_FAILURE() << "kept";
            } catch (const ImageError& e) {
                EXPECT_EQ(e.kind(), outcome == Outcome::damaged ? ImageError::Kind::damaged
                                                                : ImageError::Kind::tooLarge);
                EXPECT_TRUE(std::string(e.what()).starts_with(FalClient::kDownloadedPictureSubject)) << e.what();
            }
            break;
        }
        EXPECT_TRUE(filesIn(folder.path()).empty());
    }
}

TEST_F(Download, FailureLeavesAnExistingFileUntouched)
{
    fs::create_directories(destination().parent_path());
    files::writeAtomically(destination(), "old");
    EXPECT_EQ(falErrorOf([&] { direct().download(vendor.url("/media/missing.png"), destination(), {}); }),
              FalError::http(404, "{\"detail\":\"Not found\"}"));
    EXPECT_EQ(files::readAll(destination()), "old");
    EXPECT_EQ(filesIn(folder.path()).size(), 1u);
}

TEST_F(Download, RefusesAddressesThatAreNoneOrPlainHttp)
{
    EXPECT_EQ(falErrorOf([&] { direct().download("not an address", destination(), {}); }),
              FalError::badURL("not an address"));
    const FalClient production(FalClient::Transport::direct(kGoodKey), sharedHttpClient(), 0);
    EXPECT_EQ(falErrorOf([&] { production.download(vendor.defaultImageURL(), destination(), {}); }),
              FalError::badURL(vendor.defaultImageURL()));
    EXPECT_EQ(vendor.requestCount(), 0u);
}

TEST_F(Download, EndsAnOversizedDownload)
{
    // Sent without a declared length, so only the running count can stop it.
    Reply huge = Reply::text(FakeVendor::pngBytes() + std::string(FalClient::kMaxDownloadBytes, 'x'), 200,
                             "image/png");
    huge.chunkBytes = 1 << 20;
    vendor.serveFile("/media/huge.png", huge);
    try {
        direct().download(vendor.url("/media/huge.png"), destination(), {});
        ADD_FAILURE() << "an oversized download was accepted";
    } catch (const HttpError& error) {
        EXPECT_EQ(error.kind(), HttpError::Kind::tooLarge);
    }
    EXPECT_TRUE(filesIn(folder.path()).empty());
}

TEST_F(Download, CancellingMidTransferStopsAtOnceAndWritesNothing)
{
    // Chunks come fast enough for the low-speed limit, but the whole transfer takes
    // far longer than the stop may: only an aborted transfer ends in time.
    Reply slow = Reply::text(FakeVendor::pngBytes() + std::string(1024 * 1024, 'x'), 200, "image/png");
    slow.chunkBytes = 4 * 1024;
    slow.chunkDelay = std::chrono::milliseconds(500);
    vendor.serveFile("/media/slow.png", slow);

    StoppableCall worker(
        [&](std::stop_token stop) { direct().download(vendor.url("/media/slow.png"), destination(), stop); });
    ASSERT_TRUE(vendor.waitForRequests(1, std::chrono::seconds(60)));
    std::this_thread::sleep_for(std::chrono::milliseconds(350)); // most likely mid-transfer by now
    EXPECT_TRUE(worker.stop()) << "the transfer was waited out";
    EXPECT_TRUE(worker.cancelled());
    EXPECT_TRUE(filesIn(folder.path()).empty());
}

} // namespace
} // namespace vl::testing
