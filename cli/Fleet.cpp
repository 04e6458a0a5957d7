#include "cli/Fleet.h"

#include <unistd.h>
#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <tuple>

#include "cli/Progress.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "operations/SummaryTables.h"
#include "serial/Serial.h"
#include "serial/Trace.h"
#include "settings/Display.h"

#ifndef _WIN32
extern char** environ;
#endif

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string WithOrigin(const FleetReceiver& receiver, const std::string& message) {
    return receiver.origin.empty() ? message : receiver.origin + ": " + message;
}

// The image and the PC side of a run: the settings file's bytes taken in as the window's loader
// takes them (no capture), the PC settings as given.
void TakeSettings(const SettingsFileBytes& file, const PortLine& pcLine) {
    StorePcSerialSettingsDefaults();
    PcSerialSettings.fill(0);
    PortRecordFromLine(pcLine, PcSerialSettings.data());
    for (const SettingsGroupInfo& group : kSettingsGroups)
        ShowGroup(group.number, file.bytes.data() + group.offset);
}

nlohmann::ordered_json ReasonJson(uint8_t port) {
    const SerialFailure failure = SerialLastFailure(port);
    nlohmann::ordered_json json;
    json["code"] = SerialFailureCodeName(failure.code);
    json["detail"] = failure.detail;
    if (failure.holderPid != 0) json["pid"] = failure.holderPid;
    json["text"] = DescribeSerialFailure(failure);
    return json;
}

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;  // whoever watches has gone: the run goes on without them
        done += static_cast<size_t>(n);
    }
}

// One run in this process: the receivers at `members`, all with one settings file and PC side.
void RunHere(const std::vector<FleetReceiver>& receivers, const std::vector<size_t>& members,
             const FleetFiles& files, const FleetRunOptions& options, ProgressBoard& board, std::FILE* err,
             FleetResult& result) {
    const FleetReceiver& first = receivers[members.front()];
    TakeSettings(files.at(first.settingsFile), first.pcLine);
    for (size_t i = 0; i < PortContexts.size(); ++i) {
        const bool selected = i < members.size();
        if (selected) SerialSetDeviceName(static_cast<uint8_t>(i + 1), receivers[members[i]].device);
        PortContexts[i].operationMode = selected ? kModeConfiguring : kModeIdle;
    }

    // Working for another process: the question was asked there, the states go there.
    const bool forAnother = options.progressFd >= 0;
    CliOperator op(options.yes, err, forAnother);
    op.SetBoard(&board);
    WatchPorts(static_cast<int>(members.size()), [&](int commIndex, const std::string& state) {
        if (forAnother) {
            WriteAll(options.progressFd, std::to_string(commIndex + 1) + "\t" + state + "\n");
        } else {
            board.Update(members[static_cast<size_t>(commIndex)], state);
            board.Tick();
        }
    });
    const Clock::time_point start = Clock::now();
    ConfigureReceivers(op, options.kind);
    StopWatchingPorts();
    const double seconds = SecondsSince(start);

    result.stopped = op.Declined();
    for (size_t i = 0; i < members.size(); ++i) {
        FleetOutcome& outcome = result.outcomes[members[i]];
        outcome.run = 1;
        outcome.comm = static_cast<int>(i + 1);
        outcome.seconds = seconds;
        if (!op.SummaryShown()) {
            outcome.noResult = "the run was stopped before anything was sent";
            continue;
        }
        outcome.reported = true;
        outcome.summary = op.Summary()[i];
        if (outcome.summary.portResult == kResultOpenFailed)
            outcome.reason = ReasonJson(static_cast<uint8_t>(i + 1));
    }
}

// ---- Runs in processes of their own ----
#ifndef _WIN32

struct ChildRun {
    size_t run = 0;
    std::vector<size_t> members;
    pid_t pid = -1;
    int out = -1;
    int err = -1;
    int progress = -1;
    std::string outText;
    std::string errLine;
    std::string progressLine;
    std::string lastError;  // its last line on standard error
    Clock::time_point start;
    double seconds = 0;
    int waitStatus = 0;
    std::string spawnError;
};

constexpr int kChildProgressFd = 3;
constexpr size_t kMaxChildOutput = 64u << 20;  // far above any summary of twenty ports
constexpr size_t kMaxLine = 4096;

std::string SelfPath() {
    std::string path(PATH_MAX, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return "/proc/self/exe";
    path.resize(static_cast<size_t>(n));
    return path;
}

// A pipe whose ends sit above the standard descriptors and the child's progress descriptor, and
// close on exec: the child gets only the copies its file actions make.
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

std::vector<std::string> ChildArguments(const std::vector<FleetReceiver>& receivers, const ChildRun& child,
                                        const FleetRunOptions& options) {
    const FleetReceiver& first = receivers[child.members.front()];
    std::vector<std::string> args = {"vandel-cli",
                                     options.kind == RunKind::kVerify ? "verify" : "configure",
                                     "--json",
                                     "--pc-settings",
                                     PortLineText(first.pcLine),
                                     "--progress-fd",
                                     std::to_string(kChildProgressFd)};
    if (options.yes) args.push_back("--yes");
    if (!options.trace.empty()) {
        args.push_back("--trace");
        args.push_back(options.trace + "." + std::to_string(child.run));
    }
    args.push_back("--");
    args.push_back(first.settingsFile);
    for (size_t index : child.members) args.push_back(receivers[index].device);
    return args;
}

bool StartChild(const std::string& program, const std::vector<std::string>& args, ChildRun& child) {
    int out[2];
    int err[2];
    int progress[2];
    if (!HighPipe(out)) {
        child.spawnError = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    if (!HighPipe(err)) {
        child.spawnError = std::string("no pipe: ") + std::strerror(errno);
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    if (!HighPipe(progress)) {
        child.spawnError = std::string("no pipe: ") + std::strerror(errno);
        for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    posix_spawn_file_actions_adddup2(&actions, progress[1], kChildProgressFd);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const int spawned = ::posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {out[1], err[1], progress[1]}) ::close(fd);
    child.out = out[0];
    child.err = err[0];
    child.progress = progress[0];
    child.start = Clock::now();
    if (spawned != 0) {
        child.spawnError = "could not start " + program + ": " + std::strerror(spawned);
        child.pid = -1;
        for (int* fd : {&child.out, &child.err, &child.progress}) {
            ::close(*fd);
            *fd = -1;
        }
        return false;
    }
    return true;
}

// Complete lines of `pending` (after appending `bytes`) handed to `take`; an endless line is cut.
template <typename Take>
void TakeLines(std::string& pending, const char* bytes, size_t count, Take take) {
    pending.append(bytes, count);
    size_t begin = 0;
    for (size_t end; (end = pending.find('\n', begin)) != std::string::npos; begin = end + 1)
        take(pending.substr(begin, end - begin));
    pending.erase(0, begin);
    if (pending.size() > kMaxLine) {
        take(pending.substr(0, kMaxLine));
        pending.clear();
    }
}

void TakeProgressLine(const std::string& line, const ChildRun& child, ProgressBoard& board) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0 || tab > 2) return;
    const int comm = std::atoi(line.substr(0, tab).c_str());
    if (comm < 1 || static_cast<size_t>(comm) > child.members.size()) return;
    board.Update(child.members[static_cast<size_t>(comm - 1)], line.substr(tab + 1));
}

// Reads what the children say until every one of them has closed its pipes, then reaps them.
void WatchChildren(std::vector<ChildRun>& children, ProgressBoard& board) {
    for (;;) {
        std::vector<pollfd> fds;
        std::vector<std::pair<ChildRun*, int*>> owners;
        for (ChildRun& child : children) {
            for (int* fd : {&child.out, &child.err, &child.progress}) {
                if (*fd < 0) continue;
                fds.push_back({*fd, POLLIN, 0});
                owners.emplace_back(&child, fd);
            }
        }
        if (fds.empty()) break;
        const int ready = ::poll(fds.data(), fds.size(), 100);
        if (ready < 0 && errno != EINTR) break;
        for (size_t k = 0; ready > 0 && k < fds.size(); ++k) {
            if (fds[k].revents == 0) continue;
            auto [child, fd] = owners[k];
            char buffer[8192];
            const ssize_t n = ::read(*fd, buffer, sizeof buffer);
            if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
            if (n <= 0) {
                ::close(*fd);
                *fd = -1;
                continue;
            }
            const size_t count = static_cast<size_t>(n);
            if (fd == &child->out) {
                if (child->outText.size() < kMaxChildOutput) child->outText.append(buffer, count);
            } else if (fd == &child->err) {
                TakeLines(child->errLine, buffer, count, [&](const std::string& line) {
                    child->lastError = line;
                    board.Message("run " + std::to_string(child->run) + ": " + line);
                });
            } else {
                TakeLines(child->progressLine, buffer, count,
                          [&](const std::string& line) { TakeProgressLine(line, *child, board); });
            }
        }
        board.Tick();
    }
    for (ChildRun& child : children) {
        if (child.pid < 0) continue;
        while (::waitpid(child.pid, &child.waitStatus, 0) < 0 && errno == EINTR) {
        }
        child.seconds = SecondsSince(child.start);
    }
}

std::string HowItEnded(const ChildRun& child) {
    if (!child.spawnError.empty()) return child.spawnError;
    std::string how;
    if (WIFSIGNALED(child.waitStatus))
        how = "ended by signal " + std::to_string(WTERMSIG(child.waitStatus)) + " (" +
              strsignal(WTERMSIG(child.waitStatus)) + ")";
    else
        how = "ended with exit status " + std::to_string(WEXITSTATUS(child.waitStatus));
    if (!child.lastError.empty()) how += ": " + child.lastError;
    return how;
}

void CollectChild(const ChildRun& child, const std::vector<FleetReceiver>& receivers, FleetResult& result) {
    std::vector<bool> seen(child.members.size(), false);
    const nlohmann::json json = nlohmann::json::parse(child.outText, nullptr, false);
    if (!json.is_discarded() && json.is_object() && json.contains("ports") && json["ports"].is_array()) {
        for (const nlohmann::json& entry : json["ports"]) {
            FleetOutcome outcome;
            if (!entry.is_object() || !OutcomeFromJson(entry, outcome)) continue;
            const size_t at = static_cast<size_t>(outcome.comm - 1);
            if (outcome.comm < 1 || at >= child.members.size() || seen[at]) continue;
            if (!entry.contains("device") || entry["device"] != receivers[child.members[at]].device) continue;
            seen[at] = true;
            outcome.run = child.run;
            outcome.seconds = child.seconds;
            result.outcomes[child.members[at]] = std::move(outcome);
        }
    }
    for (size_t i = 0; i < child.members.size(); ++i) {
        if (seen[i]) continue;
        FleetOutcome& outcome = result.outcomes[child.members[i]];
        outcome.run = child.run;
        outcome.comm = static_cast<int>(i + 1);
        outcome.seconds = child.seconds;
        outcome.noResult = "its run " + HowItEnded(child) + " without a result for it";
    }
}

#endif  // _WIN32

// The "Invalid Configuration" question, once for each settings file, before any run starts.
bool AskForEveryFile(const std::vector<FleetReceiver>& receivers,
                     const std::vector<std::vector<size_t>>& runs, const FleetFiles& files,
                     const FleetRunOptions& options, std::FILE* err) {
    std::vector<std::string> asked;
    for (const std::vector<size_t>& run : runs) {
        const FleetReceiver& first = receivers[run.front()];
        if (std::find(asked.begin(), asked.end(), first.settingsFile) != asked.end()) continue;
        asked.push_back(first.settingsFile);
        TakeSettings(files.at(first.settingsFile), first.pcLine);
        CliOperator op(options.yes, err);
        if (!ValidateConfiguration(op)) return false;
    }
    return true;
}

#ifdef _WIN32
// Runs in processes of their own are not built for Windows yet: each receiver says so, and nothing
// is opened or sent.
void RunInChildren(const std::vector<FleetReceiver>& receivers, const std::vector<std::vector<size_t>>& runs,
                   const FleetRunOptions& /*options*/, ProgressBoard& /*board*/, FleetResult& result) {
    for (size_t r = 0; r < runs.size(); ++r) {
        for (size_t i = 0; i < runs[r].size(); ++i) {
            FleetOutcome& outcome = result.outcomes[runs[r][i]];
            outcome.run = r + 1;
            outcome.comm = static_cast<int>(i + 1);
            outcome.noResult =
                "on Windows one run takes at most twenty receivers with one settings file and one PC side; "
                "these " +
                std::to_string(receivers.size()) + " receivers need " + std::to_string(runs.size()) +
                " runs: give them in separate commands";
        }
    }
}
#else
void RunInChildren(const std::vector<FleetReceiver>& receivers, const std::vector<std::vector<size_t>>& runs,
                   const FleetRunOptions& options, ProgressBoard& board, FleetResult& result) {
    const std::string program = SelfPath();
    std::vector<ChildRun> children(runs.size());
    for (size_t r = 0; r < runs.size(); ++r) {
        ChildRun& child = children[r];
        child.run = r + 1;
        child.members = runs[r];
        const std::vector<std::string> args = ChildArguments(receivers, child, options);
        if (StartChild(program, args, child) && ProgramTrace().IsOpen()) {
            ProgramTrace().Line(0, "note",
                                "run " + std::to_string(child.run) + " pid=" + std::to_string(child.pid) +
                                    " trace=" + options.trace + "." + std::to_string(child.run));
        }
    }
    WatchChildren(children, board);
    for (const ChildRun& child : children) CollectChild(child, receivers, result);
}
#endif

}  // namespace

PortLine DefaultPcLine() {
    StorePcSerialSettingsDefaults();
    PortLine line;
    PortLineFromRecord(PcSerialSettings.data(), line);
    return line;
}

bool CheckFleet(const std::vector<FleetReceiver>& receivers, FleetFiles& files,
                std::vector<std::string>& errors) {
    const size_t before = errors.size();
    std::vector<std::string> failedFiles;
    for (const FleetReceiver& receiver : receivers) {
        const std::string& path = receiver.settingsFile;
        if (files.count(path) == 0 &&
            std::find(failedFiles.begin(), failedFiles.end(), path) == failedFiles.end()) {
            SettingsFileBytes file;
            std::string error;
            if (!ReadSettingsFile(path, file, error)) {
                errors.push_back(WithOrigin(receiver, error));
                failedFiles.push_back(path);
            } else if (file.size != kSettingsImageSize) {
                // A receiver is never written from a file that is not a whole settings file: the
                // bytes the window's loader would make up (FF) are not settings anyone chose.
                errors.push_back(WithOrigin(receiver, path + " is " + std::to_string(file.size) +
                                                          " bytes: a settings file is exactly " +
                                                          std::to_string(kSettingsImageSize) + " bytes"));
                failedFiles.push_back(path);
            } else {
                files[path] = file;
            }
        }
        std::string error;
        if (!CheckSerialDeviceName(receiver.device, error)) errors.push_back(WithOrigin(receiver, error));
    }
    // Two names of one device (a link and its target) would be two ports fighting over one line.
    for (size_t i = 0; i < receivers.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (receivers[j].device == receivers[i].device ||
                SameSerialDevice(receivers[j].device, receivers[i].device)) {
                const std::string where = receivers[j].origin.empty() ? "" : " (" + receivers[j].origin + ")";
                errors.push_back(WithOrigin(receivers[i], receivers[j].device + where + " and " +
                                                              receivers[i].device + " are the same device"));
                break;
            }
        }
    }
    return errors.size() == before;
}

std::vector<std::vector<size_t>> PlanFleetRuns(const std::vector<FleetReceiver>& receivers) {
    std::vector<std::vector<size_t>> runs;
    std::vector<size_t> open;  // for each run still taking receivers: its index in runs
    for (size_t i = 0; i < receivers.size(); ++i) {
        const FleetReceiver& receiver = receivers[i];
        auto fits = std::find_if(open.begin(), open.end(), [&](size_t r) {
            const FleetReceiver& first = receivers[runs[r].front()];
            return first.settingsFile == receiver.settingsFile && first.pcLine == receiver.pcLine;
        });
        if (fits == open.end()) {
            runs.push_back({i});
            open.push_back(runs.size() - 1);
            continue;
        }
        runs[*fits].push_back(i);
        if (runs[*fits].size() == static_cast<size_t>(kPortContextCount)) open.erase(fits);
    }
    return runs;
}

FleetResult RunFleet(const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                     const FleetRunOptions& options, ProgressBoard& board, std::FILE* err) {
    FleetResult result;
    result.outcomes.resize(receivers.size());
    const std::vector<std::vector<size_t>> runs = PlanFleetRuns(receivers);
    result.runCount = runs.size();
    if (runs.size() == 1) {
        RunHere(receivers, runs.front(), files, options, board, err, result);
    } else if (options.kind == RunKind::kConfigure &&
               !AskForEveryFile(receivers, runs, files, options, err)) {
        result.stopped = true;
        for (FleetOutcome& outcome : result.outcomes)
            outcome.noResult = "the run was stopped before anything was sent";
    } else {
        RunInChildren(receivers, runs, options, board, result);
    }
    for (size_t i = 0; !result.stopped && i < receivers.size(); ++i) {
        const FleetOutcome& outcome = result.outcomes[i];
        board.Update(i, "done: " + (outcome.reported ? std::string(PortResultText(outcome.summary.portResult))
                                                     : "no result: " + outcome.noResult));
    }
    board.Finish();
    return result;
}
