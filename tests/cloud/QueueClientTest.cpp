#include "CloudTestSupport.h"

#include "cloud/Workflows.h"
#include "fakes/VendorReplies.h"
#include "model/Json.h"
#include "model/Text.h"

#include <gmock/gmock.h>

#include <thread>

namespace vl::testing {
namespace {

using fakes::FakeVendor;
using fakes::Reply;
using fakes::Route;
using json::Json;
using ::testing::ElementsAre;

TEST_F(CloudTest, WholeJobFromSubmitThroughQueueToImage)
{
    vendor.scriptNextJob({.statuses = {FakeVendor::status("IN_QUEUE", 3), FakeVendor::status("IN_QUEUE", 1),
                                       Reply::json({{"status", "IN_PROGRESS"},
                                                    {"logs", {{{"message", "warming up"}}, {{"message", "drawing"}}}}}),
                                       FakeVendor::status("COMPLETED")}});
    const FalClient client = direct();
    const Json input = FalClient::frameInput("A neon street", "cinematic", {"https://fal.media/ref.png"});

    const auto job = client.submit(workflows::kFrame, input, {});
    EXPECT_EQ(job.requestID, "req-1");
    std::vector<FalClient::StatusUpdate> updates;
    client.waitForCompletion(job.statusURL, [&](const auto& update) { updates.push_back(update); }, {});
    const Json result = client.fetchResult(job.responseURL, {});
    EXPECT_EQ(FalClient::firstImageURL(result), vendor.defaultImageURL());

    ASSERT_EQ(updates.size(), 4u);
    EXPECT_EQ(updates[0].status, "IN_QUEUE");
    EXPECT_EQ(updates[0].queuePosition, 3);
    EXPECT_EQ(updates[1].queuePosition, 1);
    EXPECT_EQ(updates[2].status, "IN_PROGRESS");
    EXPECT_EQ(updates[2].queuePosition, std::nullopt);
    EXPECT_THAT(updates[2].logs, ElementsAre("warming up", "drawing"));
    EXPECT_EQ(updates[3].status, "COMPLETED");

    const auto log = vendor.requests();
    ASSERT_EQ(log.size(), 6u);
    EXPECT_EQ(log[0].method, "POST");
    EXPECT_EQ(log[0].path, "/workflows/brindlecove/lyric-video-frames-character");
    EXPECT_EQ(log[0].header("Content-Type"), "application/json");
    EXPECT_EQ(json::parse(log[0].body), input);
    for (const auto& request : log)
        EXPECT_EQ(request.header("Authorization"), std::string("Key ") + kGoodKey) << request.path;
    for (int i = 1; i <= 4; ++i) {
        EXPECT_EQ(log[i].route, Route::status);
        EXPECT_EQ(log[i].query, "logs=1");
    }
    EXPECT_EQ(log[5].route, Route::result);
    EXPECT_EQ(log[5].path, "/workflows/brindlecove/lyric-video-frames-character/requests/req-1");
}

// One job whose status answers are scripted; what the wait ends with and what the
// callback saw.
struct StatusCase {
    const char* name;
    std::vector<Reply> statuses;
    std::optional<FalError> error; // none: completes
    std::vector<std::string> reportedStatuses;
    std::optional<std::int64_t> firstPosition = std::nullopt;
    std::vector<std::string> firstLogs = {};
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const StatusCase& c, std::ostream* out) { *out << c.name; }

class StatusAnswers : public CloudTest, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusAnswers, EndTheWaitAsScripted)
{
    const StatusCase& c = GetParam();
    vendor.scriptNextJob({.statuses = c.statuses});
    const FalClient client = direct();
    const auto job = client.submit("workflows/x/y", Json::object(), {});

    std::vector<FalClient::StatusUpdate> updates;
    const auto wait = [&] {
        client.waitForCompletion(job.statusURL, [&](const auto& update) { updates.push_back(update); }, {});
    };
    if (c.error) {
        const FalError error = falErrorOf(wait);
        EXPECT_EQ(error, *c.error);
        EXPECT_STREQ(error.what(), c.error->what());
    } else {
        EXPECT_NO_THROW(wait());
    }
    std::vector<std::string> reported;
    for (const auto& update : updates)
        reported.push_back(update.status);
    EXPECT_EQ(reported, c.reportedStatuses);
    if (!updates.empty()) {
        EXPECT_EQ(updates[0].queuePosition, c.firstPosition);
        EXPECT_EQ(updates[0].logs, c.firstLogs);
    }
}

const std::string kLongBody = multibyteText(2000);

INSTANTIATE_TEST_SUITE_P(
    Queue, StatusAnswers,
    ::testing::Values(
        StatusCase{"NotJsonCountsAsInProgress",
                   {Reply::text("<html>busy</html>"), FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_PROGRESS", "COMPLETED"}},
        StatusCase{"ArrayOrMissingStatusCountsAsInProgress",
                   {Reply::json(Json::array({1, 2})), Reply::json({{"status", 7}}), FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_PROGRESS", "IN_PROGRESS", "COMPLETED"}},
        StatusCase{"EmptyBodyCountsAsInProgress",
                   {Reply::text(""), FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_PROGRESS", "COMPLETED"}},
        StatusCase{"NonUtf8BodyCountsAsInProgress",
                   {Reply::text("{\"status\":\"\xff\xfe\"}"), FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_PROGRESS", "COMPLETED"}},
        StatusCase{"UnknownWordFailsTheJobAfterReportingIt",
                   {FakeVendor::status("IN_QUEUE", 2), FakeVendor::status("FAILED")},
                   FalError::jobFailed("FAILED"),
                   {"IN_QUEUE", "FAILED"},
                   2},
        StatusCase{"WordsAreCaseSensitive",
                   {FakeVendor::status("completed")},
                   FalError::jobFailed("completed"),
                   {"completed"}},
        StatusCase{"PositionWrittenAsTextIsNoPosition",
                   {Reply::json({{"status", "IN_QUEUE"}, {"queue_position", "3"}}), FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_QUEUE", "COMPLETED"}},
        StatusCase{"PositionAsFractionIsNoPosition",
                   {Reply::json({{"status", "IN_QUEUE"}, {"queue_position", 2.5}}), FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_QUEUE", "COMPLETED"}},
        StatusCase{"OneLogEntryThatIsNotAnObjectDropsAllMessages",
                   {Reply::json({{"status", "IN_PROGRESS"}, {"logs", {{{"message", "a"}}, "b"}}}),
                    FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_PROGRESS", "COMPLETED"}},
        StatusCase{"LogEntriesWithoutTextMessageAreSkipped",
                   {Reply::json({{"status", "IN_PROGRESS"}, {"logs", {{{"message", 1}}, {{"message", "kept"}}}}}),
                    FakeVendor::status("COMPLETED")},
                   std::nullopt,
                   {"IN_PROGRESS", "COMPLETED"},
                   std::nullopt,
                   {"kept"}},
        StatusCase{"Unauthorized401", {fakes::replies::refusal(401)}, FalError::unauthorized(), {}},
        StatusCase{"Unauthorized403", {fakes::replies::refusal(403)}, FalError::unauthorized(), {}},
        StatusCase{"ServerErrorKeepsFirst500Characters",
                   {Reply::text(kLongBody, 500)},
                   FalError::http(500, text::cutToCharacters(kLongBody, 500)),
                   {}},
        StatusCase{"ServerErrorWithNonUtf8BodyHasEmptyBody",
                   {Reply::text("\xc3\x28 broken", 502)},
                   FalError::http(502, ""),
                   {}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CloudTest, ServerErrorDescriptionShowsStatusAndCutBody)
{
    const FalError error = FalError::http(500, text::cutToCharacters(kLongBody, 500));
    EXPECT_EQ(text::characterCount(error.text()), 500u);
    EXPECT_EQ(std::string(error.what()), "Generation error 500: " + error.text());
}

TEST_F(CloudTest, GivesUpAfter400StatusRequests)
{
    vendor.scriptNextJob({.statuses = {FakeVendor::status("IN_QUEUE", 5)}});
    const FalClient client = direct(kGoodKey, 0.0001);
    const auto job = client.submit("workflows/x/y", Json::object(), {});
    int reports = 0;
    EXPECT_EQ(falErrorOf([&] { client.waitForCompletion(job.statusURL, [&](const auto&) { ++reports; }, {}); }),
              FalError::timedOut());
    EXPECT_EQ(vendor.requests(Route::status).size(), 400u);
    EXPECT_EQ(reports, 400);
}

TEST_F(CloudTest, CancellingDuringThePauseEndsAtOnceWithoutAnotherRequest)
{
    vendor.scriptNextJob({.held = true});
    // A pause far longer than the stop may take: only an interrupted pause ends in time.
    const FalClient client = direct(kGoodKey, 2.0 * static_cast<double>(kStopCeiling.count()));
    const auto job = client.submit("workflows/x/y", Json::object(), {});

    StoppableCall waiter([&](std::stop_token stop) { client.waitForCompletion(job.statusURL, {}, stop); });
    ASSERT_TRUE(vendor.waitForRequests(2, std::chrono::seconds(60)));
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // most likely inside the pause by now
    EXPECT_TRUE(waiter.stop()) << "the pause was waited out";
    EXPECT_TRUE(waiter.cancelled());
    EXPECT_EQ(vendor.requests(Route::status).size(), 1u);
}

TEST_F(CloudTest, CancellingDuringASlowStatusAnswerAbortsTheRequest)
{
    vendor.scriptNextJob({.statuses = {[] {
        Reply slow = FakeVendor::status("IN_PROGRESS");
        slow.delay = 2 * kStopCeiling; // only an aborted request ends in time
        return slow;
    }()}});
    const FalClient client = direct();
    const auto job = client.submit("workflows/x/y", Json::object(), {});
    StoppableCall waiter([&](std::stop_token stop) { client.waitForCompletion(job.statusURL, {}, stop); });
    ASSERT_TRUE(vendor.waitForRequests(2, std::chrono::seconds(60)));
    EXPECT_TRUE(waiter.stop()) << "the slow answer was waited out";
    EXPECT_TRUE(waiter.cancelled());
}

TEST_F(CloudTest, AStoppedTokenSendsNothing)
{
    std::stop_source source;
    source.request_stop();
    const FalClient client = direct();
    EXPECT_THROW(client.submit("workflows/x/y", Json::object(), source.get_token()), Cancelled);
    EXPECT_THROW(client.waitForCompletion(vendor.url("/workflows/x/y/requests/1/status"), {}, source.get_token()),
                 Cancelled);
    EXPECT_EQ(vendor.requestCount(), 0u);
}

// Submit answers and inputs that must not turn into a job.
struct SubmitCase {
    const char* name;
    std::string key;
    std::string path;
    Json input;
    std::optional<Reply> answer;
    FalError error;
    std::size_t requestsSent;
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const SubmitCase& c, std::ostream* out) { *out << c.name; }

class SubmitFailures : public CloudTest, public ::testing::WithParamInterface<SubmitCase> {};

TEST_P(SubmitFailures, EndWithTheirError)
{
    const SubmitCase& c = GetParam();
    if (c.answer)
        vendor.inject(Route::submit, *c.answer);
    const FalClient client = direct(c.key);
    EXPECT_EQ(falErrorOf([&] { client.submit(c.path, c.input, {}); }), c.error);
    EXPECT_EQ(vendor.requestCount(), c.requestsSent);
}

const Json kEmpty = Json::object();

INSTANTIATE_TEST_SUITE_P(
    Queue, SubmitFailures,
    ::testing::Values(
        SubmitCase{"EmptyKey", "", "workflows/x/y", kEmpty, {}, FalError::missingAPIKey(), 0},
        SubmitCase{"KeyBreakingTheRule", "not-a-key", "workflows/x/y", kEmpty, {}, FalError::missingAPIKey(), 0},
        SubmitCase{"PathThatIsNoAddress", kGoodKey, "workflows/x y", kEmpty, {}, FalError::badURL("workflows/x y"), 0},
        SubmitCase{"AnswerWithoutResponseURL", kGoodKey, "workflows/x/y", kEmpty,
                   Reply::json({{"request_id", "1"}, {"status_url", "http://127.0.0.1:1/s"}}),
                   FalError::malformedResponse(), 1},
        SubmitCase{"AnswerWithNumericRequestID", kGoodKey, "workflows/x/y", kEmpty,
                   Reply::json({{"request_id", 1}, {"status_url", "x"}, {"response_url", "y"}}),
                   FalError::malformedResponse(), 1},
        SubmitCase{"AnswerWithRelativeAddresses", kGoodKey, "workflows/x/y", kEmpty,
                   Reply::json({{"request_id", "1"}, {"status_url", "status"}, {"response_url", "result"}}),
                   FalError::malformedResponse(), 1},
        SubmitCase{"AnswerThatIsAList", kGoodKey, "workflows/x/y", kEmpty, Reply::json(Json::array()),
                   FalError::malformedResponse(), 1},
        SubmitCase{"Rejected", kGoodKey, "workflows/x/y", kEmpty, fakes::replies::refusal(401, "bad key"),
                   FalError::unauthorized(), 1},
        SubmitCase{"ServerError", kGoodKey, "workflows/x/y", kEmpty, Reply::text("overloaded", 503),
                   FalError::http(503, "overloaded"), 1}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_F(CloudTest, RedirectsAreFollowedOnlyWithinTheVendorsHosts)
{
    // A moved queue endpoint: 307 repeats the POST with its body and the key.
    vendor.inject(Route::submit, Reply::redirect(vendor.url("/workflows/x/y?hop=1"), 307));
    const auto job = direct().submit("workflows/x/y", Json{{"a", 1}}, {});
    auto submits = vendor.requests(Route::submit);
    ASSERT_EQ(submits.size(), 2u);
    EXPECT_EQ(submits[1].method, "POST");
    EXPECT_EQ(submits[1].query, "hop=1");
    EXPECT_EQ(json::parse(submits[1].body), (Json{{"a", 1}}));
    EXPECT_EQ(submits[1].header("Authorization"), std::string("Key ") + kGoodKey);

    // A status answer moved by a path of its own.
    vendor.inject(Route::status, Reply::redirect("/workflows/x/y/requests/" + job.requestID + "/status?logs=1&hop=1"));
    direct().waitForCompletion(job.statusURL, {}, {});
    EXPECT_EQ(vendor.requests(Route::status).back().query, "logs=1&hop=1");

    // Somewhere else, or round and round: not followed, and the key stays home.
    fakes::FakeVendor elsewhere;
    vendor.inject(Route::result, Reply::redirect(elsewhere.url("/steal"), 302));
    EXPECT_EQ(falErrorOf([&] { direct().fetchResult(job.responseURL, {}); }).status(), 302);
    EXPECT_EQ(elsewhere.requestCount(), 0u);
    vendor.inject(Route::status, Reply::redirect(job.statusURL + "?again", 302), 10);
    EXPECT_EQ(falErrorOf([&] { direct().waitForCompletion(job.statusURL, {}, {}); }).status(), 302);
    EXPECT_EQ(vendor.requests(Route::status).size(), 2u + 6u) << "the first answer and five redirects";
}

TEST_F(CloudTest, SubmitAnswerThatIsNotJsonPassesTheReadersErrorInWords)
{
    vendor.inject(Route::submit, Reply::text("<html>gateway</html>"));
    try {
        direct().submit("workflows/x/y", Json::object(), {});
        FAIL() << "accepted";
    } catch (const json::DecodeError& e) {
        EXPECT_STREQ(e.what(), "The generation service answered with something that is not JSON (expected a JSON "
                               "value at line 1, column 1).");
    }
}

TEST_F(CloudTest, InputThatCannotBeWrittenIsNeverSent)
{
    EXPECT_THROW(direct().submit("workflows/x/y", Json{{"n", std::nan("")}}, {}), json::EncodeError);
    EXPECT_THROW(direct().submit("workflows/x/y", Json{{"s", "\xff"}}, {}), json::EncodeError);
    EXPECT_EQ(vendor.requestCount(), 0u);
}

TEST_F(CloudTest, EmptyKeyClientSendsNoAuthorizationOnStatusAndResult)
{
    const FalClient client = direct("");
    vendor.scriptNextJob({});
    const auto job = direct().submit("workflows/x/y", Json::object(), {});
    client.waitForCompletion(job.statusURL, {}, {});
    client.fetchResult(job.responseURL, {});
    const auto log = vendor.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].header("Authorization"), std::nullopt);
    EXPECT_EQ(log[2].header("Authorization"), std::nullopt);
}

// The key travels only to the vendor: addresses on any other host are refused
// before anything is sent to them.
TEST_F(CloudTest, QueueAddressesOnAnotherHostAreRefusedWithoutSending)
{
    FakeVendor elsewhere;
    vendor.setQueueAddressBase(elsewhere.baseURL());
    const FalClient client = direct();
    EXPECT_EQ(falErrorOf([&] { client.submit("workflows/x/y", Json::object(), {}); }), FalError::malformedResponse());

    const std::string foreign = elsewhere.url("/workflows/x/y/requests/req-1");
    EXPECT_EQ(falErrorOf([&] { client.waitForCompletion(foreign + "/status", {}, {}); }),
              FalError::malformedResponse());
    EXPECT_EQ(falErrorOf([&] { client.fetchResult(foreign, {}); }), FalError::malformedResponse());
    EXPECT_EQ(elsewhere.requestCount(), 0u);
}

TEST_F(CloudTest, ResultThatIsNotAnObjectIsEmpty)
{
    for (const Reply& answer : {Reply::text("not json"), Reply::json(Json::array({1})), Reply::text("")}) {
        vendor.scriptNextJob({.result = answer});
        const FalClient client = direct();
        const auto job = client.submit("workflows/x/y", Json::object(), {});
        EXPECT_EQ(client.fetchResult(job.responseURL, {}), Json::object()) << answer.body;
    }
}

TEST_F(CloudTest, RelayCarriesNoKeyAndRewritesQueueAddresses)
{
    vendor.setQueueAddressBase("https://queue.fal.run");
    const FalClient client = relay();
    const auto job = client.submit("workflows/x/y", Json{{"a", 1}}, {});
    EXPECT_EQ(job.statusURL, vendor.url("/api/fal/workflows/x/y/requests/req-1/status"));
    EXPECT_EQ(job.responseURL, vendor.url("/api/fal/workflows/x/y/requests/req-1"));
    client.waitForCompletion(job.statusURL, {}, {});
    client.fetchResult(job.responseURL, {});

    const auto log = vendor.requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[0].path, "/api/fal/workflows/x/y");
    EXPECT_EQ(log[1].path, "/api/fal/workflows/x/y/requests/req-1/status");
    EXPECT_EQ(log[1].query, "logs=1");
    EXPECT_EQ(log[2].path, "/api/fal/workflows/x/y/requests/req-1");
    for (const auto& request : log)
        EXPECT_EQ(request.header("Authorization"), std::nullopt);
}

struct AddressCase {
    const char* relay;
    const char* queue;
    const char* expected;
};

TEST(ProxiedURL, PutsQueueAddressesOnTheRelay)
{
    const AddressCase cases[] = {
        {"https://relay.example/api/fal", "https://queue.fal.run/a/b/status?x=1&y=%20",
         "https://relay.example/api/fal/a/b/status?x=1&y=%20"},
        {"https://relay.example/api/fal?token=1", "https://queue.fal.run/a", "https://relay.example/api/fal/a"},
        {"https://u:p@relay.example:8443/r", "https://queue.fal.run/a?q", "https://u:p@relay.example:8443/r/a?q"},
        {"https://relay.example", "https://queue.fal.run/a/b", "https://relay.example/a/b"},
        {"https://relay.example/api/fal", "not an address", "not an address"},
        {"relay", "https://queue.fal.run/a", "https://queue.fal.run/a"},
    };
    for (const auto& c : cases) {
        const FalClient client(FalClient::Transport::serviceProxy(c.relay), sharedHttpClient(), 1.5);
        EXPECT_EQ(client.proxiedURL(c.queue), c.expected) << c.relay << " + " << c.queue;
    }
    const FalClient directClient(FalClient::Transport::direct(kGoodKey), sharedHttpClient(), 1.5);
    EXPECT_EQ(directClient.proxiedURL("https://queue.fal.run/a?b"), "https://queue.fal.run/a?b");
}

TEST(StatusURL, AddsTheLogsItem)
{
    EXPECT_EQ(FalClient::statusURL("https://q.example/a/status"), "https://q.example/a/status?logs=1");
    EXPECT_EQ(FalClient::statusURL("https://q.example/a?logs=0"), "https://q.example/a?logs=0&logs=1");
    EXPECT_EQ(FalClient::statusURL("::"), "::");
}

TEST(MakeRequest, SendsTheKeyOnlyToVendorHostsOverASecureLine)
{
    const FalClient production(FalClient::Transport::direct(std::string(" ") + kGoodKey + "\n"), sharedHttpClient(),
                               1.5);
    const std::string header = std::string("Key ") + kGoodKey;
    const std::pair<const char*, bool> cases[] = {
        {"https://queue.fal.run/workflows/x/requests/1/status", true},
        {"https://QUEUE.fal.run/x", true},
        {"https://rest.alpha.fal.ai/storage/auth/token", true},
        {"http://queue.fal.run/x", false},
        {"https://queue.fal.run:8443/x", false},
        {"https://queue.fal.run.evil.example/x", false},
        {"https://fal.media/image.png", false},
        {"http://127.0.0.1:8080/x", false},
    };
    for (const auto& [address, carriesKey] : cases) {
        const HttpRequest request = production.makeRequest(address);
        EXPECT_EQ(request.timeout, std::chrono::seconds(60));
        EXPECT_EQ(request.deadline, std::chrono::seconds(300)) << "a status answer that drips must end";
        EXPECT_GT(request.lowSpeedBytesPerSecond, 1u);
        const bool hasKey = !request.headers.empty() && request.headers[0].second == header;
        EXPECT_EQ(hasKey, carriesKey) << address;
    }
    const FalClient proxied(FalClient::Transport::serviceProxy("https://relay.example/api/fal"), sharedHttpClient(),
                            1.5);
    EXPECT_TRUE(proxied.makeRequest("https://queue.fal.run/x").headers.empty());
}

TEST(PollInterval, MustBeFiniteAndNotNegative)
{
    for (const double bad : {-0.1, std::nan(""), HUGE_VAL})
        EXPECT_THROW(FalClient(FalClient::Transport::direct(""), sharedHttpClient(), bad), std::invalid_argument);
}

TEST(FirstImageURL, FindsTheFirstAddressThatLooksLikeAnImage)
{
    const std::pair<Json, std::optional<std::string>> cases[] = {
        {Json{{"images", {{{"url", "https://cdn.example/a.png"}}}}}, "https://cdn.example/a.png"},
        {Json{{"images", {{{"url", "HTTPS://cdn.example/a.png"}}}}}, std::nullopt},
        {Json{{"image", {{"url", "https://v3.fal.media/files/abc"}}}}, "https://v3.fal.media/files/abc"},
        {Json{{"url", "https://x.example/get?name=a.WEBP"}}, "https://x.example/get?name=a.WEBP"},
        {Json{{"url", "https://x.example/page"}}, std::nullopt},
        {Json{{"images", Json::array()}, {"url", "https://x.example/b.jpg"}}, "https://x.example/b.jpg"},
        {Json{{"images", {"https://x.example/first.jpeg"}}, {"url", "https://x.example/second.png"}},
         "https://x.example/first.jpeg"},
        {Json{{"data", {{"nested", {1, true, nullptr, "https://run.fal.run/out"}}}}}, "https://run.fal.run/out"},
        {Json::array({Json::object(), "ftp://x.example/a.png", "https://x.example/c.png"}), "https://x.example/c.png"},
        {Json(42), std::nullopt},
        {Json::array(), std::nullopt},
    };
    for (const auto& [value, expected] : cases)
        EXPECT_EQ(FalClient::firstImageURL(value), expected) << value.dump();
}

TEST(FirstImageURL, SearchesEachMemberOnceAndStopsAtTheDepthLimit)
{
    // Visiting "image" twice per level would take 2^60 steps here.
    const auto nested = [](int levels, Json inner) {
        for (int i = 0; i < levels; ++i)
            inner = Json{{"image", inner}, {"other", i}};
        return inner;
    };
    EXPECT_EQ(FalClient::firstImageURL(nested(60, Json::object())), std::nullopt);
    EXPECT_EQ(FalClient::firstImageURL(nested(60, "https://x.example/deep.png")), "https://x.example/deep.png");
    EXPECT_EQ(FalClient::firstImageURL(nested(json::kMaxDepth + 5, "https://x.example/deep.png")), std::nullopt);
    // "images" that is not a list is still searched, in its place among the members.
    EXPECT_EQ(FalClient::firstImageURL(Json{{"images", {{"url", "https://x.example/a.png"}}}}),
              "https://x.example/a.png");
}

TEST(FalErrorText, IsTheSentenceTheUserSees)
{
    const std::pair<FalError, const char*> cases[] = {
        {FalError::badURL("x y"), "Invalid URL: x y"},
        {FalError::http(404, "gone"), "Generation error 404: gone"},
        {FalError::jobFailed("FAILED"), "Generation failed (FAILED)."},
        {FalError::missingAPIKey(), "Connect your fal.ai API key in Settings before using cloud generation."},
        {FalError::unauthorized(), "The generation service rejected the request."},
        {FalError::malformedResponse(), "Unexpected response from the generation service."},
        {FalError::noImageInResponse(), "No image was returned."},
        {FalError::timedOut(), "The generation job timed out."},
    };
    for (const auto& [error, text] : cases)
        EXPECT_STREQ(error.what(), text);
}

TEST(FalEndpointsTest, AcceptsLoopbackHttpOnlyInATestSetup)
{
    const FalEndpoints test = FalEndpoints::loopback("http://127.0.0.1:4000");
    FalEndpoints notTest = test;
    notTest.isTest = false;
    EXPECT_TRUE(test.isVendorAddress("http://127.0.0.1:4000/x"));
    EXPECT_FALSE(test.isVendorAddress("http://127.0.0.1:4001/x"));
    EXPECT_FALSE(test.isVendorAddress("http://localhost:4000/x"));
    EXPECT_FALSE(notTest.isVendorAddress("http://127.0.0.1:4000/x"));
    EXPECT_TRUE(test.isSecureAddress("http://localhost:9/x"));
    EXPECT_FALSE(test.isSecureAddress("http://cdn.example/x.png"));
    EXPECT_FALSE(notTest.isSecureAddress("http://127.0.0.1:4000/x"));
    EXPECT_TRUE(notTest.isSecureAddress("https://cdn.example/x.png"));
}

} // namespace
} // namespace vl::testing
