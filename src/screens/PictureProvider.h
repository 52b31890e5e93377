#pragma once

#include <QQuickAsyncImageProvider>
#include <QString>

class QQmlEngine;

namespace vl::screens {

// The road from a picture to a QML Image: `image://picture/…` addresses, which the
// models make (fileAddress, webAddress) and the screens' pictures load. Every picture is
// decoded through readPicture (PNG, JPEG or WebP within the pixel limit, refused by its
// header before any pixel is decoded) on a worker, at the size that covers the size
// asked for (an Image's sourceSize, or "/WxH" added to the address by a loader that has
// none, such as a Canvas); an http(s) address is fetched as FramePicture fetches it. A
// refused or failed picture ends the load with an error.
class PictureProvider final : public QQuickAsyncImageProvider {
public:
    static constexpr const char* kName = "picture";

    // The address of a picture file; empty for no path.
    static QString fileAddress(const QString& path);
    // The address of a picture at an http(s) address; empty for anything else.
    static QString webAddress(const QString& address);

    // Every engine that loads screens gets one.
    static void addTo(QQmlEngine& engine);

    QQuickImageResponse* requestImageResponse(const QString& id, const QSize& requestedSize) override;
};

} // namespace vl::screens
