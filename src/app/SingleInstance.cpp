#include "app/SingleInstance.h"

#include "model/Log.h"

#include <QDataStream>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

#include <algorithm>
#include <utility>

namespace vl::app {

namespace {

constexpr char kAcknowledge = '+';
// How long one wait for the running copy lasts before the lock is tried again.
constexpr qint64 kSliceMs = 250;
constexpr unsigned long kRetryMs = 50;
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

QString SingleInstance::noAnswerMessage()
{
    return QStringLiteral("Verseloom is already running but does not answer \u2014 quit it (or end it in the "
                          "system monitor), then start Verseloom again.");
}

SingleInstance::Role SingleInstance::start(const QStringList& arguments, int waitMs)
{
    if (folder_.isEmpty() || !QDir().mkpath(folder_))
        return Role::unguarded;
    lock_ = std::make_unique<QLockFile>(QDir(folder_).filePath(QStringLiteral("verseloom.lock")));
    // Held for the whole run: never stale by age, only when its process is gone.
    lock_->setStaleLockTime(0);
    const QDeadlineTimer deadline(waitMs);
    bool announced = false;
    for (;;) {
        if (lock_->tryLock(0))
            return listen();
        if (lock_->error() != QLockFile::LockFailedError) {
            lock_.reset();
            return Role::unguarded; // no permission, no space: the lock cannot work here
        }
        if (!std::exchange(announced, true))
            logLine("Instance", "another copy holds the lock: handing over to it, or waiting for it to go");
        switch (handOn(arguments, deadline)) {
        case Attempt::answered:
            lock_.reset();
            return Role::handedOn;
        case Attempt::lockTaken:
            return listen();
        case Attempt::unanswered:
            break;
        }
        if (deadline.hasExpired()) {
            lock_.reset();
            return Role::noAnswer;
        }
        QThread::msleep(kRetryMs);
    }
}

SingleInstance::Role SingleInstance::listen()
{
    // A socket file left by a copy that crashed would make listening fail.
    QLocalServer::removeServer(socketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(socketPath()))
        return Role::first;
    // A lock kept by a copy nobody can reach would turn every later start away.
    logLine("Instance", "cannot listen on " + socketPath().toStdString() + ": " + server_.errorString().toStdString());
    lock_->unlock();
    lock_.reset();
    return Role::unguarded;
}

SingleInstance::Attempt SingleInstance::handOn(const QStringList& arguments, const QDeadlineTimer& deadline)
{
    const auto slice = [&deadline] {
        return static_cast<int>(std::clamp<qint64>(deadline.remainingTime(), 1, kSliceMs));
    };
    // The running copy may hold the lock but not listen yet, or have stopped listening
    // on its way out: the caller tries again.
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(slice()))
        return Attempt::unanswered;
    socket.write(encode(arguments));
    socket.flush();
    // A copy on its way out may still take the connection but never answer: while
    // waiting, look whether its lock has come free.
    while (socket.bytesAvailable() < 1 && socket.state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(slice()) && lock_->tryLock(0))
            return Attempt::lockTaken;
    }
    char answer = 0;
    if (socket.isOpen() && socket.read(&answer, 1) == 1 && answer == kAcknowledge)
        return Attempt::answered;
    return Attempt::unanswered;
}

} // namespace vl::app
