// On Windows a run gets only its three standard handles: its events go to standard output, its
// messages to standard error (which the parent shows as messages), and standard input stays open
// after the request: each further line is a stop signal's number passed on by the parent, and its
// end means the parent has gone.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "cli/StopSignals.h"
#include "cli/platform/RunSide.h"

namespace {

void TakeStopLines(std::string& pending) {
    for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
        const int signal = std::atoi(pending.substr(0, end).c_str());
        RaiseStopSignal(signal > 0 ? signal : SIGTERM);
    }
}

}  // namespace

bool StartedAsRun() {
    return ::GetFileType(::GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_PIPE &&
           ::GetFileType(::GetStdHandle(STD_OUTPUT_HANDLE)) == FILE_TYPE_PIPE;
}

void StopWhenParentDies() {
    ::_setmode(0, _O_BINARY);
    ::_setmode(1, _O_BINARY);
}

void WatchParent(long /*parent*/, const std::string& rest) {
    std::thread([pending = rest]() mutable {
        TakeStopLines(pending);
        char buffer[256];
        for (;;) {
            const int n = ::_read(0, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            pending.append(buffer, static_cast<size_t>(n));
            TakeStopLines(pending);
        }
        RaiseStopSignal(SIGTERM);  // the parent has gone
    }).detach();
}

std::FILE* OpenRunMessages() {
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    return stderr;
}

void CloseRunMessages(std::FILE* /*messages*/) {}
