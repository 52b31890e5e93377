#include "support/Desktop.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDesktopServices>
#include <QFileInfo>

namespace vl::support {

void SystemDesktop::reveal(const QString& path)
{
    const QFileInfo info(path);
    const QString absolute = info.absoluteFilePath();
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
        call << QStringList{QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded)} << QString();
        // A short wait: a missing file manager answers at once with an error, a present one
        // returns before it has drawn anything.
        const QDBusMessage reply = bus.call(call, QDBus::Block, 3000);
        if (reply.type() == QDBusMessage::ReplyMessage)
            return;
    }
    const QString folder = info.isDir() ? absolute : info.absolutePath();
    QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool SystemDesktop::openUrl(const QUrl& url)
{
    return url.isValid() && QDesktopServices::openUrl(url);
}

Desktop& systemDesktop()
{
    static SystemDesktop desktop;
    return desktop;
}

} // namespace vl::support
