#pragma once

#include <QByteArray>
#include <QUrl>
#include <QtGlobal>

#include <chrono>
#include <functional>

class QNetworkAccessManager;
class QNetworkReply;
class QObject;

namespace vl::screens {

// A picture fetch that has not finished by then fails, and so does a body larger than
// any picture the program takes.
inline constexpr std::chrono::milliseconds kPictureFetchTimeLimit{60'000};
inline constexpr qint64 kMaxFetchedPictureBytes = qint64(64) << 20;

// The network access manager picture fetches share: one, on the main thread (which has
// the event loop they need), for the life of the program.
QNetworkAccessManager& pictureNetwork();

// Fetches a picture's bytes from an http(s) address, the one way the screens do: always
// from the network, no redirect to a less safe scheme, the whole fetch within
// `timeLimit`, and a body over the cap cut off as soon as it says so or shows it.
// `done` runs once, in `context` (which lives on `network`'s thread), with the body, or with no bytes when the fetch
// failed, was refused or was aborted. The reply deletes itself when it finishes; abort
// it to end the fetch early.
QNetworkReply* fetchPicture(QNetworkAccessManager& network, const QUrl& address, QObject* context,
                            std::function<void(QByteArray)> done,
                            std::chrono::milliseconds timeLimit = kPictureFetchTimeLimit);

} // namespace vl::screens
