#include "screens/frames/LightboxController.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>

namespace vl::screens {

namespace {

QPointer<QQuickWindow>& slot()
{
    static QPointer<QQuickWindow> window;
    return window;
}

// The lightbox has an engine of its own, made at first use: it must not depend on
// which window or sheet asked for it, nor close with it.
QQmlEngine& lightboxEngine()
{
    static QQmlEngine* engine = [] {
        auto* e = new QQmlEngine(qApp);
        e->addImportPath(QStringLiteral("qrc:/"));
        return e;
    }();
    return *engine;
}

} // namespace

void LightboxController::present(const QImage& image)
{
    dismiss();
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen || image.isNull())
        return;

    QQmlEngine& engine = lightboxEngine();
    QQmlComponent component(&engine, QUrl(QStringLiteral("qrc:/Verseloom/Screens/frames/LightboxWindow.qml")));
    QObject* created = component.createWithInitialProperties({{QStringLiteral("image"), QVariant::fromValue(image)}});
    auto* window = qobject_cast<QQuickWindow*>(created);
    if (!window) {
        qWarning().noquote() << "[LightboxController]" << component.errorString();
        delete created;
        return;
    }
    static_cast<QObject*>(window)->setParent(&engine); // owned by the engine, not a child window
    window->setScreen(screen);
    window->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window->setColor(Qt::black);
    window->setGeometry(screen->geometry());
    window->showFullScreen();
    window->requestActivate();
    slot() = window;
}

QQuickWindow* LightboxController::window()
{
    return slot();
}

void LightboxController::dismiss()
{
    if (QQuickWindow* window = slot()) {
        slot() = nullptr;
        window->hide();
        // Later: this may run inside one of the window's own handlers.
        window->deleteLater();
    }
}

FittedImage::FittedImage(QQuickItem* parent) : QQuickPaintedItem(parent) {}

void FittedImage::setImage(const QImage& image)
{
    image_ = image;
    emit imageChanged();
    update();
}

QRectF FittedImage::paintedRect() const
{
    if (image_.isNull() || width() <= 0 || height() <= 0)
        return {};
    const QSizeF fitted = QSizeF(image_.size()).scaled(QSizeF(width(), height()), Qt::KeepAspectRatio);
    return {(width() - fitted.width()) / 2, (height() - fitted.height()) / 2, fitted.width(), fitted.height()};
}

void FittedImage::paint(QPainter* painter)
{
    if (image_.isNull())
        return;
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->drawImage(paintedRect(), image_);
}

} // namespace vl::screens
