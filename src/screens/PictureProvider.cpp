#include "screens/PictureProvider.h"

#include "screens/frames/FrameContent.h"
#include "screens/frames/PictureFetch.h"

#include <QCoreApplication>
#include <QNetworkReply>
#include <QPointer>
#include <QQmlEngine>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>

namespace vl::screens {

namespace {

const QString kFileKind = QStringLiteral("file");
const QString kWebKind = QStringLiteral("web");

// Base64url keeps any path or address intact through the image URL: no character in it
// is one that a URL would decode, drop or read as a delimiter.
QString encoded(const QString& text)
{
    return QString::fromLatin1(
        text.toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString address(const QString& kind, const QString& target)
{
    return QStringLiteral("image://%1/%2/%3").arg(QLatin1String(PictureProvider::kName), kind, encoded(target));
}

class PictureResponse;

// What a response shares with the work done for it. The work touches the response only
// in finish(), under the lock, and not at all once the response is gone (an engine torn
// down may drop a response before it finished).
struct PictureJob {
    std::mutex lock;
    PictureResponse* response = nullptr; // under the lock
    std::atomic<bool> cancelled{false};
    bool finished = false;               // under the lock
    QPointer<QNetworkReply> reply;       // main thread only

    void finish(QImage image, QString error);
};

class PictureResponse final : public QQuickImageResponse {
public:
    PictureResponse() : job_(std::make_shared<PictureJob>()) { job_->response = this; }
    ~PictureResponse() override
    {
        job_->cancelled = true;
        std::lock_guard held(job_->lock);
        job_->response = nullptr;
    }

    std::shared_ptr<PictureJob> job() const { return job_; }

    QQuickTextureFactory* textureFactory() const override
    {
        return QQuickTextureFactory::textureFactoryForImage(image_);
    }
    QString errorString() const override { return error_; }

    // The engine no longer wants the picture: a decode not yet begun is skipped and a
    // fetch under way aborted; `finished` still comes, as the engine needs it.
    void cancel() override
    {
        job_->cancelled = true;
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(
                app,
                [job = job_] {
                    if (job->reply)
                        job->reply->abort();
                },
                Qt::QueuedConnection);
    }

    // Called once, on any thread. `finished` is emitted on the response's own thread, so
    // it never comes before whoever asked for the response has connected to it.
    void settle(QImage image, QString error)
    {
        image_ = std::move(image);
        error_ = std::move(error);
        QMetaObject::invokeMethod(this, &QQuickImageResponse::finished, Qt::QueuedConnection);
    }

private:
    std::shared_ptr<PictureJob> job_;
    QImage image_;
    QString error_;
};

void PictureJob::finish(QImage image, QString error)
{
    if (image.isNull() && error.isEmpty())
        error = QStringLiteral("The picture could not be shown.");
    std::lock_guard held(lock);
    if (finished || !response)
        return;
    finished = true;
    response->settle(std::move(image), std::move(error));
}

void decodeLater(std::shared_ptr<PictureJob> job, std::function<QImage(QString*)> decode)
{
    QThreadPool::globalInstance()->start([job = std::move(job), decode = std::move(decode)] {
        if (job->cancelled) {
            job->finish({}, QStringLiteral("Cancelled."));
            return;
        }
        QString why;
        QImage image = decode(&why);
        job->finish(std::move(image), std::move(why));
    });
}

void fetchThenDecode(std::shared_ptr<PictureJob> job, QUrl url, QSize box)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        job->finish({}, QStringLiteral("Cancelled."));
        return;
    }
    QMetaObject::invokeMethod(
        app,
        [job, url, box] {
            if (job->cancelled) {
                job->finish({}, QStringLiteral("Cancelled."));
                return;
            }
            job->reply = fetchPicture(pictureNetwork(), url, QCoreApplication::instance(),
                                      [job, url, box](QByteArray bytes) {
                                          job->reply = nullptr;
                                          if (bytes.isEmpty()) {
                                              job->finish({}, QStringLiteral("The picture at %1 could not be fetched.")
                                                                  .arg(url.toDisplayString()));
                                              return;
                                          }
                                          decodeLater(job, [bytes, box](QString* why) {
                                              return readPicture(bytes, box, PictureFit::covering, why);
                                          });
                                      });
        },
        Qt::QueuedConnection);
}

} // namespace

QString PictureProvider::fileAddress(const QString& path)
{
    return path.isEmpty() ? QString() : address(kFileKind, path);
}

QString PictureProvider::webAddress(const QString& url)
{
    return isFetchableAddress(url) ? address(kWebKind, url) : QString();
}

void PictureProvider::addTo(QQmlEngine& engine)
{
    engine.addImageProvider(QLatin1String(kName), new PictureProvider);
}

QQuickImageResponse* PictureProvider::requestImageResponse(const QString& id, const QSize& requestedSize)
{
    auto* response = new PictureResponse;
    std::shared_ptr<PictureJob> job = response->job();
    // kind/target[/WxH[/anything]]: the size asked for in the address serves a loader
    // that cannot say it otherwise (a canvas); what follows it only keeps requests apart.
    const QStringList parts = id.split(QLatin1Char('/'));
    const auto decoded = parts.size() >= 2 ? QByteArray::fromBase64Encoding(
                                                 parts[1].toLatin1(), QByteArray::Base64UrlEncoding
                                                                          | QByteArray::AbortOnBase64DecodingErrors)
                                           : QByteArray::FromBase64Result{};
    const QString kind = parts.value(0);
    const QString target = decoded ? QString::fromUtf8(*decoded) : QString();
    QSize box = requestedSize;
    bool sizeReads = true;
    if (parts.size() >= 3) {
        const QStringList sides = parts[2].split(QLatin1Char('x'));
        bool wide = false, high = false;
        const QSize named(sides.value(0).toInt(&wide), sides.value(1).toInt(&high));
        sizeReads = sides.size() == 2 && wide && high && named.width() > 0 && named.height() > 0;
        if (!box.isValid() || box.isEmpty())
            box = named;
    }
    if (decoded && sizeReads && kind == kFileKind && !target.isEmpty()) {
        decodeLater(job, [target, box](QString* why) { return readPicture(target, box, PictureFit::covering, why); });
    } else if (decoded && sizeReads && kind == kWebKind && isFetchableAddress(target)) {
        fetchThenDecode(job, QUrl(target), box);
    } else {
        // Answered from the worker too: the engine listens only once this returns.
        decodeLater(job, [id](QString* why) {
            *why = QStringLiteral("Not a picture address: %1").arg(id);
            return QImage();
        });
    }
    return response;
}

} // namespace vl::screens
