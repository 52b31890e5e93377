// The polish count the smoke run judges windows by: a layout that feeds its own size
// back is caught, a page whose wrapped text knows its width is not, and a card's soft
// shadow costs no polish when the card is resized.

#include "app/PolishWatch.h"

#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace vl::app;

namespace {

struct LoadedWindow {
    explicit LoadedWindow(const QByteArray& qml)
    {
        engine.addImportPath(QStringLiteral("qrc:/"));
        QQmlComponent component(&engine);
        component.setData(qml, QUrl(QStringLiteral("qrc:/polish-fixture.qml")));
        window.reset(qobject_cast<QQuickWindow*>(component.create()));
        errors = component.errorString();
    }

    QQuickItem* item(const char* name) const { return window->findChild<QQuickItem*>(QLatin1String(name)); }

    QQmlEngine engine;
    std::unique_ptr<QQuickWindow> window;
    QString errors;
};

bool waitForFrame(QQuickWindow* window)
{
    bool swapped = false;
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [&swapped] { swapped = true; }, Qt::SingleShotConnection);
    window->update();
    return QTest::qWaitFor([&] { return swapped; }, 20000);
}

struct FirstFrameCase {
    const char* name;
    const char* body; // the window's content
    bool reported;    // some item is polished more than four times
};

} // namespace

TEST(PolishWatch, ReportsOnlyItemsLaidOutAgainAndAgainBeforeTheFirstFrame)
{
    const FirstFrameCase cases[] = {
        // Each pass rebuilds the rows, which changes the height the row count is bound to.
        {"repeater rebuilt from its own column's height",
         "Column { id: col; width: 300\n"
         "  Repeater { model: Math.min(12, 1 + Math.round(col.height / 20))\n"
         "    Rectangle { width: 300; height: 20 } } }",
         true},
        {"wrapped text in a column with bound widths",
         "Column { id: page; width: 300; spacing: 8\n"
         "  Repeater { model: 6\n"
         "    Text { width: page.width; wrapMode: Text.Wrap;"
         "      text: 'a line long enough to wrap at least once in three hundred pixels of width' } } }",
         false},
        {"wrapped text in a layout",
         "ColumnLayout { width: 300; spacing: 8\n"
         "  Repeater { model: 6\n"
         "    Text { Layout.fillWidth: true; wrapMode: Text.Wrap;"
         "      text: 'a line long enough to wrap at least once in three hundred pixels of width' } } }",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LoadedWindow w(QByteArray("import QtQuick\nimport QtQuick.Layouts\n"
                                  "Window { width: 400; height: 400\n") + c.body + "\n}");
        ASSERT_TRUE(w.window) << w.errors.toStdString();
        PolishWatch watch(w.window.get());
        w.window->show();
        ASSERT_TRUE(QTest::qWaitFor([&] { return watch.firstFrameShown(); }, 20000));
        const QStringList reported = watch.itemsPolishedMoreThan(4);
        EXPECT_EQ(!reported.isEmpty(), c.reported) << reported.join('\n').toStdString() << " most " << watch.mostPolishes();
        if (c.reported) {
            ASSERT_FALSE(reported.isEmpty());
            EXPECT_TRUE(reported.first().startsWith("QQuickColumn")) << reported.first().toStdString();
        }
    }
}

TEST(PolishWatch, ResizingACardPolishesNothingInItsShadow)
{
    LoadedWindow w("import QtQuick\nimport Verseloom.Design\n"
                   "Window { width: 900; height: 900; color: 'black'\n"
                   "  Card { objectName: 'card'; x: 80; y: 80; width: 600; height: 500\n"
                   "    Item { implicitWidth: 100; implicitHeight: 100 } } }");
    ASSERT_TRUE(w.window) << w.errors.toStdString();
    w.window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(w.window.get()));
    ASSERT_TRUE(waitForFrame(w.window.get()));

    PolishWatch watch(w.window.get(), PolishWatch::Until::destroyed);
    QQuickItem* card = w.item("card");
    ASSERT_NE(card, nullptr);
    for (int step = 1; step <= 5; ++step) {
        card->setHeight(500 + 40 * step);
        card->setWidth(600 + 20 * step);
        ASSERT_TRUE(waitForFrame(w.window.get()));
    }
    QStringList inShadow;
    for (const QString& line : watch.itemsPolishedMoreThan(0))
        if (line.contains(QLatin1String("SoftShadow")))
            inShadow << line;
    EXPECT_TRUE(inShadow.isEmpty()) << inShadow.join('\n').toStdString();
}
