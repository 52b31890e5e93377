#include "screens/frames/FrameContent.h"

#include "media/PictureFile.h"
#include "model/Files.h"
#include "screens/frames/PictureCopies.h"

#include <QFile>
#include <QFileInfo>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <optional>

namespace vl::screens {

namespace {

// Enough of a PNG or WebP file for its header. (A JPEG's may lie further in, but a JPEG
// decodes at a reduced size and never comes from a copy.)
constexpr std::size_t kHeaderBytes = 64 * 1024;

// Pictures up to this size decode without waiting for the shared budget: a card of
// an ordinary picture never queues behind a huge one.
constexpr std::uint64_t kFreeDecodePixels = std::uint64_t(PictureCopies::kLongSide) * PictureCopies::kLongSide;

// The size a picture of `full` pixels is shown at in `box`: fitted within (or covering)
// it, never larger than the picture; its own size for an empty box.
QSize shownSize(const QSize& full, const QSize& box, PictureFit fit)
{
    if (!box.isValid() || box.isEmpty())
        return full;
    const QSize scaled =
        full.scaled(box, fit == PictureFit::covering ? Qt::KeepAspectRatioByExpanding : Qt::KeepAspectRatio);
    if (scaled.width() < full.width() || scaled.height() < full.height())
        return scaled.expandedTo(QSize(1, 1));
    return full;
}

// `decoded` (any depth and channels) at `target`, as the QImage the screens draw.
QImage shownImage(cv::Mat decoded, const QSize& target, const std::string& subject)
{
    if (decoded.cols != target.width() || decoded.rows != target.height())
        cv::resize(decoded, decoded, cv::Size(target.width(), target.height()), 0, 0, cv::INTER_AREA);
    const auto bgra = eightBitBgra(decoded);
    if (!bgra)
        throw ImageError::damaged(subject);
    // BGRA bytes are what ARGB32 holds on a little-endian machine.
    return QImage(bgra->data, bgra->cols, bgra->rows, static_cast<qsizetype>(bgra->step), QImage::Format_ARGB32)
        .copy();
}

QImage decodeFitted(const PictureFile& picture, const QSize& box, PictureFit fit)
{
    const QSize full(static_cast<int>(picture.header.width), static_cast<int>(picture.header.height));
    const QSize target = shownSize(full, box, fit);
    // Only a JPEG decodes at a reduced size; any other large picture holds its share of
    // the budget until it has been reduced.
    const bool whole = picture.header.format != ImageFormat::jpeg || picture.header.mayHaveAlpha;
    std::optional<DecodeBudget::Hold> hold;
    if (whole && picture.header.pixels() > kFreeDecodePixels)
        hold.emplace(DecodeBudget::shared().take(picture.header.pixels()));
    cv::Mat image = picture.header.mayHaveAlpha
                        ? picture.decode(cv::IMREAD_UNCHANGED)
                        : picture.decodeReduced(cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION,
                                                std::max(target.width(), target.height()));
    if (image.cols != target.width() || image.rows != target.height())
        cv::resize(image, image, cv::Size(target.width(), target.height()), 0, 0, cv::INTER_AREA);
    hold.reset();
    return shownImage(std::move(image), target, picture.subject);
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
    const std::filesystem::path file = path.toStdString();
    if (const auto copies = pictureCopies()) {
        // A large PNG or WebP shown small comes from its reduced copy; its header says.
        std::optional<ImageHeader> header;
        try {
            header = readImageHeader(files::readRegularFileStart(file, kHeaderBytes));
        } catch (const files::FileRefused&) {
            // Said below, where the whole file is read.
        }
        const QSize full = header ? QSize(int(header->width), int(header->height)) : QSize();
        if (header && PictureCopies::serves(*header, shownSize(full, box, fit))) {
            try {
                return shownImage(copies->copyOf(file), shownSize(full, box, fit), pictureSubject(file));
            } catch (const ImageError& e) {
                if (why)
                    *why = QString::fromUtf8(e.what());
                return {};
            } catch (const std::exception&) {
                // Out of memory, or OpenCV refusing the copy: the whole picture is tried below.
            }
        }
    }
    return readWith([&] { return PictureFile::read(file); }, box, fit, why);
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
