#include "app/SessionEnd.h"

#include "model/Log.h"
#include "pipeline/ProjectStore.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QSessionManager>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace vl::app {

namespace {

constexpr std::array<int, 3> kSignals = {SIGTERM, SIGHUP, SIGINT};

// A signal handler may do next to nothing: it writes the signal's number into one end
// of a socket pair, and the event loop reads it from the other.
int signalSockets[2] = {-1, -1};
std::array<struct sigaction, kSignals.size()> previousActions{};

void onSignal(int signal)
{
    const int savedErrno = errno;
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(signalSockets[0], &byte, 1);
    errno = savedErrno;
}

std::string signalName(int signal)
{
    switch (signal) {
    case SIGHUP: return "SIGHUP";
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    default: return "signal " + std::to_string(signal);
    }
}

} // namespace

SessionEnd::SessionEnd(ProjectStore& store, QObject* parent)
    : QObject(parent), store_(store)
{
    QCoreApplication* app = QCoreApplication::instance();
    connect(app, &QCoreApplication::aboutToQuit, this, [this] { store_.flushAutosave(); });
    // A logout: the session manager asks for the data first and may end the process
    // without the event loop returning.
    if (auto* gui = qobject_cast<QGuiApplication*>(app))
        connect(gui, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { store_.flushAutosave(); });

    Q_ASSERT(signalSockets[0] < 0);
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalSockets) != 0) {
        logLine("Session", std::string("cannot watch for SIGTERM, SIGHUP and SIGINT: ") + std::strerror(errno));
        return;
    }
    notifier_ = std::make_unique<QSocketNotifier>(signalSockets[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &SessionEnd::readSignals);
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    // Once handled, the signal's default comes back: a second one ends a save that hangs.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &action, &previousActions[i]);
}

SessionEnd::~SessionEnd()
{
    if (signalSockets[0] < 0)
        return;
    for (std::size_t i = 0; i < kSignals.size(); ++i)
        ::sigaction(kSignals[i], &previousActions[i], nullptr);
    notifier_.reset();
    for (int& socket : signalSockets) {
        ::close(socket);
        socket = -1;
    }
}

void SessionEnd::readSignals()
{
    char byte = 0;
    while (::read(signalSockets[1], &byte, 1) == 1) {
        logLine("Session", signalName(byte) + " arrived: saving the project and quitting");
    }
    // Not quit(): that asks every window to close first, and a sheet may refuse.
    QCoreApplication::exit(0);
}

} // namespace vl::app
