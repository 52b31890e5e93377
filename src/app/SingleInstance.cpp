#include "app/SingleInstance.h"

#include <QDataStream>

#include <algorithm>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

namespace vl::app {

namespace {

constexpr char kAcknowledge = '+';
// A start's arguments are a few paths at most; anything longer is not one of ours.
constexpr qint64 kMaxMessageBytes = 64 * 1024;

QByteArray encode(const QStringList& arguments)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out << arguments;
    QByteArray message;
    QDataStream framed(&message, QIODevice::WriteOnly);
    framed << static_cast<quint32>(body.size());
    return message + body;
}

} // namespace

SingleInstance::SingleInstance(QString runtimeFolder, QObject* parent)
    : QObject(parent), folder_(std::move(runtimeFolder))
{
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            socket->setParent(this);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->bytesAvailable() > kMaxMessageBytes + 4) {
                    socket->abort();
                    return;
                }
                QDataStream in(socket);
                in.startTransaction();
                quint32 size = 0;
                QStringList arguments;
                in >> size;
                if (size > kMaxMessageBytes) {
                    socket->abort();
                    return;
                }
                if (socket->bytesAvailable() < size) {
                    in.rollbackTransaction();
                    return;
                }
                in >> arguments;
                if (!in.commitTransaction())
                    return;
                socket->write(&kAcknowledge, 1);
                socket->flush();
                socket->disconnectFromServer();
                emit activationRequested(arguments);
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

SingleInstance::~SingleInstance()
{
    server_.close();
}

QString SingleInstance::socketPath() const
{
    return QDir(folder_).filePath(QStringLiteral("verseloom.socket"));
}

SingleInstance::Role SingleInstance::start(const QStringList& arguments, int waitMs)
{
    if (folder_.isEmpty() || !QDir().mkpath(folder_))
        return Role::unguarded;
    lock_ = std::make_unique<QLockFile>(QDir(folder_).filePath(QStringLiteral("verseloom.lock")));
    // Held for the whole run: never stale by age, only when its process is gone.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) {
        // A socket file left by a copy that crashed would make listening fail.
        QLocalServer::removeServer(socketPath());
        server_.setSocketOptions(QLocalServer::UserAccessOption);
        return server_.listen(socketPath()) ? Role::first : Role::unguarded;
    }
    if (lock_->error() != QLockFile::LockFailedError)
        return Role::unguarded; // no permission, no space: the lock cannot work here
    lock_.reset();
    return handOn(arguments, waitMs) ? Role::handedOn : Role::noAnswer;
}

bool SingleInstance::handOn(const QStringList& arguments, int waitMs)
{
    const QDeadlineTimer deadline(waitMs);
    // The running copy may hold the lock but not listen yet: try again until it does.
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(socketPath());
        if (socket.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            socket.write(encode(arguments));
            socket.flush();
            while (socket.bytesAvailable() < 1 && !deadline.hasExpired()
                   && socket.state() == QLocalSocket::ConnectedState)
                socket.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            char answer = 0;
            if (socket.read(&answer, 1) == 1 && answer == kAcknowledge)
                return true;
        }
        QThread::msleep(50);
    }
    return false;
}

} // namespace vl::app
