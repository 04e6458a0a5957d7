// The fleet's runs as Linux processes: started with posix_spawn in a process group of their own,
// the request written on a pipe to their standard input, their events read from descriptor 3 and
// their standard error from a pipe, stop signals passed on with kill.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <optional>

#include "cli/FleetRuns.h"
#include "cli/RunProtocol.h"
#include "cli/StopSignals.h"
#include "cli/WriteAll.h"

extern char** environ;

struct RunProcess {
    pid_t pid = -1;
    bool exited = false;
    int waitStatus = 0;
    int request = -1;  // its standard input, until the request is written
    int events = -1;
    int err = -1;
    size_t requestSent = 0;
    std::optional<std::chrono::steady_clock::time_point> closedAt;  // when its descriptors were all closed
};

namespace {

using Clock = std::chrono::steady_clock;
// A run is asked whether it has ended when its output has closed, and every run this often: a
// thousand receivers' events must not each cost a wait call for every run.
constexpr auto kReapEvery = std::chrono::milliseconds(100);

std::string SelfPath() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return "/proc/self/exe";
    path.resize(static_cast<size_t>(n));
    return path;
}

// A pipe whose ends sit above the standard descriptors and the run's event descriptor, and close
// on exec: the run gets only the copies its file actions make.
bool HighPipe(int ends[2]) {
    int raw[2];
    if (::pipe2(raw, O_CLOEXEC) != 0) return false;
    for (int k = 0; k < 2; ++k) {
        ends[k] = ::fcntl(raw[k], F_DUPFD_CLOEXEC, 10);
        ::close(raw[k]);
    }
    if (ends[0] >= 0 && ends[1] >= 0) return true;
    for (int k = 0; k < 2; ++k)
        if (ends[k] >= 0) ::close(ends[k]);
    return false;
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

bool StartChild(const std::string& program, ChildRun& child, RunProcess& process) {
    int pipes[3][2];  // request, events, standard error
    int made = 0;
    for (; made < 3; ++made)
        if (!HighPipe(pipes[made])) break;
    if (made < 3) {
        child.spawnError = std::string("no pipe for it: ") + std::strerror(errno);
        for (int k = 0; k < made; ++k) {
            ::close(pipes[k][0]);
            ::close(pipes[k][1]);
        }
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipes[0][0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipes[2][1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipes[1][1], kRunEventFd);
    // A group of its own: a Ctrl-C at the terminal reaches the parent only, which passes it on
    // once; the run's signals start as they do for any program.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&stops, signal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &stops);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::string name = "vandel-cli";
    std::string argument = kFleetRunArgument;
    char* argv[] = {name.data(), argument.data(), nullptr};
    const int spawned = ::posix_spawn(&process.pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipes[0][0]);
    ::close(pipes[1][1]);
    ::close(pipes[2][1]);
    process.request = pipes[0][1];
    process.events = pipes[1][0];
    process.err = pipes[2][0];
    child.start = Clock::now();
    child.started = std::chrono::system_clock::now();
    if (spawned != 0) {
        child.spawnError = "could not start " + program + ": " + std::strerror(spawned);
        process.pid = -1;
        CloseFd(process.request);
        CloseFd(process.events);
        CloseFd(process.err);
        return false;
    }
    child.pid = process.pid;
    ::fcntl(process.request, F_SETFL, O_WRONLY | O_NONBLOCK);
    return true;
}

// Writes what remains of the request; closes the run's standard input once it is all there.
void SendRequest(const ChildRun& child, RunProcess& process) {
    if (process.request < 0) return;
    if (!WriteAll(process.request, child.requestText.data(), child.requestText.size(), process.requestSent) &&
        errno == EAGAIN)
        return;  // the rest when the pipe has room; any other failure: the run is gone, its end tells
    CloseFd(process.request);
}

void ReadFrom(ChildRun& child, int& fd, ProgressBoard& board) {
    RunProcess& process = *child.process;
    char buffer[8192];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        CloseFd(fd);
        if (process.events < 0 && process.err < 0) process.closedAt = Clock::now();
        return;
    }
    const size_t count = static_cast<size_t>(n);
    if (&fd == &process.events)
        TakeRunEvents(child, buffer, count, board);
    else
        TakeRunErrors(child, buffer, count, board);
}

void Ended(ChildRun& child) {
    RunProcess& process = *child.process;
    process.exited = true;
    child.seconds = std::chrono::duration<double>(Clock::now() - child.start).count();
    if (WIFSIGNALED(process.waitStatus))
        child.howItEnded = "ended by signal " + std::to_string(WTERMSIG(process.waitStatus)) + " (" +
                           SignalText(WTERMSIG(process.waitStatus)) + ")";
    else
        child.howItEnded = "ended with exit status " + std::to_string(WEXITSTATUS(process.waitStatus));
}

void Reap(ChildRun& child) {
    RunProcess& process = *child.process;
    if (process.pid < 0 || process.exited) return;
    const pid_t done = ::waitpid(process.pid, &process.waitStatus, WNOHANG);
    if (done == process.pid || (done < 0 && errno == ECHILD)) Ended(child);
}

bool Running(const RunProcess& process) {
    return process.pid >= 0 && !process.exited;
}

}  // namespace

long CurrentProcessId() {
    return static_cast<long>(::getpid());
}

bool StartRun(ChildRun& child) {
    static const std::string program = SelfPath();
    child.process = std::make_shared<RunProcess>();
    if (!StartChild(program, child, *child.process)) return false;
    SendRequest(child, *child.process);
    return true;
}

void WatchRuns(std::vector<ChildRun>& children, ProgressBoard& board) {
    int forwarded = 0;
    std::optional<Clock::time_point> killAt;
    Clock::time_point nextReapAll = Clock::now();
    for (;;) {
        const int signals = StopSignalCount();
        if (signals > forwarded) {
            DrainStopWake();
            for (ChildRun& child : children)
                if (child.process && Running(*child.process)) ::kill(child.process->pid, StopSignal());
            const Clock::time_point at = Clock::now() + (signals > 1 ? kStopAtOnceGrace : kStopGrace);
            killAt = killAt && *killAt < at ? *killAt : at;
            forwarded = signals;
        }
        bool busy = false;
        const bool reapAll = Clock::now() >= nextReapAll;
        if (reapAll) nextReapAll = Clock::now() + kReapEvery;
        for (ChildRun& child : children) {
            if (!child.process) continue;
            RunProcess& process = *child.process;
            if (reapAll || (process.events < 0 && process.err < 0)) Reap(child);
            const bool late = (killAt && Clock::now() >= *killAt) ||
                              (process.closedAt && Clock::now() - *process.closedAt >= kExitGrace);
            if (Running(process) && late) {
                ::kill(process.pid, SIGKILL);
                ::waitpid(process.pid, &process.waitStatus, 0);
                Ended(child);
            }
            if (Running(process)) busy = true;
            if (process.exited) {
                // Nothing more can come: what it left unread is read below, once.
                CloseFd(process.request);
            }
        }
        std::vector<pollfd> fds;
        std::vector<std::pair<ChildRun*, int*>> owners;
        for (ChildRun& child : children) {
            if (!child.process) continue;
            RunProcess& process = *child.process;
            if (process.request >= 0) {
                fds.push_back({process.request, POLLOUT, 0});
                owners.emplace_back(&child, &process.request);
            }
            for (int* fd : {&process.events, &process.err}) {
                if (*fd < 0) continue;
                fds.push_back({*fd, POLLIN, 0});
                owners.emplace_back(&child, fd);
            }
        }
        if (fds.empty() && !busy) break;
        if (StopWakeFd() >= 0) fds.push_back({StopWakeFd(), POLLIN, 0});
        const int ready = ::poll(fds.data(), fds.size(), 100);
        if (ready < 0 && errno != EINTR) break;
        for (size_t k = 0; ready > 0 && k < owners.size(); ++k) {
            if (fds[k].revents == 0) continue;
            auto [child, fd] = owners[k];
            if (fd == &child->process->request)
                SendRequest(*child, *child->process);
            else
                ReadFrom(*child, *fd, board);
        }
        board.Tick();
    }
}
