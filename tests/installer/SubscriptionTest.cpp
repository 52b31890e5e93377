#include "ModelHarness.h"

#include "installer/UpdateSubscription.h"
#include "model/Json.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace vl::installer {
namespace {

namespace fs = std::filesystem;

using test::ModelHarness;

TEST(UpdateSubscription, sendsTheTrimmedProfileAsJson)
{
    ModelHarness h;
    h.model->setFirstName(QStringLiteral("  Ann \t"));
    h.model->setEmail(QStringLiteral(" ANN@Example.ORG\n"));
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    ASSERT_TRUE(h.model->finished()) << h.model->failure().toStdString();

    const auto requests = h.server.requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& request = requests.front();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.path, "/api/updates/subscribe");
    EXPECT_EQ(request.header("content-type"), "application/json");
    EXPECT_EQ(json::parse(request.body), json::parse(R"({"firstName": "Ann", "email": "ann@example.org",
        "source": "quillmarsh-verseloom-installer", "consent": true})"));

    EXPECT_EQ(h.box.suite.string(kSubscriberFirstNameKey), "Ann");
    EXPECT_EQ(h.box.suite.string(kSubscriberEmailKey), "ann@example.org");
    EXPECT_EQ(h.box.suite.string(kDefaultExportDestinationKey), "") << "the app-managed folder is stored as empty";
    EXPECT_EQ(h.detail("profile"), "Updates enabled \u00b7 app-managed exports");
    EXPECT_EQ(h.model->email(), " ANN@Example.ORG\n") << "the field keeps what was typed";
}

TEST(UpdateSubscription, anyTwoHundredIsAcceptedAndNothingElseStoresAnything)
{
    const struct {
        const char* what;
        std::function<void(ModelHarness&)> arrange;
        std::string failure; // empty: accepted
    } cases[] = {
        {"201", [](ModelHarness& h) { h.server.setStatus(201); }, ""},
        {"204", [](ModelHarness& h) { h.server.setStatus(204); }, ""},
        {"404", [](ModelHarness& h) { h.server.setStatus(404); }, kSubscriptionRejectedMessage},
        {"500", [](ModelHarness& h) { h.server.setStatus(500); }, kSubscriptionRejectedMessage},
        {"refused", [](ModelHarness& h) { h.box.context.updatesBaseUrl = "http://127.0.0.1:1"; }, "Network error: "},
        {"silent", [](ModelHarness& h) {
             h.server.setSilent(true);
             h.box.context.subscribeTimeout = std::chrono::seconds(1);
         },
         "The request timed out."},
        {"not an address", [](ModelHarness& h) { h.box.context.updatesBaseUrl = "not a url"; }, kInvalidProfileMessage},
    };
    for (const auto& c : cases) {
        ModelHarness h;
        h.box.suite.setString(kSubscriberEmailKey, "earlier@example.org");
        c.arrange(h);
        h.install();
        ASSERT_TRUE(h.waitForEnd()) << c.what;
        if (c.failure.empty()) {
            EXPECT_TRUE(h.model->finished()) << c.what << ": " << h.model->failure().toStdString();
            EXPECT_EQ(h.box.suite.string(kSubscriberEmailKey), "ann@example.org") << c.what;
            continue;
        }
        EXPECT_TRUE(h.model->failure().toStdString().starts_with(c.failure))
            << c.what << ": " << h.model->failure().toStdString();
        EXPECT_EQ(h.box.suite.string(kSubscriberEmailKey), "earlier@example.org") << c.what << ": nothing stored";
        EXPECT_FALSE(fs::exists(h.box.target())) << c.what << ": stopped before the copy";
    }
}

TEST(UpdateSubscription, theBaseAddressComesFromTheContextTheEnvironmentOrOurs)
{
    ::unsetenv("VL_UPDATES_BASE_URL");
    EXPECT_EQ(updatesBaseUrl(""), kDefaultUpdatesBaseUrl);
    EXPECT_EQ(updatesBaseUrl("http://127.0.0.1:9"), "http://127.0.0.1:9");
    ::setenv("VL_UPDATES_BASE_URL", "http://127.0.0.1:8", 1);
    EXPECT_EQ(updatesBaseUrl(""), "http://127.0.0.1:8");
    EXPECT_EQ(updatesBaseUrl("http://127.0.0.1:9"), "http://127.0.0.1:9");
    ::unsetenv("VL_UPDATES_BASE_URL");
    EXPECT_EQ(subscriptionRequest("https://example.org/", "Ann", "a@b.c").url,
              "https://example.org/api/updates/subscribe");
    EXPECT_TRUE(std::string(kDefaultUpdatesBaseUrl).starts_with("https://"));
}

} // namespace
} // namespace vl::installer
