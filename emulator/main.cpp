// kirp-emulator: an emulated KIRP timing receiver on a pseudo-terminal or a network serial port.
#include <signal.h>
#ifdef _WIN32
#include <windows.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "emulator/Emulator.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    EmulatorOptions options;
    std::string error;
    switch (ParseEmulatorArguments(args, options, error)) {
        case EmulatorArgsResult::Help:
            std::fputs(EmulatorHelpText().c_str(), stdout);
            return 0;
        case EmulatorArgsResult::Version:
            std::printf("kirp-emulator %s\n", VC_VERSION);
            return 0;
        case EmulatorArgsResult::Error:
            std::fprintf(stderr, "kirp-emulator: %s\n", error.c_str());
            return 2;
        case EmulatorArgsResult::Run:
            break;
    }

#ifdef _WIN32
    // Ctrl-C, Ctrl-Break or the console closing ends the program; the handler runs on a thread
    // of its own and only wakes this one.
    static HANDLE stopEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ::SetConsoleCtrlHandler(
        [](DWORD) -> BOOL {
            ::SetEvent(stopEvent);
            return TRUE;
        },
        TRUE);
#else
    // Block the stop signals before any thread starts, then wait for one of them here.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);
#endif

    Emulator emulator(options);
    if (!emulator.Start(error)) {
        std::fprintf(stderr, "kirp-emulator: %s\n", error.c_str());
        return 1;
    }
    for (int i = 0; i < emulator.Count(); ++i) {
        if (options.usePty) {
            std::printf("receiver %d on %s\n", i + 1, emulator.Address(i).c_str());
        } else {
            std::printf("receiver %d listening on %s (%s)\n", i + 1, emulator.Address(i).c_str(),
                        emulator.DeviceName(i).c_str());
        }
    }
    std::fflush(stdout);

#ifdef _WIN32
    ::WaitForSingleObject(stopEvent, INFINITE);
#else
    int signalNumber = 0;
    sigwait(&stopSignals, &signalNumber);
#endif
    emulator.Stop();
    return 0;
}
