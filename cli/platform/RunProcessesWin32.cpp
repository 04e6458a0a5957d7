// The fleet's runs as Windows processes: started with CreateProcess without a console of their own
// (a Ctrl-C reaches the parent only, which passes it on once), the request and then any stop
// written on a pipe to their standard input, their events read from their standard output and
// their messages from their standard error, each pipe by a thread of its own.
#include <windows.h>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/FleetRuns.h"
#include "cli/RunProtocol.h"
#include "cli/StopSignals.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the pipe threads of every run have read, handed to the watcher.
struct Inbox {
    std::mutex mutex;
    std::condition_variable arrived;
    struct Piece {
        ChildRun* child;
        bool events;
        std::string bytes;
    };
    std::vector<Piece> pieces;
};

Inbox& TheInbox() {
    static Inbox inbox;
    return inbox;
}

std::string LastErrorText() {
    char text[512] = {};
    const DWORD error = ::GetLastError();
    ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                     sizeof text, nullptr);
    std::string message = text;
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

}  // namespace

struct RunProcess {
    HANDLE process = nullptr;
    HANDLE request = nullptr;  // its standard input: the request, then stops
    bool exited = false;
    std::optional<Clock::time_point> closedAt;  // when both its output pipes were closed
    int pipesOpen = 0;
    std::thread readers[2];

    ~RunProcess() {
        for (std::thread& reader : readers)
            if (reader.joinable()) reader.join();
        if (request != nullptr) ::CloseHandle(request);
        if (process != nullptr) ::CloseHandle(process);
    }
};

namespace {

// Which of a run's pipes a reader reads: its events (JSON lines) or its standard error.
constexpr bool kRunEvents = true;
constexpr bool kRunMessages = false;

void ReadPipe(HANDLE pipe, ChildRun* child, bool events) {
    Inbox& inbox = TheInbox();
    char buffer[8192];
    DWORD n = 0;
    while (::ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) != 0 && n > 0) {
        std::lock_guard<std::mutex> guard(inbox.mutex);
        inbox.pieces.push_back({child, events, std::string(buffer, n)});
        inbox.arrived.notify_one();
    }
    ::CloseHandle(pipe);
    std::lock_guard<std::mutex> guard(inbox.mutex);
    inbox.pieces.push_back({child, events, std::string()});  // an empty piece: the pipe closed
    inbox.arrived.notify_one();
}

bool WriteAll(HANDLE pipe, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        DWORD n = 0;
        if (::WriteFile(pipe, text.data() + done, static_cast<DWORD>(text.size() - done), &n, nullptr) == 0)
            return false;
        done += n;
    }
    return true;
}

std::string SelfPath() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void Ended(ChildRun& child) {
    RunProcess& run = *child.process;
    DWORD status = 0;
    ::GetExitCodeProcess(run.process, &status);
    run.exited = true;
    child.seconds = std::chrono::duration<double>(Clock::now() - child.start).count();
    child.howItEnded = "ended with exit status " + std::to_string(status);
}

}  // namespace

long CurrentProcessId() {
    return static_cast<long>(::GetCurrentProcessId());
}

bool StartRun(ChildRun& child) {
    static const std::string program = SelfPath();
    child.process = std::make_shared<RunProcess>();
    RunProcess& run = *child.process;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE ends[3][2] = {};  // request, events, standard error: [0] read, [1] write
    for (auto& pipe : ends) {
        if (::CreatePipe(&pipe[0], &pipe[1], &inherited, 1u << 16) == 0) {
            child.spawnError = "no pipe for it: " + LastErrorText();
            for (auto& made : ends)
                for (HANDLE end : made)
                    if (end != nullptr) ::CloseHandle(end);
            return false;
        }
    }
    // The parent's ends are not inherited, by this run nor by the next.
    ::SetHandleInformation(ends[0][1], HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(ends[1][0], HANDLE_FLAG_INHERIT, 0);
    ::SetHandleInformation(ends[2][0], HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ends[0][0];
    startup.hStdOutput = ends[1][1];
    startup.hStdError = ends[2][1];
    std::string commandLine = "\"" + program + "\" " + kFleetRunArgument;
    PROCESS_INFORMATION info{};
    const BOOL started = ::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                          DETACHED_PROCESS, nullptr, nullptr, &startup, &info);
    const std::string why = started ? std::string() : LastErrorText();
    ::CloseHandle(ends[0][0]);
    ::CloseHandle(ends[1][1]);
    ::CloseHandle(ends[2][1]);
    child.start = Clock::now();
    child.started = std::chrono::system_clock::now();
    if (started == 0) {
        child.spawnError = "could not start " + program + ": " + why;
        for (HANDLE end : {ends[0][1], ends[1][0], ends[2][0]}) ::CloseHandle(end);
        return false;
    }
    ::CloseHandle(info.hThread);
    run.process = info.hProcess;
    run.request = ends[0][1];
    child.pid = static_cast<long>(info.dwProcessId);
    run.pipesOpen = 2;
    run.readers[0] = std::thread(ReadPipe, ends[1][0], &child, kRunEvents);
    run.readers[1] = std::thread(ReadPipe, ends[2][0], &child, kRunMessages);
    // The request fits the pipe; should the run be gone already, its end tells the rest.
    WriteAll(run.request, child.requestText);
    return true;
}

void WatchRuns(std::vector<ChildRun>& children, ProgressBoard& board) {
    Inbox& inbox = TheInbox();
    int forwarded = 0;
    std::optional<Clock::time_point> killAt;
    for (;;) {
        const int signals = StopSignalCount();
        if (signals > forwarded) {
            for (ChildRun& child : children) {
                if (!child.process || child.process->process == nullptr || child.process->exited) continue;
                for (int k = forwarded; k < signals; ++k)
                    WriteAll(child.process->request, std::to_string(StopSignal()) + "\n");
            }
            const Clock::time_point at = Clock::now() + (signals > 1 ? kStopAtOnceGrace : kStopGrace);
            killAt = killAt && *killAt < at ? *killAt : at;
            forwarded = signals;
        }
        std::vector<Inbox::Piece> pieces;
        {
            std::unique_lock<std::mutex> lock(inbox.mutex);
            inbox.arrived.wait_for(lock, std::chrono::milliseconds(100),
                                   [&] { return !inbox.pieces.empty(); });
            pieces.swap(inbox.pieces);
        }
        for (Inbox::Piece& piece : pieces) {
            ChildRun& child = *piece.child;
            if (piece.bytes.empty()) {
                if (--child.process->pipesOpen == 0) child.process->closedAt = Clock::now();
            } else if (piece.events) {
                TakeRunEvents(child, piece.bytes.data(), piece.bytes.size(), board);
            } else {
                TakeRunErrors(child, piece.bytes.data(), piece.bytes.size(), board);
            }
        }
        bool busy = false;
        for (ChildRun& child : children) {
            if (!child.process || child.process->process == nullptr) continue;
            RunProcess& run = *child.process;
            if (!run.exited && ::WaitForSingleObject(run.process, 0) == WAIT_OBJECT_0) Ended(child);
            const bool late = (killAt && Clock::now() >= *killAt) ||
                              (run.closedAt && Clock::now() - *run.closedAt >= kExitGrace);
            if (!run.exited && late) {
                ::TerminateProcess(run.process, 137);
                ::WaitForSingleObject(run.process, INFINITE);
                Ended(child);
                child.howItEnded = "was ended after it did not stop in time";
            }
            if (!run.exited || run.pipesOpen > 0) busy = true;
        }
        board.Tick();
        if (!busy) break;
    }
}
