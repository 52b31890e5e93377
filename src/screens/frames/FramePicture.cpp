#include "screens/frames/FramePicture.h"

#include "design/Palette.h"

#include <QCoreApplication>
#include <QLinearGradient>
#include <QNetworkReply>
#include <QPainter>
#include <QPainterPath>
#include <QQuickWindow>
#include <QThreadPool>
#include <QTimer>

namespace vl::screens {

namespace {

// Runs `decode` on a worker and hands its picture to `finished` back on the main
// thread, unless the item is gone by then.
template <typename Decode, typename Finished>
void decodeOffThread(QPointer<FramePicture> self, Decode decode, Finished finished)
{
    QThreadPool::globalInstance()->start([self, decode = std::move(decode), finished = std::move(finished)] {
        QImage image = decode();
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return; // the program is ending
        QMetaObject::invokeMethod(
            app,
            [self, finished, image = std::move(image)]() mutable {
                if (self)
                    finished(*self, std::move(image));
            },
            Qt::QueuedConnection);
    });
}

} // namespace

FramePicture::FramePicture(QQuickItem* parent) : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
}

FramePicture::~FramePicture()
{
    abortRemote();
}

void FramePicture::setHasFrame(bool value)
{
    if (hasFrame_ == value)
        return;
    hasFrame_ = value;
    emit sourceChanged();
    scheduleReload();
}

void FramePicture::setLocalPath(const QString& value)
{
    if (localPath_ == value)
        return;
    localPath_ = value;
    emit sourceChanged();
    scheduleReload();
}

void FramePicture::setRemoteURL(const QString& value)
{
    if (remoteURL_ == value)
        return;
    remoteURL_ = value;
    emit sourceChanged();
    scheduleReload();
}

void FramePicture::setCornerRadius(qreal value)
{
    if (cornerRadius_ == value)
        return;
    cornerRadius_ = value;
    emit cornerRadiusChanged();
    update();
}

void FramePicture::setAccepted(bool value)
{
    if (accepted_ == value)
        return;
    accepted_ = value;
    emit acceptedChanged();
    update();
}

bool FramePicture::showsPlaceholder() const
{
    return content_ == FrameImage::Placeholder || (content_ == FrameImage::Remote && image_.isNull());
}

void FramePicture::componentComplete()
{
    QQuickPaintedItem::componentComplete();
    reload();
}

void FramePicture::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() == oldGeometry.size())
        return;
    // Decoded again only when the picture would be noticeably too small for its place.
    const QSize want = decodeSize();
    if (!image_.isNull() && (want.width() > decodedFor_.width() * 1.25 || want.height() > decodedFor_.height() * 1.25)) {
        if (content_ == FrameImage::Local)
            loadLocal();
        else if (content_ == FrameImage::Remote && !remoteBytes_.isEmpty())
            decodeRemote();
    }
    update();
}

// Several properties usually change together (a new frame); one reload serves them all.
void FramePicture::scheduleReload()
{
    if (!isComponentComplete() || reloadPending_)
        return;
    reloadPending_ = true;
    QTimer::singleShot(0, this, [this] {
        reloadPending_ = false;
        reload();
    });
}

void FramePicture::reload()
{
    ++generation_;
    abortRemote();
    localFailed_ = false;
    remoteDone_ = false;
    remoteBytes_.clear();
    image_ = QImage();
    switch (frameContent(hasFrame_, isReadableImage(localPath_), remoteURL_)) {
    case FrameContent::local:
        content_ = FrameImage::Local;
        loadLocal();
        break;
    case FrameContent::remote:
        content_ = FrameImage::Remote;
        loadRemote();
        break;
    case FrameContent::placeholder:
        content_ = FrameImage::Placeholder;
        break;
    }
    emit stateChanged();
    update();
}

QSize FramePicture::decodeSize() const
{
    const qreal dpr = window() ? window()->effectiveDevicePixelRatio() : 1.0;
    return QSize(qCeil(width() * dpr), qCeil(height() * dpr));
}

void FramePicture::loadLocal()
{
    const quint64 generation = generation_;
    const QString path = localPath_;
    const QSize box = decodeSize();
    decodedFor_ = box;
    decodeOffThread(
        this, [path, box] { return readPicture(path, box); },
        [generation](FramePicture& self, QImage image) { self.localFinished(generation, std::move(image)); });
}

void FramePicture::localFinished(quint64 generation, QImage image)
{
    if (generation != generation_ || content_ != FrameImage::Local)
        return;
    if (image.isNull()) {
        // The header looked right but the picture did not decode: unreadable after all.
        localFailed_ = true;
        content_ = frameContent(hasFrame_, false, remoteURL_) == FrameContent::remote ? FrameImage::Remote
                                                                                       : FrameImage::Placeholder;
        if (content_ == FrameImage::Remote)
            loadRemote();
    } else {
        image_ = std::move(image);
    }
    emit stateChanged();
    update();
}

void FramePicture::loadRemote()
{
    const quint64 generation = generation_;
    reply_ = fetchPicture(pictureNetwork(), QUrl(remoteURL_), this, [this, generation](QByteArray bytes) {
        remoteFetched(generation, std::move(bytes));
    });
}

void FramePicture::remoteFetched(quint64 generation, QByteArray bytes)
{
    if (generation != generation_)
        return;
    reply_ = nullptr;
    if (bytes.isEmpty()) {
        remoteDone_ = true;
        emit stateChanged();
        update();
        return;
    }
    remoteBytes_ = std::move(bytes);
    decodeRemote();
}

void FramePicture::decodeRemote()
{
    const quint64 generation = generation_;
    const QByteArray bytes = remoteBytes_;
    const QSize box = decodeSize();
    decodeOffThread(
        this, [bytes, box] { return readPicture(bytes, box); },
        [generation, box](FramePicture& self, QImage image) { self.remoteDecoded(generation, box, std::move(image)); });
}

void FramePicture::remoteDecoded(quint64 generation, const QSize& box, QImage image)
{
    if (generation != generation_ || content_ != FrameImage::Remote)
        return;
    remoteDone_ = true;
    if (!image.isNull()) {
        image_ = std::move(image);
        decodedFor_ = box;
    }
    emit stateChanged();
    update();
}

void FramePicture::abortRemote()
{
    if (QNetworkReply* reply = reply_) {
        reply_ = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void FramePicture::paint(QPainter* painter)
{
    const QRectF area(0, 0, width(), height());
    if (area.isEmpty())
        return;
    const qreal radius = std::min({std::max<qreal>(cornerRadius_, 0), area.width() / 2, area.height() / 2});
    QPainterPath shape;
    shape.addRoundedRect(area, radius, radius);

    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setClipPath(shape);
    painter->fillRect(area, Qt::black);

    if (!image_.isNull()) {
        const QSizeF fitted = QSizeF(image_.size()).scaled(area.size(), Qt::KeepAspectRatio);
        const QRectF target((area.width() - fitted.width()) / 2, (area.height() - fitted.height()) / 2, fitted.width(),
                            fitted.height());
        painter->drawImage(target, image_);
    } else if (showsPlaceholder()) {
        QLinearGradient gradient(area.topLeft(), area.bottomRight());
        gradient.setColorAt(0, design::Palette::faded(design::Palette::coral(), 0.55));
        gradient.setColorAt(0.5, design::Palette::faded(design::Palette::amber(), 0.35));
        gradient.setColorAt(1, design::Palette::surface());
        painter->fillRect(area, gradient);
    }

    // The stroke is centred on the edge; the clip keeps its inner half.
    QPen pen(accepted_ ? design::Palette::goodGreen() : design::Palette::glow());
    pen.setWidthF(accepted_ ? 2 : 1);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(shape);
}

} // namespace vl::screens
