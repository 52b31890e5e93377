// SystemDesktop::reveal against a file manager on the session bus, and without one.

#include "support/Desktop.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDesktopServices>
#include <QDir>
#include <QGuiApplication>
#include <QMutex>
#include <QMutexLocker>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>

namespace {

// Stands in for the desktop's file manager: records every ShowItems call. It lives on
// a thread of its own with its own bus connection, so it can answer while the caller
// blocks in its call.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")

public:
    QStringList shown() const
    {
        QMutexLocker lock(&mutex_);
        return shown_;
    }

public slots:
    Q_SCRIPTABLE void ShowItems(const QStringList& uris, const QString& startupId)
    {
        Q_UNUSED(startupId);
        QMutexLocker lock(&mutex_);
        shown_ << uris;
    }

private:
    mutable QMutex mutex_;
    QStringList shown_;
};

// Records what QDesktopServices was asked to open instead of starting a program.
class OpenedUrls : public QObject {
    Q_OBJECT
public:
    OpenedUrls() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedUrls() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

// A file with a name that needs escaping in a URI.
QString makeFile(const QTemporaryDir& dir)
{
    const QString path = dir.filePath(QStringLiteral("Night Drive #1.mp4"));
    std::ofstream(path.toStdString()) << "video";
    return path;
}

} // namespace

TEST(DesktopOnBus, TheFileManagerIsAskedToShowTheFile)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "run under dbus-run-session";

    QThread thread;
    thread.start();
    auto* manager = new FakeFileManager;
    manager->moveToThread(&thread);
    bool registered = false;
    QMetaObject::invokeMethod(
        manager,
        [manager, &registered] {
            QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SessionBus, "fake-file-manager");
            registered = bus.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), manager,
                                            QDBusConnection::ExportScriptableSlots)
                && bus.registerService(QStringLiteral("org.freedesktop.FileManager1"));
        },
        Qt::BlockingQueuedConnection);
    ASSERT_TRUE(registered);

    QTemporaryDir dir;
    const QString file = makeFile(dir);
    OpenedUrls opened;
    vl::support::SystemDesktop desktop;
    desktop.reveal(file);

    EXPECT_EQ(manager->shown(), QStringList{QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)});
    EXPECT_TRUE(manager->shown().value(0).contains(QLatin1String("Night%20Drive%20%231.mp4")));
    EXPECT_TRUE(opened.urls.isEmpty()) << "no folder opens when the file manager answered";

    QMetaObject::invokeMethod(manager, [manager] {
        QDBusConnection::disconnectFromBus("fake-file-manager");
        delete manager;
    }, Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
}

TEST(DesktopOnBus, NoFileManagerOnTheBusOpensTheFolder)
{
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected());
    ASSERT_FALSE(QDBusConnection::sessionBus().interface()->isServiceRegistered(
        QStringLiteral("org.freedesktop.FileManager1")));
    QTemporaryDir dir;
    const QString file = makeFile(dir);
    OpenedUrls opened;
    vl::support::SystemDesktop().reveal(file);
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(QDir(dir.path()).absolutePath())});
}

TEST(DesktopWithoutBus, TheFolderHoldingTheFileOpens)
{
    ASSERT_FALSE(QDBusConnection::sessionBus().isConnected());
    QTemporaryDir dir;
    const QString file = makeFile(dir);
    OpenedUrls opened;
    vl::support::SystemDesktop().reveal(file);
    EXPECT_EQ(opened.urls, QList<QUrl>{QUrl::fromLocalFile(QDir(dir.path()).absolutePath())});
}

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include "DesktopTest.moc"
