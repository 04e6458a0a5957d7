// The console's events as the stop signals of StopSignals.h: the handler runs on a thread of its
// own that the system starts, and does what the Linux signal handler does.
#include <windows.h>

#include <csignal>

#include "cli/StopSignals.h"

namespace {

// Windows has no SIGHUP; the console's closing stands for it with the number it has on Linux.
constexpr int kHangup = 1;

int SignalOfEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            return SIGINT;
        case CTRL_CLOSE_EVENT:
            return kHangup;
        default:
            return SIGTERM;
    }
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
    RaiseStopSignal(SignalOfEvent(event));
    return TRUE;
}

}  // namespace

void InstallStopSignals() {
    ::SetConsoleCtrlHandler(nullptr, FALSE);  // Ctrl-C comes here even when the parent ignored it
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void RaiseStopSignal(int signal) {
    NoteStopSignal(signal);
}

// Nothing to poll on Windows: the runs' watcher looks at StopSignalCount each time round.
int StopWakeFd() {
    return -1;
}

void DrainStopWake() {}

std::string SignalText(int signal) {
    switch (signal) {
        case SIGINT:
            return "Interrupt";
        case kHangup:
            return "Hangup";
        case SIGTERM:
            return "Terminated";
        default:
            return "signal " + std::to_string(signal);
    }
}

std::string SignalName(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case kHangup:
            return "SIGHUP";
        case SIGTERM:
            return "SIGTERM";
        default:
            return "signal " + std::to_string(signal);
    }
}
