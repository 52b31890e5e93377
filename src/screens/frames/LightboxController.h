#pragma once

#include <QImage>
#include <QObject>
#include <QQuickPaintedItem>
#include <QSize>
#include <QString>
#include <QtQml/qqmlregistration.h>

class QQuickWindow;

namespace vl::screens {

// One frame alone on black, over the whole primary screen and above every other
// window, until a click, its close button or Escape. There is one slot: showing a
// second picture drops the first window. Main thread only.
class LightboxController : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;

    // Without a primary screen nothing is shown (a lightbox already up is gone all the same).
    static void present(const QImage& image);
    // The picture file decoded on a worker at no more than `box`, then presented; a
    // file that does not decode shows nothing and leaves a lightbox already up as it
    // is. The newest request wins: a read still on its way when another picture is
    // asked for is dropped.
    static void presentFile(const QString& path, const QSize& box);
    // A picture file is being read for the lightbox.
    static bool loading();
    // The window shown now, if any.
    static QQuickWindow* window();
    // Every way of closing ends here.
    Q_INVOKABLE static void dismiss();
};

// A picture scaled to fit its item with its aspect ratio kept, centred.
class FittedImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY imageChanged)
public:
    explicit FittedImage(QQuickItem* parent = nullptr);
    QImage image() const { return image_; }
    void setImage(const QImage& image);
    // Where the picture lands inside the item.
    QRectF paintedRect() const;
    void paint(QPainter* painter) override;

signals:
    void imageChanged();

private:
    QImage image_;
};

} // namespace vl::screens
