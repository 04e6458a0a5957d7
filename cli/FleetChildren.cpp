// The runs of a fleet in processes of their own: each started as `vandel-cli --fleet-run` with its
// request on standard input, watched through its events (RunProtocol.h), stopped with the fleet,
// and collected in the order the receivers were given.
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

#include "cli/Fleet.h"
#include "cli/Progress.h"
#include "cli/RunProtocol.h"
#include "cli/StopSignals.h"
#include "cli/WriteAll.h"
#include "operations/OperationWait.h"
#include "operations/SummaryTables.h"
#include "serial/Trace.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// After the fleet is told to stop: how long its runs have to close their ports and report, and
// after a second signal; then they are killed. A run that closed its descriptors has as long to
// exit.
constexpr auto kStopGrace = std::chrono::seconds(5);
constexpr auto kStopAtOnceGrace = std::chrono::seconds(1);
constexpr auto kExitGrace = std::chrono::seconds(5);
constexpr size_t kMaxEventLine = 4u << 20;  // a port event with every field of every group differing
constexpr size_t kMaxErrorLine = 4096;

struct ChildRun {
    RunKind kind = RunKind::kConfigure;
    size_t run = 0;
    std::vector<size_t> members;
    pid_t pid = -1;
    bool exited = false;
    int waitStatus = 0;
    int request = -1;  // its standard input, until the request is written
    int events = -1;
    int err = -1;
    std::string requestText;
    size_t requestSent = 0;
    std::string eventLine;
    std::string errLine;
    std::string lastError;  // its last message
    std::vector<std::optional<FleetOutcome>> outcomes;
    bool ended = false;  // its end event came
    Clock::time_point start;
    std::chrono::system_clock::time_point started;
    double seconds = 0;
    std::optional<Clock::time_point> closedAt;  // when its descriptors were all closed
    std::string spawnError;
};

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

bool StartChild(const std::string& program, ChildRun& child) {
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
    const int spawned = ::posix_spawn(&child.pid, program.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(pipes[0][0]);
    ::close(pipes[1][1]);
    ::close(pipes[2][1]);
    child.request = pipes[0][1];
    child.events = pipes[1][0];
    child.err = pipes[2][0];
    child.start = Clock::now();
    child.started = std::chrono::system_clock::now();
    if (spawned != 0) {
        child.spawnError = "could not start " + program + ": " + std::strerror(spawned);
        child.pid = -1;
        CloseFd(child.request);
        CloseFd(child.events);
        CloseFd(child.err);
        return false;
    }
    ::fcntl(child.request, F_SETFL, O_WRONLY | O_NONBLOCK);
    return true;
}

// Complete lines of `pending` (after appending `bytes`) handed to `take`; an endless line is cut.
template <typename Take>
void TakeLines(std::string& pending, const char* bytes, size_t count, size_t limit, Take take) {
    pending.append(bytes, count);
    size_t begin = 0;
    for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1)
        take(pending.substr(begin, end - begin));
    pending.erase(0, begin);
    if (pending.size() > limit) {
        take(pending.substr(0, limit));
        pending.clear();
    }
}

void TakeEvent(const std::string& line, ChildRun& child, ProgressBoard& board) {
    const nlohmann::json event = nlohmann::json::parse(line, nullptr, false);
    if (event.is_discarded() || !event.is_object() || !event.contains("event")) return;
    const std::string kind = event["event"].is_string() ? event["event"].get<std::string>() : std::string();
    const int comm =
        event.contains("comm") && event["comm"].is_number_integer() ? event["comm"].get<int>() : 0;
    const bool member = comm >= 1 && static_cast<size_t>(comm) <= child.members.size();
    const size_t index = member ? child.members[static_cast<size_t>(comm - 1)] : 0;
    if (kind == "state" && member && event.contains("state") && event["state"].is_string()) {
        // A port through before its run ends (it could not be opened, never answered) counts as
        // done from now.
        const int result =
            event.contains("result") && event["result"].is_number_integer() ? event["result"].get<int>() : 0;
        if (result > 0 && result < static_cast<int>(kPortResults.size()))
            board.Done(index, event["state"].get<std::string>(),
                       PortResultTone(static_cast<uint8_t>(result)));
        else
            board.Update(index, event["state"].get<std::string>());
    } else if (kind == "message" && event.contains("text") && event["text"].is_string()) {
        child.lastError = event["text"].get<std::string>();
        board.Message("run " + std::to_string(child.run) + ": " + child.lastError);
    } else if (kind == "port" && member) {
        FleetOutcome outcome;
        if (OutcomeFromPortEvent(event, outcome)) {
            board.Done(index, OutcomeText(child.kind, outcome), OutcomeTone(outcome));
            child.outcomes[static_cast<size_t>(comm - 1)] = std::move(outcome);
        }
    } else if (kind == "end") {
        child.ended = true;
    }
}

// Writes what remains of the request; closes the run's standard input once it is all there.
void SendRequest(ChildRun& child) {
    if (child.request < 0) return;
    if (!WriteAll(child.request, child.requestText.data(), child.requestText.size(), child.requestSent) &&
        errno == EAGAIN)
        return;  // the rest when the pipe has room; any other failure: the run is gone, its end tells
    CloseFd(child.request);
}

void ReadFrom(ChildRun& child, int& fd, ProgressBoard& board) {
    char buffer[8192];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
        CloseFd(fd);
        if (child.events < 0 && child.err < 0) child.closedAt = Clock::now();
        return;
    }
    const size_t count = static_cast<size_t>(n);
    if (&fd == &child.events) {
        TakeLines(child.eventLine, buffer, count, kMaxEventLine,
                  [&](const std::string& line) { TakeEvent(line, child, board); });
    } else {
        TakeLines(child.errLine, buffer, count, kMaxErrorLine, [&](const std::string& line) {
            child.lastError = line;
            board.Message("run " + std::to_string(child.run) + ": " + line);
        });
    }
}

void Reap(ChildRun& child) {
    if (child.pid < 0 || child.exited) return;
    const pid_t done = ::waitpid(child.pid, &child.waitStatus, WNOHANG);
    if (done == child.pid || (done < 0 && errno == ECHILD)) {
        child.exited = true;
        child.seconds = std::chrono::duration<double>(Clock::now() - child.start).count();
    }
}

bool Running(const ChildRun& child) {
    return child.pid >= 0 && !child.exited;
}

// Reads what the runs say until every one has closed its descriptors and ended. A stop signal is
// passed on to every run (a second one too); a run still there after its grace is killed, as is a
// run that closed its descriptors and does not end.
void WatchChildren(std::vector<ChildRun>& children, ProgressBoard& board) {
    int forwarded = 0;
    std::optional<Clock::time_point> killAt;
    for (;;) {
        const int signals = StopSignalCount();
        if (signals > forwarded) {
            DrainStopWake();
            for (ChildRun& child : children)
                if (Running(child)) ::kill(child.pid, StopSignal());
            const Clock::time_point at = Clock::now() + (signals > 1 ? kStopAtOnceGrace : kStopGrace);
            killAt = killAt && *killAt < at ? *killAt : at;
            forwarded = signals;
        }
        bool busy = false;
        for (ChildRun& child : children) {
            Reap(child);
            const bool late = (killAt && Clock::now() >= *killAt) ||
                              (child.closedAt && Clock::now() - *child.closedAt >= kExitGrace);
            if (Running(child) && late) {
                ::kill(child.pid, SIGKILL);
                ::waitpid(child.pid, &child.waitStatus, 0);
                child.exited = true;
                child.seconds = std::chrono::duration<double>(Clock::now() - child.start).count();
            }
            if (!child.exited && child.pid >= 0) busy = true;
            if (child.exited) {
                // Nothing more can come: what it left unread is read below, once.
                CloseFd(child.request);
            }
        }
        std::vector<pollfd> fds;
        std::vector<std::pair<ChildRun*, int*>> owners;
        for (ChildRun& child : children) {
            if (child.request >= 0) {
                fds.push_back({child.request, POLLOUT, 0});
                owners.emplace_back(&child, &child.request);
            }
            for (int* fd : {&child.events, &child.err}) {
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
            if (fd == &child->request)
                SendRequest(*child);
            else
                ReadFrom(*child, *fd, board);
        }
        board.Tick();
    }
}

std::string WhyNoResult(const ChildRun& child) {
    if (!child.spawnError.empty()) return "its run could not be started: " + child.spawnError;
    std::string how;
    if (WIFSIGNALED(child.waitStatus))
        how = "its run ended by signal " + std::to_string(WTERMSIG(child.waitStatus)) + " (" +
              strsignal(WTERMSIG(child.waitStatus)) + ")";
    else
        how = "its run ended with exit status " + std::to_string(WEXITSTATUS(child.waitStatus));
    how += " without a result for it";
    if (!child.lastError.empty()) how += ": " + child.lastError;
    return how;
}

void CollectChild(const ChildRun& child, FleetResult& result) {
    for (size_t i = 0; i < child.members.size(); ++i) {
        FleetOutcome& outcome = result.outcomes[child.members[i]];
        if (child.outcomes[i]) {
            outcome = *child.outcomes[i];
        } else {
            outcome = FleetOutcome{};
            outcome.started = child.started;
            outcome.seconds = child.seconds;
            outcome.noResult = WhyNoResult(child);
        }
        outcome.run = child.run;
        outcome.comm = static_cast<int>(i + 1);
    }
}

}  // namespace

void RunInChildren(const std::vector<FleetReceiver>& receivers, const std::vector<std::vector<size_t>>& runs,
                   const FleetFiles& files, const FleetRunOptions& options, ProgressBoard& board,
                   FleetResult& result) {
    const std::string program = SelfPath();
    std::vector<ChildRun> children(runs.size());
    for (size_t r = 0; r < runs.size() && !OperationStopRequested(); ++r) {
        ChildRun& child = children[r];
        child.kind = options.kind;
        child.run = r + 1;
        child.members = runs[r];
        child.outcomes.resize(child.members.size());
        const FleetReceiver& first = receivers[child.members.front()];
        RunRequest request;
        request.kind = options.kind;
        request.yes = options.yes;
        request.pcLine = first.pcLine;
        request.settings = files.at(SettingsSource(first));
        for (size_t index : child.members) request.devices.push_back(receivers[index].device);
        if (!options.trace.empty()) request.trace = options.trace + "." + std::to_string(child.run);
        request.parent = static_cast<long>(::getpid());
        child.requestText = RunRequestLine(request);
        if (StartChild(program, child) && ProgramTrace().IsOpen()) {
            ProgramTrace().Line(0, "note",
                                "run " + std::to_string(child.run) + " pid=" + std::to_string(child.pid) +
                                    " trace=" + request.trace);
        }
        SendRequest(child);
    }
    WatchChildren(children, board);
    for (const ChildRun& child : children) {
        if (child.run == 0) continue;  // never started: a stop came first
        CollectChild(child, result);
    }
    // Runs a stop kept from starting: their receivers were never touched.
    for (size_t r = 0; r < runs.size(); ++r) {
        if (children[r].run != 0) continue;
        for (size_t i = 0; i < runs[r].size(); ++i) {
            FleetOutcome& outcome = result.outcomes[runs[r][i]];
            outcome.run = r + 1;
            outcome.comm = static_cast<int>(i + 1);
            outcome.interrupted = true;
            outcome.step = RunStep::kOpening;
            outcome.started = std::chrono::system_clock::now();
        }
    }
}
