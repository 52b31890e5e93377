#include "screens/frames/LightboxController.h"

#include "screens/frames/FrameContent.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <QScreen>
#include <QThreadPool>

#include <cstdint>

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

// Which request may still present: each one (a picture, or a file to read) takes the
// next number, and a file read that finds a newer number when it ends is dropped.
std::uint64_t& newestRequest()
{
    static std::uint64_t number = 0;
    return number;
}

int& readsOnTheirWay()
{
    static int count = 0;
    return count;
}

} // namespace

void LightboxController::presentFile(const QString& path, const QSize& box)
{
    const std::uint64_t request = ++newestRequest();
    ++readsOnTheirWay();
    QThreadPool::globalInstance()->start([path, box, request] {
        QImage image = readPicture(path, box);
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return; // the program is ending
        QMetaObject::invokeMethod(
            app,
            [request, image = std::move(image)] {
                --readsOnTheirWay();
                if (request != newestRequest() || image.isNull())
                    return;
                present(image);
            },
            Qt::QueuedConnection);
    });
}

bool LightboxController::loading()
{
    return readsOnTheirWay() > 0;
}

void LightboxController::present(const QImage& image)
{
    ++newestRequest();
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
