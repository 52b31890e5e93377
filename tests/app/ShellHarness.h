#pragma once

// The main window over a store with an in-memory keyring and clipboard, the vendor's
// pages and the maker's server on loopback, and a key watch the test ticks by hand.

#include "AppFixtures.h"

#include "app/AppShell.h"
#include "cloud/MemorySecretStore.h"
#include "fakes/FakeDesktop.h"
#include "fakes/FakeMakerServer.h"

#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

namespace vl::testing {

using app::AppShell;
using app::ShellContext;


// The vendor's keys page as the fake serves it: it keeps a cookie, opens a link in a new
// window, and goes on to a page of its own when it finds the cookie from an earlier view.
constexpr const char* kKeysPage = R"html(<!doctype html><html><head><title>keys</title></head><body>
<a id="elsewhere" href="/account/billing" target="_blank"
   style="display:block;width:400px;height:300px;background:#234">Billing</a>
<script>
if (document.cookie.indexOf('vlsession=1') >= 0) { location.replace('/dashboard/keys/again'); }
else { document.cookie = 'vlsession=1; max-age=3600; path=/'; }
</script></body></html>)html";

// The main window over a store with an in-memory keyring and clipboard, the vendor's
// pages on loopback, and a watch the test ticks by hand.
struct ShellHarness {
    // `onboarded`: the first-run guide was finished in an earlier run.
    explicit ShellHarness(bool onboarded = true)
    {
        if (onboarded)
            h.settings.setInteger("sharewareOnboardingVersion", 2);
        for (const char* path : {"/dashboard/keys", "/dashboard/keys/again", "/account/billing"})
            h.vendor.serveFile(path, fakes::Reply::text(kKeysPage, 200, "text/html"));
        store = h.make(ProjectStore::sampleProject());
        ShellContext c;
        c.secrets = &secrets;
        c.clipboard = &clipboard;
        c.desktop = &desktop;
        c.keysURL = QUrl(QString::fromStdString(h.vendor.url("/dashboard/keys")));
        c.keyWatchInterval = std::chrono::milliseconds(0);
        c.sharedSuite = &shared;
        c.supportBaseURL = maker.baseURL();
        c.supportPollInterval = std::chrono::milliseconds(10);
        c.supportIsTest = true;
        maker.script("/api/support/checkout",
                     {fakes::Reply::json({{"sessionId", "cs_1"}, {"url", maker.url("/pay/cs_1")}})});
        maker.script("/api/support/status", {fakes::Reply::json({{"paid", false}})});
        shell = std::make_unique<AppShell>(*store, c);
        engine = std::make_unique<QQmlApplicationEngine>();
        QObject::connect(engine.get(), &QQmlEngine::warnings, [this](const QList<QQmlError>& list) {
            for (const auto& w : list)
                warnings << w.toString();
        });
        window = shell->load(*engine);
        if (window)
            exposed = QTest::qWaitForWindowExposed(window);
    }

    QQuickWindow* settingsWindow() const { return window->findChild<QQuickWindow*>("settingsWindow"); }
    QQuickWindow* keySheet() const { return window->findChild<QQuickWindow*>("settingsKeySheet"); }

    static QQuickItem* find(QQuickWindow* w, const char* name) { return findItem(w->contentItem(), name); }
    static QQuickItem* findItem(QQuickItem* root, const char* name)
    {
        if (root->objectName() == QLatin1String(name))
            return root;
        // Screens of stages not shown stay built, hidden: not what the window shows.
        if (root->objectName() == QLatin1String("screenSlot") && !root->isVisible())
            return nullptr;
        for (QQuickItem* child : root->childItems())
            if (QQuickItem* found = findItem(child, name))
                return found;
        return nullptr;
    }
    static QString text(QQuickWindow* w, const char* name)
    {
        QQuickItem* item = find(w, name);
        return item ? item->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
    }
    static void tap(QQuickWindow* w, QQuickItem* target)
    {
        const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(w, Qt::LeftButton, {}, centre.toPoint());
    }
    static void settle(QQuickWindow* w, const char* shotName = nullptr)
    {
        vl::testing::spin(200);
        const QString folder = qEnvironmentVariable("WINDOW_SHOTS");
        if (shotName && !folder.isEmpty())
            w->grabWindow().save(folder + "/" + shotName + ".png");
    }

    QQuickWindow* openSettings()
    {
        QMetaObject::invokeMethod(window, "showSettings");
        QQuickWindow* w = settingsWindow();
        // Offscreen, a window with a transient parent is never reported exposed.
        if (w) {
            EXPECT_TRUE(waitUntil([&] { return w->isVisible(); }));
            settle(w); // laid out and ready for input
        }
        return w;
    }

    StoreHarness h;
    fakes::FakeMakerServer maker;
    MemorySettings shared;
    MemorySecretStore secrets;
    MemoryClipboard clipboard;
    test::FakeDesktop desktop;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<AppShell> shell;
    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow* window = nullptr;
    bool exposed = false;
    QStringList warnings;
};

inline void typeText(QWindow* w, const char* text)
{
    for (const char* c = text; *c; ++c)
        QTest::keyClick(w, *c);
}


} // namespace vl::testing
