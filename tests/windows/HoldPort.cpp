// hold_port COMn SECONDS: another Windows program that has a COM port open (without sharing, as
// terminal programs open it) for the given time. Says "held" once it has it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hold_port COMn SECONDS\n");
        return 2;
    }
    const HANDLE port =
        ::CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "hold_port: %s: error %lu\n", argv[1], ::GetLastError());
        return 1;
    }
    std::printf("held\n");
    std::fflush(stdout);
    ::Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    ::CloseHandle(port);
    return 0;
}
