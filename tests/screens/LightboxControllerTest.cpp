#include "screens/frames/LightboxController.h"

#include <QGuiApplication>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using namespace vl::screens;

namespace {

QImage picture(int width, int height, QColor colour)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

int visibleLightboxes()
{
    int n = 0;
    for (QWindow* w : QGuiApplication::topLevelWindows())
        n += w->isVisible() && w->objectName() == QLatin1String("lightbox") ? 1 : 0;
    return n;
}

QQuickItem* findIn(QQuickItem* root, const char* name)
{
    if (root->objectName() == QLatin1String(name))
        return root;
    for (QQuickItem* child : root->childItems())
        if (QQuickItem* found = findIn(child, name))
            return found;
    return nullptr;
}

QQuickItem* find(QQuickWindow* window, const char* name)
{
    return findIn(window->contentItem(), name);
}

QQuickWindow* presented(const QImage& image)
{
    LightboxController::present(image);
    QQuickWindow* window = LightboxController::window();
    if (window) {
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
    }
    return window;
}

} // namespace

TEST(LightboxController, ASecondPictureReplacesTheFirstOverTheWholePrimaryScreen)
{
    const QImage first = picture(90, 160, Qt::red);
    const QImage second = picture(160, 90, Qt::blue);
    ASSERT_NE(presented(first), nullptr);
    QQuickWindow* window = presented(second);
    ASSERT_NE(window, nullptr);
    QCoreApplication::processEvents();
    EXPECT_EQ(visibleLightboxes(), 1);
    auto* image = qobject_cast<FittedImage*>(find(window, "lightboxImage"));
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->image(), second);

    const QScreen* screen = QGuiApplication::primaryScreen();
    EXPECT_EQ(window->geometry(), screen->geometry());
    EXPECT_TRUE(window->flags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(window->flags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(window->color(), QColor(Qt::black));
    LightboxController::dismiss();
    QCoreApplication::processEvents();
    EXPECT_EQ(visibleLightboxes(), 0);
}

TEST(LightboxController, APortraitPictureIsShownWholeWithBlackAroundIt)
{
    QQuickWindow* window = presented(picture(90, 160, Qt::white));
    ASSERT_NE(window, nullptr);
    auto* image = qobject_cast<FittedImage*>(find(window, "lightboxImage"));
    ASSERT_NE(image, nullptr);
    const QRectF inWindow = image->mapRectToScene(image->paintedRect());
    EXPECT_GE(inWindow.top(), 24 - 0.5);
    EXPECT_LE(inWindow.bottom(), window->height() - 24 + 0.5);
    EXPECT_NEAR(inWindow.center().x(), window->width() / 2.0, 1);
    EXPECT_NEAR(inWindow.width() / inWindow.height(), 90.0 / 160.0, 0.01);
    LightboxController::dismiss();
}

TEST(LightboxController, EscapeAClickAnywhereOrTheButtonClosesIt)
{
    struct Case {
        const char* name;
        std::function<void(QQuickWindow*)> gesture;
    };
    const Case cases[] = {
        {"Escape", [](QQuickWindow* w) { QTest::keyClick(w, Qt::Key_Escape); }},
        {"click on the black", [](QQuickWindow* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(5, w->height() - 5)); }},
        {"click on the picture",
         [](QQuickWindow* w) { QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(w->width() / 2, w->height() / 2)); }},
        {"the close button",
         [](QQuickWindow* w) {
             QQuickItem* button = find(w, "closeButton");
             ASSERT_NE(button, nullptr);
             const QPointF centre = button->mapToScene(QPointF(button->width() / 2, button->height() / 2));
             QTest::mouseClick(w, Qt::LeftButton, {}, centre.toPoint());
         }},
    };
    for (const auto& c : cases) {
        QQuickWindow* window = presented(picture(90, 160, Qt::white));
        ASSERT_NE(window, nullptr) << c.name;
        window->requestActivate();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window)) << c.name;
        c.gesture(window);
        EXPECT_EQ(LightboxController::window(), nullptr) << c.name;
        QCoreApplication::processEvents();
        EXPECT_EQ(visibleLightboxes(), 0) << c.name;
    }
}
