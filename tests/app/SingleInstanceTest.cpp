#include "app/SingleInstance.h"
#include "app/StartProblem.h"
#include "fakes/WindowHarness.h"
#include "model/Files.h"
#include "pipeline/StoreHarness.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QQmlApplicationEngine>
#include <QQuickWindow>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>

using namespace vl;
using namespace vl::app;

namespace {

// A running copy as a later start meets it: it holds the lock and takes connections
// on the socket, but answers none. Once a start has connected it either goes away
// (it was quitting: the lock comes free) or stays stuck until the test ends.
class SilentCopy {
public:
    SilentCopy(const QString& folder, bool goesAway)
        : lock_(folder + QStringLiteral("/verseloom.lock"))
    {
        lock_.setStaleLockTime(0);
        held_ = lock_.tryLock(0);
        const QString socketPath = folder + QStringLiteral("/verseloom.socket");
        std::promise<bool> listening;
        listens_ = listening.get_future();
        // A thread of Qt's own: the server's socket notifiers need one.
        thread_.reset(QThread::create([this, socketPath, goesAway, listening = std::move(listening)]() mutable {
            QLocalServer server;
            listening.set_value(server.listen(socketPath));
            if (!server.waitForNewConnection(120000))
                return;
            connected_ = true;
            if (goesAway) {
                lock_.unlock();
                return; // the server and the connection it took close with it
            }
            end_.get_future().wait();
        }));
        thread_->start();
    }
    ~SilentCopy()
    {
        end_.set_value();
        thread_->wait();
    }

    bool ready() { return held_ && listens_.get(); }
    bool connected() const { return connected_; }
    bool stillHoldsTheLock() const { return lock_.isLocked(); }

private:
    QLockFile lock_;
    bool held_ = false;
    std::future<bool> listens_;
    std::atomic<bool> connected_ = false;
    std::promise<void> end_;
    std::unique_ptr<QThread> thread_;
};

} // namespace

// A start that meets a copy answering nothing waits for it: when that copy goes away
// (it was quitting), the start takes the lock and runs; when it stays stuck, the start
// gives up and says so.
TEST(SingleInstance, AStartWaitsForASilentCopyAndRunsOnceItIsGone)
{
    struct Case {
        const char* name;
        bool goesAway;
        SingleInstance::Role role;
    };
    const Case cases[] = {
        {"the copy quits", true, SingleInstance::Role::first},
        {"the copy hangs", false, SingleInstance::Role::noAnswer},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        files::TemporaryDirectory runtime("instance-test");
        const QString folder = QString::fromStdString(runtime.path().string());
        SilentCopy copy(folder, c.goesAway);
        ASSERT_TRUE(copy.ready());

        // A copy that quits goes at once; the stuck one holds the start up for its wait.
        SingleInstance instance(folder);
        EXPECT_EQ(instance.start({QStringLiteral("--again")}, c.goesAway ? 120000 : 2000), c.role);
        // The copy's thread notes the connection once it accepts it, which may be after the start gave up.
        EXPECT_TRUE(vl::testing::waitUntil([&] { return copy.connected(); }, 30000))
            << "the start tried to hand over first";
        if (c.role == SingleInstance::Role::first) {
            // It is the running copy now: a further start hands over to it.
            QLocalSocket next;
            next.connectToServer(instance.socketPath());
            EXPECT_TRUE(next.waitForConnected(30000));
        } else {
            EXPECT_TRUE(copy.stillHoldsTheLock());
        }
    }
}

// A runtime folder that holds the lock but not the socket (its path is too long for
// one): the start runs unguarded and leaves the lock free, so a later start is not
// turned away by a copy nobody can reach.
TEST(SingleInstance, WhenListeningFailsTheLockIsLetGo)
{
    files::TemporaryDirectory runtime("instance-test");
    const auto deep = runtime.path() / std::string(120, 'd');
    const QString folder = QString::fromStdString(deep.string());
    SingleInstance instance(folder);
    ASSERT_EQ(instance.start({}, 2000), SingleInstance::Role::unguarded);
    QLockFile later(folder + QStringLiteral("/verseloom.lock"));
    EXPECT_TRUE(later.tryLock(0)) << "the lock was kept while the guard was off";
}

// What a start that cannot run shows the user: a window of its own with the sentence,
// drawn without a QML warning.
TEST(StartProblemWindow, SaysWhyTheStartStopped)
{
    std::unique_ptr<QQuickWindow> shown;
    test::WindowHarness w;
    w.load([&](QQmlApplicationEngine& engine) {
        shown = makeStartProblemWindow(engine, SingleInstance::noAnswerMessage());
        if (shown)
            shown->show();
        return shown.get();
    });
    ASSERT_NE(w.window, nullptr);
    EXPECT_TRUE(w.exposed);
    w.settle("start-problem");
    EXPECT_EQ(w.text(w.window, "startProblemText"), SingleInstance::noAnswerMessage());
    EXPECT_TRUE(w.item("startProblemText")->isVisible());
    EXPECT_GE(w.window->height(), w.item("startProblemText")->implicitHeight());
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
    shown.reset();
    w.unload();
}
