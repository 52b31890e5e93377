#include "media/transcription/ChildProcess.h"

#include "model/Cancellation.h"
#include "model/Text.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <system_error>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace vl {

namespace {

using namespace std::chrono_literals;

[[noreturn]] void throwErrno(int error, const std::string& what)
{
    throw std::system_error(error, std::generic_category(), what);
}

class Fd {
public:
    Fd() = default;
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    void adopt(int fd)
    {
        reset();
        fd_ = fd;
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

struct Pipe {
    Fd read;
    Fd write;
};

void openPipe(Pipe& pipe)
{
    int fds[2];
    // Close-on-exec, so children started by other threads never inherit our ends.
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throwErrno(errno, "cannot create a pipe");
    pipe.read.adopt(fds[0]);
    pipe.write.adopt(fds[1]);
    ::fcntl(pipe.read.get(), F_SETFL, ::fcntl(pipe.read.get(), F_GETFL) | O_NONBLOCK);
}

struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Reads what the pipe holds now. Returns false once the writer side is closed.
bool drain(Fd& fd, std::string* sink, std::size_t limit,
           const std::function<void(std::string_view)>& onData = {})
{
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n > 0) {
            if (onData)
                onData(std::string_view(buffer, static_cast<std::size_t>(n)));
            if (sink && sink->size() < limit)
                sink->append(buffer, std::min(static_cast<std::size_t>(n), limit - sink->size()));
            continue;
        }
        if (n == 0) {
            fd.reset();
            return false;
        }
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return true;
        fd.reset();
        return false;
    }
}

// True once the child has exited; it stays a zombie (its pid and process group
// reserved) until reap() is called.
bool hasExited(pid_t pid)
{
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        if (errno != EINTR)
            return true; // nothing left to wait for
    }
    return info.si_pid != 0;
}

int reap(pid_t pid)
{
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR)
            return -1;
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return -1;
}

void terminate(pid_t pid, std::chrono::milliseconds grace)
{
    ::kill(-pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!hasExited(pid) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(10ms);
    // The leader is still unreaped here, so the group id cannot have been reused:
    // this sweeps up anything it started as well as a leader that ignored SIGTERM.
    ::kill(-pid, SIGKILL);
    reap(pid);
}

} // namespace

ChildProcessResult runChildProcess(const std::filesystem::path& executable,
                                   const std::vector<std::string>& arguments,
                                   std::stop_token stop,
                                   const ChildProcessOptions& options)
{
    throwIfCancelled(stop);

    Pipe out;
    Pipe err;
    openPipe(out);
    if (!options.mergeStandardError)
        openPipe(err);

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, out.write.get(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, options.mergeStandardError ? out.write.get() : err.write.get(),
                                     STDERR_FILENO);

    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGPIPE, SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGCHLD})
        sigaddset(&defaults, signal);
    posix_spawnattr_setsigmask(&setup.attributes, &noSignals);
    posix_spawnattr_setsigdefault(&setup.attributes, &defaults);
    posix_spawnattr_setpgroup(&setup.attributes, 0);
    posix_spawnattr_setflags(&setup.attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<std::string> argvStore;
    argvStore.reserve(arguments.size() + 1);
    argvStore.push_back(executable.string());
    argvStore.insert(argvStore.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argvStore)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    std::vector<char*> envp;
    char** environment = environ;
    if (options.environment) {
        envStore = *options.environment;
        for (auto& entry : envStore)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        environment = envp.data();
    }

    pid_t pid = 0;
    const int spawnError = ::posix_spawn(&pid, executable.c_str(), &setup.actions, &setup.attributes,
                                         argv.data(), environment);
    if (spawnError != 0)
        throwErrno(spawnError, "cannot start " + executable.string());
    out.write.reset();
    err.write.reset();

    ChildProcessResult result;
    bool exited = false;
    while (!exited) {
        if (stop.stop_requested()) {
            terminate(pid, options.terminateGrace);
            throw Cancelled{};
        }
        pollfd fds[2];
        nfds_t count = 0;
        for (Fd* fd : {&out.read, &err.read}) {
            if (fd->valid())
                fds[count++] = pollfd{fd->get(), POLLIN, 0};
        }
        // A short timeout keeps both the stop token and the child's exit in view
        // even while a grandchild holds the pipes open.
        if (count > 0)
            ::poll(fds, count, 50);
        else
            std::this_thread::sleep_for(20ms);
        if (out.read.valid())
            drain(out.read, &result.standardOutput, options.outputLimit, options.onOutput);
        if (err.read.valid())
            drain(err.read, &result.standardError, options.errorLimit);
        exited = hasExited(pid);
    }
    // Whatever the child wrote before it exited is still in the pipes.
    if (out.read.valid())
        drain(out.read, &result.standardOutput, options.outputLimit, options.onOutput);
    if (err.read.valid())
        drain(err.read, &result.standardError, options.errorLimit);
    result.exitStatus = reap(pid);
    if (!text::isValidUtf8(result.standardOutput))
        result.standardOutput.clear();
    return result;
}

} // namespace vl
