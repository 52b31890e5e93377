#include "screens/FrameContent.h"

#include <QImageReader>

namespace vl::screens {

FrameContent frameContent(bool hasFrame, bool localReadable, const QString& remoteURL)
{
    if (!hasFrame)
        return FrameContent::placeholder;
    if (localReadable)
        return FrameContent::local;
    return isFetchableAddress(remoteURL) ? FrameContent::remote : FrameContent::placeholder;
}

bool isFetchableAddress(const QString& address)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

bool isReadableImage(const QString& path)
{
    if (path.isEmpty())
        return false;
    QImageReader reader(path);
    return reader.canRead();
}

FrameImage::Content FrameImage::content(bool hasFrame, const QString& localPath, bool localFailed,
                                        const QString& remoteURL)
{
    const bool readable = hasFrame && !localFailed && isReadableImage(localPath);
    switch (frameContent(hasFrame, readable, remoteURL)) {
    case FrameContent::local:
        return Local;
    case FrameContent::remote:
        return Remote;
    case FrameContent::placeholder:
        break;
    }
    return Placeholder;
}

QUrl FrameImage::fileUrl(const QString& path)
{
    return path.isEmpty() ? QUrl() : QUrl::fromLocalFile(path);
}

} // namespace vl::screens
