#pragma once

// What every window test does the same way: a QML engine whose warnings are kept, a window
// loaded on it and waited for until it is on screen (offscreen), items found by object
// name, taps, and pictures left in WINDOW_SHOTS. A test's own harness derives from this
// and says which window it loads over which fixtures.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace vl::test {

class WindowHarness {
public:
    // Loads the window with `loadWindow` (a shell's load) on a new engine, keeping every
    // warning the engine reports, and waits until the window is exposed.
    void load(const std::function<QQuickWindow*(QQmlApplicationEngine&)>& loadWindow)
    {
        engine = std::make_unique<QQmlApplicationEngine>();
        QObject::connect(engine.get(), &QQmlEngine::warnings, [this](const QList<QQmlError>& list) {
            for (const auto& w : list)
                warnings << w.toString();
        });
        window = loadWindow(*engine);
        if (window)
            exposed = QTest::qWaitForWindowExposed(window);
    }

    // Destroys the engine and its windows. A harness calls this in its destructor: the
    // shell and store the window binds to are its own members, which go before this base.
    void unload()
    {
        window = nullptr;
        engine.reset();
    }

    // Searches the visual tree: list delegates are not QObject children of the window.
    static QQuickItem* findItem(QQuickItem* root, const char* name) { return search(root, name, false); }
    // The same, matching only items that are shown (hidden ones may share the name).
    static QQuickItem* findShownItem(QQuickItem* root, const char* name) { return search(root, name, true); }
    static QQuickItem* item(QQuickWindow* w, const char* name) { return findItem(w->contentItem(), name); }
    QQuickItem* item(const char* name) const { return item(window, name); }

    static bool shown(QQuickWindow* w, const char* name)
    {
        QQuickItem* found = item(w, name);
        return found && found->isVisible();
    }
    bool shown(const char* name) const { return shown(window, name); }

    static QString text(QQuickWindow* w, const char* name)
    {
        QQuickItem* found = item(w, name);
        return found ? found->property("text").toString() : QStringLiteral("<missing %1>").arg(name);
    }

    // Any QObject below `root` (menus and their entries are not items of the visual tree).
    static QObject* object(QObject* root, const char* name) { return root->findChild<QObject*>(name); }
    QObject* object(const char* name) const { return object(window, name); }

    // A click in the middle of the item, as the user makes it.
    static void tap(QQuickWindow* w, QQuickItem* target)
    {
        ASSERT_NE(target, nullptr);
        const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
        QTest::mouseClick(w, Qt::LeftButton, {}, centre.toPoint());
    }
    void tap(QQuickItem* target) const { tap(window, target); }

    // Lets bindings and rendering catch up; with WINDOW_SHOTS set and a name given, leaves
    // a picture of the window there as <name>.png.
    static void settle(QQuickWindow* w, const QString& shotName = {})
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 200)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        const QString folder = qEnvironmentVariable("WINDOW_SHOTS");
        if (w && !shotName.isEmpty() && !folder.isEmpty())
            w->grabWindow().save(folder + "/" + shotName + ".png");
    }
    void settle(const QString& shotName = {}) const { settle(window, shotName); }

    std::unique_ptr<QQmlApplicationEngine> engine;
    QQuickWindow* window = nullptr;
    bool exposed = false;
    QStringList warnings;

private:
    static QQuickItem* search(QQuickItem* root, const char* name, bool shownOnly)
    {
        if (root->objectName() == QLatin1String(name) && (!shownOnly || root->isVisible()))
            return root;
        // The workspace keeps the screens of stages not shown built, hidden: not what the
        // window shows.
        if (root->objectName() == QLatin1String("screenSlot") && !root->isVisible())
            return nullptr;
        for (QQuickItem* child : root->childItems())
            if (QQuickItem* found = search(child, name, shownOnly))
                return found;
        return nullptr;
    }
};

} // namespace vl::test
