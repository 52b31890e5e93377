#include "screens/frames/PictureFetch.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

namespace vl::screens {

QNetworkAccessManager& pictureNetwork()
{
    static QPointer<QNetworkAccessManager> network;
    if (!network)
        network = new QNetworkAccessManager(QCoreApplication::instance());
    return *network;
}

QNetworkReply* fetchPicture(QNetworkAccessManager& network, const QUrl& address, QObject* context,
                            std::function<void(QByteArray)> done, std::chrono::milliseconds timeLimit)
{
    QNetworkRequest request{address};
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(timeLimit.count()));
    QNetworkReply* reply = network.get(request);
    // The transfer timeout only ends a stall; a body that drips would go on for ever.
    QTimer::singleShot(timeLimit, reply, [reply] { reply->abort(); });
    QObject::connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64 total) {
        if (received > kMaxFetchedPictureBytes || total > kMaxFetchedPictureBytes)
            reply->abort();
    });
    QObject::connect(reply, &QNetworkReply::finished, context, [reply, done = std::move(done)] {
        QByteArray body;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (reply->error() == QNetworkReply::NoError && status >= 200 && status < 300)
            body = reply->read(kMaxFetchedPictureBytes + 1);
        if (body.size() > kMaxFetchedPictureBytes)
            body.clear();
        done(std::move(body));
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, &QObject::deleteLater);
    return reply;
}

} // namespace vl::screens
