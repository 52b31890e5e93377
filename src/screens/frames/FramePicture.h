#pragma once

#include "screens/frames/FrameContent.h"
#include "screens/frames/PictureFetch.h"

#include <QByteArray>
#include <QImage>
#include <QPointer>
#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

class QNetworkReply;

namespace vl::screens {

// The painted part of FrameImageView: black base, the picture fitted with its aspect
// ratio kept (or the placeholder gradient), and the outline, all clipped to rounded corners
// (radius 8 unless set). It loads the picture itself, decoded on a worker at the size shown
// through the one picture reader (readPicture): the file, else the address over the network.
// A failure is no error to anyone: the
// placeholder shows, and nothing is logged.
class FramePicture : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool hasFrame READ hasFrame WRITE setHasFrame NOTIFY sourceChanged)
    Q_PROPERTY(QString localPath READ localPath WRITE setLocalPath NOTIFY sourceChanged)
    Q_PROPERTY(QString remoteURL READ remoteURL WRITE setRemoteURL NOTIFY sourceChanged)
    Q_PROPERTY(bool accepted READ accepted WRITE setAccepted NOTIFY acceptedChanged)
    Q_PROPERTY(qreal cornerRadius READ cornerRadius WRITE setCornerRadius NOTIFY cornerRadiusChanged)
    Q_PROPERTY(int content READ content NOTIFY stateChanged)
    Q_PROPERTY(bool loading READ loading NOTIFY stateChanged)
    Q_PROPERTY(bool showsImage READ showsImage NOTIFY stateChanged)
    Q_PROPERTY(bool showsPlaceholder READ showsPlaceholder NOTIFY stateChanged)
    Q_PROPERTY(QSize imageSize READ imageSize NOTIFY stateChanged)

public:
    explicit FramePicture(QQuickItem* parent = nullptr);
    ~FramePicture() override;

    bool hasFrame() const { return hasFrame_; }
    void setHasFrame(bool value);
    QString localPath() const { return localPath_; }
    void setLocalPath(const QString& value);
    QString remoteURL() const { return remoteURL_; }
    void setRemoteURL(const QString& value);
    bool accepted() const { return accepted_; }
    void setAccepted(bool value);
    qreal cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(qreal value);

    int content() const { return content_; }
    // Before and while the address loads; a failed address shows the bare placeholder.
    bool loading() const { return content_ == FrameImage::Remote && !remoteDone_; }
    bool showsImage() const { return !image_.isNull(); }
    bool showsPlaceholder() const;
    QSize imageSize() const { return image_.size(); }

    void paint(QPainter* painter) override;

signals:
    void sourceChanged();
    void acceptedChanged();
    void cornerRadiusChanged();
    void stateChanged();

protected:
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void componentComplete() override;

private:
    void scheduleReload();
    void reload();
    void loadLocal();
    void loadRemote();
    void localFinished(quint64 generation, QImage image);
    void remoteFetched(quint64 generation, QByteArray bytes);
    void decodeRemote();
    void remoteDecoded(quint64 generation, const QSize& box, QImage image);
    QSize decodeSize() const;
    void abortRemote();

    bool hasFrame_ = false;
    QString localPath_;
    QString remoteURL_;
    bool accepted_ = false;
    qreal cornerRadius_ = 8;

    int content_ = FrameImage::Placeholder;
    bool localFailed_ = false;
    bool remoteDone_ = false;
    QByteArray remoteBytes_; // kept so a resize decodes again without fetching again
    QImage image_;
    QSize decodedFor_;
    quint64 generation_ = 0;
    bool reloadPending_ = false;
    QPointer<QNetworkReply> reply_;
};

} // namespace vl::screens
