#include "ShellHarness.h"
#include "fakes/SmokeEnvironment.h"

#include "cloud/FalKeyStore.h"
#include "support/SupportController.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QSettings>

#include <unistd.h>

using namespace vl;
using vl::testing::kTestKey;
using vl::testing::ShellHarness;
using vl::testing::waitUntil;

namespace {

QQuickWindow* sheetNamed(const ShellHarness& s, const char* name)
{
    return s.window->findChild<QQuickWindow*>(name);
}

} // namespace

TEST(OnboardingWindow, AFirstStartWalksTheGuideAndOnlyFinishingClosesIt)
{
    ShellHarness s(false);
    ASSERT_NE(s.window, nullptr);
    QQuickWindow* sheet = sheetNamed(s, "onboardingSheet");
    ASSERT_NE(sheet, nullptr);
    ASSERT_TRUE(waitUntil([&] { return sheet->isVisible(); })) << "a first start shows the guide";
    EXPECT_GE(sheet->width(), 880);
    EXPECT_GE(sheet->height(), 700);
    EXPECT_FALSE(sheetNamed(s, "contributionSheet")->isVisible());
    ShellHarness::settle(sheet, "onboarding-1");
    EXPECT_EQ(ShellHarness::text(sheet, "stepText"), "1 OF 3");
    EXPECT_FALSE(ShellHarness::shown(sheet, "backButton"));

    sheet->requestActivate();
    QTest::keyClick(sheet, Qt::Key_Escape);
    sheet->close();
    ShellHarness::settle(sheet);
    EXPECT_TRUE(sheet->isVisible()) << "Escape and closing do not dismiss the guide";

    ShellHarness::tap(sheet, ShellHarness::item(sheet, "nextButton"));
    ShellHarness::settle(sheet, "onboarding-2-no-key");
    EXPECT_EQ(ShellHarness::text(sheet, "stepText"), "2 OF 3");
    EXPECT_EQ(ShellHarness::text(sheet, "keyStatusTitle"), "Connect your Fal account");
    EXPECT_EQ(ShellHarness::text(sheet, "keySetupButton"), "Open Fal Setup");

    // The key sheet over the guide: closing it rereads the keyring.
    ShellHarness::tap(sheet, ShellHarness::item(sheet, "keySetupButton"));
    QQuickWindow* keySheet = sheetNamed(s, "onboardingKeySheet");
    ASSERT_NE(keySheet, nullptr);
    ASSERT_TRUE(waitUntil([&] { return keySheet->isVisible(); }));
    FalKeyStore(s.secrets).saveKey(kTestKey);
    ShellHarness::settle(keySheet);
    ShellHarness::tap(keySheet, ShellHarness::item(keySheet, "closeButton"));
    ASSERT_TRUE(waitUntil([&] { return !keySheet->isVisible(); }));
    EXPECT_TRUE(s.store->hasFalAPIKey());
    ShellHarness::settle(sheet, "onboarding-2-key");
    EXPECT_EQ(ShellHarness::text(sheet, "keyStatusTitle"), "Fal is connected");
    EXPECT_EQ(ShellHarness::text(sheet, "keySetupButton"), "Manage Key");

    ShellHarness::tap(sheet, ShellHarness::item(sheet, "nextButton"));
    ShellHarness::settle(sheet, "onboarding-3-idle");
    EXPECT_EQ(ShellHarness::text(sheet, "stepText"), "3 OF 3");
    EXPECT_EQ(ShellHarness::text(sheet, "nextButton"), "Start Creating");
    EXPECT_TRUE(ShellHarness::shown(sheet, "backButton"));
    EXPECT_TRUE(ShellHarness::shown(sheet, "checkoutButton"));
    EXPECT_FALSE(ShellHarness::shown(sheet, "notNowButton")) << "the guide's footer is the way past the offer";

    // A failed start, then a checkout waiting for payment, then paid.
    s.maker.script("/api/support/checkout", {fakes::Reply::text("no", 500)});
    ShellHarness::tap(sheet, ShellHarness::item(sheet, "checkoutButton"));
    ASSERT_TRUE(waitUntil([&] { return s.shell->support().hasError(); }));
    ShellHarness::settle(sheet, "onboarding-3-error");
    EXPECT_EQ(ShellHarness::text(sheet, "errorText").toStdString(), support::SupportController::unavailableMessage());
    EXPECT_TRUE(ShellHarness::item(sheet, "checkoutButton")->isEnabled());

    s.maker.script("/api/support/checkout",
                   {fakes::Reply::json({{"sessionId", "cs_1"}, {"url", s.maker.url("/pay/cs_1")}})});
    ShellHarness::tap(sheet, ShellHarness::item(sheet, "checkoutButton"));
    ASSERT_TRUE(waitUntil([&] { return s.shell->support().isAwaitingPayment(); }));
    ShellHarness::settle(sheet, "onboarding-3-awaiting");
    EXPECT_TRUE(ShellHarness::shown(sheet, "waitingRow"));
    EXPECT_FALSE(ShellHarness::item(sheet, "checkoutButton")->isEnabled());
    const auto checkout = s.maker.requests("/api/support/checkout").back();
    EXPECT_NE(checkout.body.find("macos-onboarding"), std::string::npos);

    s.maker.script("/api/support/status", {fakes::Reply::json({{"paid", true}})});
    ASSERT_TRUE(waitUntil([&] { return s.shell->support().paymentCompleted(); }));
    ShellHarness::settle(sheet, "onboarding-3-paid");
    EXPECT_EQ(ShellHarness::text(sheet, "contributionTitle"), "Thank you for backing the work.");
    EXPECT_FALSE(ShellHarness::shown(sheet, "checkoutButton"));

    ShellHarness::tap(sheet, ShellHarness::item(sheet, "nextButton"));
    ASSERT_TRUE(waitUntil([&] { return !sheet->isVisible(); }));
    EXPECT_EQ(s.h.settings.integer("sharewareOnboardingVersion"), 2);
    EXPECT_TRUE(s.warnings.isEmpty()) << s.warnings.join('\n').toStdString();
}

TEST(OnboardingWindow, SettingsReopensTheGuideOnItsFirstPage)
{
    ShellHarness s;
    ASSERT_NE(s.window, nullptr);
    QQuickWindow* sheet = sheetNamed(s, "onboardingSheet");
    EXPECT_FALSE(sheet->isVisible()) << "a finished guide stays closed";
    QQuickWindow* w = s.openSettings();
    ASSERT_NE(w, nullptr);
    ShellHarness::tap(w, ShellHarness::item(w, "guideButton"));
    ASSERT_TRUE(waitUntil([&] { return sheet->isVisible(); }));
    EXPECT_EQ(ShellHarness::text(sheet, "stepText"), "1 OF 3");
    EXPECT_TRUE(s.warnings.isEmpty()) << s.warnings.join('\n').toStdString();
}

TEST(ContributionWindow, TheMenuClearsAnOldErrorAndTheSheetFollowsTheCheckout)
{
    ShellHarness s;
    ASSERT_NE(s.window, nullptr);
    support::SupportController& support = s.shell->support();
    support.setErrorMessageText("An old failure.");
    QObject* action = s.window->findChild<QObject*>("payWhatYouLikeAction");
    ASSERT_NE(action, nullptr);
    QMetaObject::invokeMethod(action, "trigger");
    QQuickWindow* sheet = sheetNamed(s, "contributionSheet");
    ASSERT_TRUE(waitUntil([&] { return sheet->isVisible(); }));
    EXPECT_FALSE(support.hasError()) << "the menu clears an earlier error";
    EXPECT_GE(sheet->width(), 640);
    EXPECT_GE(sheet->height(), 480);
    ShellHarness::settle(sheet, "contribution-idle");
    EXPECT_EQ(ShellHarness::text(sheet, "supportTitle"), "Help keep Verseloom independent.");

    auto slow = fakes::Reply::text("down", 503);
    slow.delay = std::chrono::milliseconds(800);
    s.maker.script("/api/support/checkout", {slow});
    ShellHarness::tap(sheet, ShellHarness::item(sheet, "checkoutButton"));
    ASSERT_TRUE(support.isStartingCheckout());
    ShellHarness::settle(sheet, "contribution-starting");
    EXPECT_FALSE(ShellHarness::item(sheet, "checkoutButton")->isEnabled());
    ASSERT_TRUE(waitUntil([&] { return !support.isStartingCheckout(); }));
    ShellHarness::settle(sheet, "contribution-error");
    EXPECT_TRUE(ShellHarness::shown(sheet, "errorText"));

    s.maker.script("/api/support/checkout",
                   {fakes::Reply::json({{"sessionId", "cs_9"}, {"url", s.maker.url("/pay/cs_9")}})});
    ShellHarness::tap(sheet, ShellHarness::item(sheet, "checkoutButton"));
    ASSERT_TRUE(waitUntil([&] { return support.isAwaitingPayment(); }));
    ShellHarness::settle(sheet, "contribution-awaiting");
    EXPECT_TRUE(ShellHarness::shown(sheet, "waitingRow"));
    EXPECT_FALSE(ShellHarness::shown(sheet, "errorText"));
    ASSERT_EQ(s.desktop.opened.size(), 1u);
    EXPECT_NE(s.maker.requests("/api/support/checkout").back().body.find("macos-menu"), std::string::npos);

    // "Not Now" closes the sheet; the payment check goes on and the next opening shows it.
    ShellHarness::tap(sheet, ShellHarness::item(sheet, "notNowButton"));
    ASSERT_TRUE(waitUntil([&] { return !sheet->isVisible(); }));
    EXPECT_FALSE(support.isPresented());
    s.maker.script("/api/support/status", {fakes::Reply::json({{"paid", true}})});
    ASSERT_TRUE(waitUntil([&] { return support.paymentCompleted(); }));
    QMetaObject::invokeMethod(action, "trigger");
    ASSERT_TRUE(waitUntil([&] { return sheet->isVisible(); }));
    ShellHarness::settle(sheet, "contribution-paid");
    EXPECT_EQ(ShellHarness::text(sheet, "supportTitle"), "Thank you.");
    EXPECT_FALSE(ShellHarness::shown(sheet, "checkoutButton"));
    EXPECT_TRUE(s.warnings.isEmpty()) << s.warnings.join('\n').toStdString();
}

TEST(Program, AFirstStartShowsTheGuideAndALaterOneDoesNot)
{
    files::TemporaryDirectory home("app-onboarding");
    QProcessEnvironment env = vl::test::smokeEnvironment(home.path());

    const auto start = [&] {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VL_APP_BINARY), {});
        EXPECT_TRUE(program.waitForStarted(10000));
        EXPECT_TRUE(program.waitForFinished(120000));
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        return QString::fromLocal8Bit(program.readAllStandardOutput());
    };
    const QString first = start();
    EXPECT_TRUE(first.contains("shown: onboardingSheet")) << first.toStdString();

    // Finishing the guide stores version 2, as the settings file keeps it.
    QSettings settings(QString::fromStdString((home.path() / "config" / "pro.quillmarsh.verseloom" / "Verseloom.conf").string()),
                       QSettings::IniFormat);
    settings.setValue("sharewareOnboardingVersion", 2);
    settings.sync();
    const QString later = start();
    EXPECT_TRUE(later.contains("shown: mainWindow")) << later.toStdString();
    EXPECT_FALSE(later.contains("shown: onboardingSheet")) << later.toStdString();
}
