#include "fakes/FakeDesktop.h"
#include "fakes/FakeMakerServer.h"
#include "model/Settings.h"
#include "support/SupportController.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

using namespace vl;
using namespace vl::support;
using vl::fakes::Reply;

namespace {

constexpr const char* kCheckout = "/api/support/checkout";
constexpr const char* kStatus = "/api/support/status";

bool waitUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

Reply paid(bool value) { return Reply::json({{"paid", value}}); }

// A controller against the loopback maker's server, polling every 10 ms.
struct Contribution {
    Contribution() { server.script(kCheckout, {Reply::json({{"sessionId", "cs_1"}, {"url", server.url("/pay/cs_1")}})}); }

    std::unique_ptr<SupportController> make(bool countLaunch = false, int maxRounds = 300)
    {
        SupportContext c;
        c.defaults = &defaults;
        c.shared = &shared;
        c.http = &sharedHttpClient();
        c.desktop = &desktop;
        c.baseURL = server.baseURL();
        c.pollInterval = std::chrono::milliseconds(10);
        c.maxPollRounds = maxRounds;
        c.isTest = true;
        return std::make_unique<SupportController>(c, countLaunch);
    }

    // Starts a checkout and waits until it has either failed or opened the page.
    static bool start(SupportController& support, const char* source = "macos-menu")
    {
        support.startCheckout(source);
        return waitUntil([&] { return !support.isStartingCheckout(); });
    }

    fakes::FakeMakerServer server;
    MemorySettings defaults;
    MemorySettings shared;
    test::FakeDesktop desktop;
};

} // namespace

TEST(SupportController, OffersTheSheetOnEveryFourthLaunchOnceOnboardingIsDone)
{
    for (const std::optional<long long> version : {std::optional<long long>(), std::optional<long long>(1),
                                                   std::optional<long long>(2)}) {
        for (const bool paidBefore : {false, true}) {
            Contribution c;
            if (version)
                c.defaults.setInteger("sharewareOnboardingVersion", *version);
            c.defaults.setBoolean("supportPaymentCompleted", paidBefore);
            for (int launch = 1; launch <= 8; ++launch) {
                const auto support = c.make(true);
                EXPECT_EQ(c.defaults.integer("supportLaunchCount"), launch);
                const bool offered = launch % 4 == 0 && version == 2 && !paidBefore;
                EXPECT_EQ(support->isPresented(), offered)
                    << "launch " << launch << " version " << version.value_or(-1) << " paid " << paidBefore;
                EXPECT_EQ(support->paymentCompleted(), paidBefore);
            }
        }
    }
    Contribution c;
    c.defaults.setInteger("sharewareOnboardingVersion", 2);
    c.defaults.setInteger("supportLaunchCount", 3);
    EXPECT_FALSE(c.make(false)->isPresented()) << "a construction that does not count never offers";
    EXPECT_EQ(c.defaults.integer("supportLaunchCount"), 3);
}

TEST(SupportController, ACheckoutOpensThePageAndPollsUntilPaid)
{
    Contribution c;
    c.shared.setString("subscriberEmail", "ada@example.org");
    c.server.script(kStatus, {paid(false), Reply::text("oops", 500), Reply::text("not json", 200), paid(true)});
    const auto support = c.make();
    ASSERT_TRUE(Contribution::start(*support, "macos-onboarding"));
    EXPECT_FALSE(support->hasError());
    ASSERT_EQ(c.desktop.opened.size(), 1u);
    EXPECT_EQ(c.desktop.opened.front(), QUrl(QString::fromStdString(c.server.url("/pay/cs_1"))));
    EXPECT_TRUE(support->isAwaitingPayment());

    const auto checkout = c.server.requests(kCheckout);
    ASSERT_EQ(checkout.size(), 1u);
    EXPECT_EQ(checkout[0].method, "POST");
    EXPECT_EQ(checkout[0].header("content-type"), std::string("application/json"));
    EXPECT_EQ(nlohmann::json::parse(checkout[0].body),
              (nlohmann::json{{"email", "ada@example.org"}, {"source", "macos-onboarding"}}));

    ASSERT_TRUE(waitUntil([&] { return support->paymentCompleted(); }));
    EXPECT_FALSE(support->isAwaitingPayment());
    EXPECT_EQ(c.server.requests(kStatus).size(), 4u);
    EXPECT_EQ(c.server.requests(kStatus)[0].query, "sessionId=cs_1");
    EXPECT_EQ(c.defaults.boolean("supportPaymentCompleted"), true);

    // Paid for good: a later checkout does nothing.
    support->startCheckout("macos-menu");
    EXPECT_FALSE(support->isStartingCheckout());
    EXPECT_EQ(c.server.requests(kCheckout).size(), 1u);
}

TEST(SupportController, WithoutASharedEmailTheMemberIsEmpty)
{
    Contribution c;
    c.server.script(kStatus, {paid(false)});
    const auto support = c.make(false, 1);
    ASSERT_TRUE(Contribution::start(*support));
    const auto body = nlohmann::json::parse(c.server.requests(kCheckout).at(0).body);
    EXPECT_EQ(body, (nlohmann::json{{"email", ""}, {"source", "macos-menu"}}));
}

TEST(SupportController, AFailedStartSaysWhyAndOpensNothing)
{
    struct Case {
        const char* name;
        Reply reply;
        std::string message;
    };
    const std::string unavailable = SupportController::unavailableMessage();
    const std::vector<Case> cases = {
        {"server error", Reply::json({{"url", "https://pay.example/x"}, {"sessionId", "s"}}, 500), unavailable},
        {"no url", Reply::json({{"sessionId", "s"}}), "The checkout service sent a reply that could not be read."},
        {"a file", Reply::json({{"sessionId", "s"}, {"url", "file:///etc/passwd"}}), unavailable},
        {"a script", Reply::json({{"sessionId", "s"}, {"url", "javascript:x"}}), unavailable},
        {"plain http elsewhere", Reply::json({{"sessionId", "s"}, {"url", "http://pay.example/x"}}), unavailable},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        Contribution c;
        c.server.script(kCheckout, {k.reply});
        const auto support = c.make();
        ASSERT_TRUE(Contribution::start(*support));
        EXPECT_EQ(support->errorMessage(), k.message);
        EXPECT_TRUE(c.desktop.opened.empty());
        EXPECT_FALSE(support->isAwaitingPayment());
        EXPECT_TRUE(support->canStartCheckout());
    }

    // A browser that does not open the page is the same failure; the menu clears it.
    Contribution c;
    c.desktop.opensPages = false;
    const auto support = c.make();
    ASSERT_TRUE(Contribution::start(*support));
    EXPECT_EQ(support->errorMessage(), unavailable);
    EXPECT_FALSE(support->isAwaitingPayment());
    support->presentFromMenu();
    EXPECT_FALSE(support->hasError());
    EXPECT_TRUE(support->isPresented());
}

TEST(SupportController, WaitingEndsSilentlyAfterTheLastRound)
{
    Contribution c;
    c.server.script(kStatus, {paid(false)});
    const auto support = c.make(false, 300);
    ASSERT_TRUE(Contribution::start(*support));
    ASSERT_TRUE(waitUntil([&] { return !support->isAwaitingPayment(); }, 60000));
    EXPECT_EQ(c.server.requests(kStatus).size(), 300u);
    EXPECT_FALSE(support->hasError());
    EXPECT_FALSE(support->paymentCompleted());
    EXPECT_FALSE(c.defaults.boolean("supportPaymentCompleted").has_value());
}

TEST(SupportController, ANewCheckoutReplacesThePollerAndItsLateReplies)
{
    Contribution c;
    auto lateYes = paid(true);
    lateYes.delay = std::chrono::milliseconds(500);
    c.server.script(kStatus, {lateYes, paid(false)});
    const auto support = c.make(false, 5);
    ASSERT_TRUE(Contribution::start(*support));
    ASSERT_TRUE(c.server.waitForRequests(kStatus, 1, std::chrono::seconds(10)));
    // The old poller is waiting for its (paid) answer when the second checkout starts.
    c.server.script(kCheckout, {Reply::json({{"sessionId", "cs_2"}, {"url", c.server.url("/pay/cs_2")}})});
    ASSERT_TRUE(Contribution::start(*support));
    EXPECT_TRUE(support->isAwaitingPayment());
    ASSERT_TRUE(waitUntil([&] { return !support->isAwaitingPayment(); }));
    EXPECT_FALSE(support->paymentCompleted()) << "the replaced poller's answer changed nothing";
    EXPECT_EQ(c.server.requests(kStatus).back().query, "sessionId=cs_2");
}

TEST(SupportController, TheSessionIdIsEncodedOnce)
{
    Contribution c;
    c.server.script(kCheckout, {Reply::json({{"sessionId", "a b&c=d"}, {"url", c.server.url("/pay")}})});
    c.server.script(kStatus, {paid(false)});
    const auto support = c.make(false, 1);
    ASSERT_TRUE(Contribution::start(*support));
    ASSERT_TRUE(waitUntil([&] { return !support->isAwaitingPayment(); }));
    // One query item whose value decodes to the identifier; hex digits in either case.
    const QString query = QString::fromStdString(c.server.requests(kStatus).at(0).query);
    EXPECT_EQ(query.toLower(), "sessionid=a%20b%26c%3dd");
}

TEST(SupportController, QuittingMidCheckoutOrMidPollTouchesNothingFreed)
{
    Contribution c;
    auto slow = Reply::json({{"sessionId", "s"}, {"url", c.server.url("/pay")}});
    slow.delay = std::chrono::milliseconds(300);
    c.server.script(kCheckout, {slow});
    c.server.script(kStatus, {paid(false)});
    {
        auto support = c.make();
        support->startCheckout("macos-menu");
        support.reset(); // the request in flight is stopped and joined
    }
    {
        c.server.script(kCheckout, {Reply::json({{"sessionId", "s"}, {"url", c.server.url("/pay")}})});
        auto support = c.make();
        ASSERT_TRUE(Contribution::start(*support));
        ASSERT_TRUE(c.server.waitForRequests(kStatus, 2, std::chrono::seconds(10)));
        support.reset();
    }
    QCoreApplication::processEvents();
    SUCCEED();
}
