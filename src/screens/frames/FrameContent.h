#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QUrl>
#include <QtQml/qqmlregistration.h>

namespace vl::screens {

// What a frame picture shows: its file, the address it was fetched from, or the
// placeholder with the lyric text.
enum class FrameContent { local, remote, placeholder };

// The file always wins over the address, so a frame on disk never reaches the network;
// the address is used only when it is an http(s) address that parses.
FrameContent frameContent(bool hasFrame, bool localReadable, const QString& remoteURL);

// An absolute http or https address with a host.
bool isFetchableAddress(const QString& address);

// Whether the file is there and starts like a PNG, JPEG or WebP picture (its first
// bytes only: cheap enough for the main thread; the decode decides the rest).
bool isReadableImage(const QString& path);

// The one way the screens decode a picture: through PictureFile (PNG, JPEG or WebP
// within the pixel limit, so a header-only bomb is refused before any pixel is
// decoded), as stored (no orientation turn, as motion reads it), fitted within `box`
// when larger (its own size when `box` is empty; a JPEG decoded at a reduced size).
// Null when the picture cannot be used; `why` then holds the sentence that says why.
// `covering` decodes it to cover `box` instead (for a picture cropped to fill its
// box), still never larger than the picture. Blocking: call it off the main thread for
// anything but a small picture.
enum class PictureFit { within, covering };
QImage readPicture(const QString& path, const QSize& box, PictureFit fit = PictureFit::within,
                   QString* why = nullptr);
QImage readPicture(const QByteArray& bytes, const QSize& box, PictureFit fit = PictureFit::within,
                   QString* why = nullptr);

// The same decisions for FrameImageView: `FrameImage.content(...)`.
class FrameImage : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    enum Content { Local, Remote, Placeholder };
    Q_ENUM(Content)

    using QObject::QObject;

    // `localFailed`: the view tried the file and could not decode it, which counts as
    // unreadable even when its header looked right.
    Q_INVOKABLE static Content content(bool hasFrame, const QString& localPath, bool localFailed,
                                       const QString& remoteURL);
    Q_INVOKABLE static bool canRead(const QString& path) { return isReadableImage(path); }
    Q_INVOKABLE static QUrl fileUrl(const QString& path);
};

} // namespace vl::screens
