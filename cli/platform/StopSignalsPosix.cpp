#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/StopSignals.h"

namespace {

int wakePipe[2] = {-1, -1};

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void OnStopSignal(int signal) {
    const int savedErrno = errno;
    NoteStopSignal(signal);
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakePipe[1], &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

void InstallStopSignals() {
    if (wakePipe[0] < 0 && ::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) wakePipe[0] = wakePipe[1] = -1;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
    action.sa_flags = SA_RESTART;
    for (int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
}

void RaiseStopSignal(int signal) {
    ::raise(signal);
}

int StopWakeFd() {
    return wakePipe[0];
}

void DrainStopWake() {
    char buffer[64];
    while (wakePipe[0] >= 0 && ::read(wakePipe[0], buffer, sizeof buffer) > 0) {
    }
}

std::string SignalText(int signal) {
    return strsignal(signal);
}

std::string SignalName(int signal) {
    const char* name = sigabbrev_np(signal);
    if (name == nullptr) return "signal " + std::to_string(signal);
    return std::string("SIG") + name;
}
