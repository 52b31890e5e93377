#include "screens/frames/FrameContent.h"

#include "media/PictureFile.h"

#include <QFile>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

namespace vl::screens {

namespace {

QImage decodeFitted(const PictureFile& picture, const QSize& box, PictureFit fit)
{
    const QSize full(static_cast<int>(picture.header.width), static_cast<int>(picture.header.height));
    QSize target = full;
    if (box.isValid() && !box.isEmpty()) {
        const QSize scaled =
            full.scaled(box, fit == PictureFit::covering ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio);
        if (scaled.width() < full.width() || scaled.height() < full.height())
            target = scaled.expandedTo(QSize(1, 1));
    }
    cv::Mat image = picture.header.mayHaveAlpha
                        ? picture.decode(cv::IMREAD_UNCHANGED)
                        : picture.decodeReduced(cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION,
                                                std::max(target.width(), target.height()));
    auto converted = eightBitBgra(image);
    if (!converted)
        throw ImageError::damaged(picture.subject);
    cv::Mat bgra = std::move(*converted);
    image.release();
    if (bgra.cols != target.width() || bgra.rows != target.height())
        cv::resize(bgra, bgra, cv::Size(target.width(), target.height()), 0, 0, cv::INTER_AREA);
    // BGRA bytes are what ARGB32 holds on a little-endian machine.
    return QImage(bgra.data, bgra.cols, bgra.rows, static_cast<qsizetype>(bgra.step), QImage::Format_ARGB32).copy();
}

// Reads the picture `open` gives and decodes it; any failure is a null picture and its reason.
template <typename Open>
QImage readWith(Open open, const QSize& box, PictureFit fit, QString* why)
{
    std::string reason;
    try {
        const PictureFile picture = open();
        try {
            return decodeFitted(picture, box, fit);
        } catch (const cv::Exception&) {
            reason = ImageError::damaged(picture.subject).what();
        } catch (const std::bad_alloc&) {
            reason = picture.subject + " is too large to show.";
        }
    } catch (const ImageError& e) {
        reason = e.what();
    }
    if (why)
        *why = QString::fromStdString(reason);
    return {};
}

} // namespace

QImage readPicture(const QString& path, const QSize& box, PictureFit fit, QString* why)
{
    if (path.isEmpty()) {
        if (why)
            *why = QStringLiteral("No picture file was named.");
        return {};
    }
    return readWith([&] { return PictureFile::read(path.toStdString()); }, box, fit, why);
}

QImage readPicture(const QByteArray& bytes, const QSize& box, PictureFit fit, QString* why)
{
    return readWith([&] { return PictureFile::fromBytes(bytes.toStdString(), "The fetched picture"); }, box, fit,
                    why);
}

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
    // Only a regular file: opening a pipe would wait for a writer.
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.isReadable())
        return false;
    const QByteArray start = file.read(16);
    return imageFormatOf(std::string_view(start.constData(), static_cast<std::size_t>(start.size()))).has_value();
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
