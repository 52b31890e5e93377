#include "ModelHarness.h"

#include "installer/UpdateSubscription.h"
#include "model/Json.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <cstdlib>
#include <functional>

#include <sys/stat.h>

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

// Answers each request with the next scripted status and Location, and keeps what it was asked.
class ScriptedHttp : public HttpClient {
public:
    struct Answer {
        long status;
        std::string location;
    };
    explicit ScriptedHttp(std::vector<Answer> answers) : answers_(std::move(answers)) {}

    HttpResponse perform(const HttpRequest& request, std::stop_token) override
    {
        requests.push_back(request);
        const Answer answer = next_ < answers_.size() ? answers_[next_++] : Answer{500, ""};
        HttpResponse response;
        response.status = answer.status;
        if (!answer.location.empty())
            response.headers = {{"location", answer.location}};
        return response;
    }

    std::vector<HttpRequest> requests;

private:
    std::vector<Answer> answers_;
    std::size_t next_ = 0;
};

TEST(UpdateSubscription, followsAFewRedirectsThatResendTheProfileOverHttpsToTheSameOrigin)
{
    const std::string base = "https://updates.example.org";
    const struct {
        const char* what;
        std::vector<ScriptedHttp::Answer> answers;
        bool accepted;
        std::vector<std::string> asked; // the addresses requested, in order
    } cases[] = {
        {"moved for good, same host", {{308, base + "/v2/subscribe"}, {201, ""}}, true,
         {base + "/api/updates/subscribe", base + "/v2/subscribe"}},
        {"a path on the same host", {{307, "/api/v2/updates/subscribe"}, {200, ""}}, true,
         {base + "/api/updates/subscribe", base + "/api/v2/updates/subscribe"}},
        {"the host in other letters", {{308, "https://UPDATES.example.org/new"}, {204, ""}}, true,
         {base + "/api/updates/subscribe", "https://UPDATES.example.org/new"}},
        {"a path beside this one", {{307, "v2/subscribe"}, {200, ""}}, true,
         {base + "/api/updates/subscribe", base + "/api/updates/v2/subscribe"}},
        {"a path one up", {{308, "../v2/subscribe?from=installer"}, {200, ""}}, true,
         {base + "/api/updates/subscribe", base + "/api/v2/subscribe?from=installer"}},
        {"the default port named", {{307, "https://updates.example.org:443/v3"}, {200, ""}}, true,
         {base + "/api/updates/subscribe", "https://updates.example.org:443/v3"}},
        // These would come back as a GET without the profile: a 2xx to that is no subscription.
        {"moved for good as a GET", {{301, base + "/new"}, {200, ""}}, false, {base + "/api/updates/subscribe"}},
        {"found as a GET", {{302, "/new"}, {200, ""}}, false, {base + "/api/updates/subscribe"}},
        {"see other", {{303, base + "/thanks"}, {200, ""}}, false, {base + "/api/updates/subscribe"}},
        {"to another port", {{307, "https://updates.example.org:8443/api/updates/subscribe"}, {200, ""}}, false,
         {base + "/api/updates/subscribe"}},
        {"down to http", {{307, "http://updates.example.org/api/updates/subscribe"}}, false,
         {base + "/api/updates/subscribe"}},
        {"to another host", {{307, "https://collector.example.net/subscribe"}}, false,
         {base + "/api/updates/subscribe"}},
        {"round and round", std::vector<ScriptedHttp::Answer>(10, {307, base + "/again"}), false,
         {base + "/api/updates/subscribe", base + "/again", base + "/again", base + "/again", base + "/again",
          base + "/again"}},
    };
    for (const auto& c : cases) {
        ScriptedHttp http(c.answers);
        const HttpRequest request = subscriptionRequest(base, "Ann", "ann@example.org");
        std::string failure;
        try {
            subscribeForUpdates(http, request);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        EXPECT_EQ(failure, c.accepted ? "" : kSubscriptionRejectedMessage) << c.what;
        std::vector<std::string> asked;
        for (const auto& sent : http.requests)
            asked.push_back(sent.url);
        EXPECT_EQ(asked, c.asked) << c.what;
        for (const auto& sent : http.requests) {
            EXPECT_EQ(sent.method, "POST") << c.what;
            EXPECT_EQ(sent.body, request.body) << c.what << ": every request carries the profile";
        }
    }
}

TEST(UpdateSubscription, theSharedSuiteFileIsTheUsersAlone)
{
    const struct {
        const char* what;
        std::function<void(const fs::path& file)> arrange;
    } cases[] = {
        {"a first install", [](const fs::path&) {}},
        {"written open by an earlier installer", [](const fs::path& file) {
             test::writeText(file, "[General]\nsubscriberEmail=earlier@example.org\nkeep=1\n");
             fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                       fs::perms::others_read);
         }},
    };
    for (const auto& c : cases) {
        test::Sandbox box;
        const fs::path folder = box.root.path() / "config/pro.quillmarsh.verseloom";
        const fs::path file = folder / "shared.conf";
        c.arrange(file);
        const bool folderWasThere = fs::exists(folder);
        keepSettingsFilePrivate(file);
        {
            QSettings suite(QString::fromStdString(file.string()), QSettings::IniFormat);
            suite.setValue(kSubscriberEmailKey, "ann@example.org");
            suite.sync();
            ASSERT_EQ(suite.status(), QSettings::NoError) << c.what;
        }
        struct stat info{};
        ASSERT_EQ(::stat(file.c_str(), &info), 0) << c.what;
        EXPECT_EQ(info.st_mode & 07777, 0600u) << c.what;
        if (!folderWasThere) {
            ASSERT_EQ(::stat(folder.c_str(), &info), 0);
            EXPECT_EQ(info.st_mode & 07777, 0700u) << c.what;
        }
        QSettings reread(QString::fromStdString(file.string()), QSettings::IniFormat);
        EXPECT_EQ(reread.value(kSubscriberEmailKey).toString(), "ann@example.org") << c.what;
        if (folderWasThere) {
            EXPECT_EQ(reread.value("keep").toString(), "1") << c.what << ": what was there stays";
        }
    }

    // The run itself keeps it so before it saves the profile.
    ModelHarness h;
    h.box.context.sharedSuiteFile = h.box.root.path() / "config/shared.conf";
    h.make();
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    ASSERT_TRUE(h.model->finished()) << h.model->failure().toStdString();
    struct stat info{};
    ASSERT_EQ(::stat(h.box.context.sharedSuiteFile.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
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
