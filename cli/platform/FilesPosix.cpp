#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "cli/platform/Platform.h"

int OpenForAppend(const std::string& path) {
    // O_NONBLOCK: opening a FIFO with no reader must not wait; the caller refuses it anyway.
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    if (fd >= 0) ::fcntl(fd, F_SETFL, O_WRONLY | O_APPEND);
    return fd;
}

namespace {

bool Flock(int fd, int operation) {
    while (::flock(fd, operation) != 0) {
        if (errno != EINTR) return false;
    }
    return true;
}

}  // namespace

bool LockWholeFile(int fd) {
    return Flock(fd, LOCK_EX);
}

bool UnlockWholeFile(int fd) {
    return Flock(fd, LOCK_UN);
}

bool SyncFile(int fd) {
    return ::fsync(fd) == 0;
}

bool TruncateFile(int fd, uint64_t size) {
    return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

bool IsTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

bool TerminalWindowSize(std::FILE* stream, size_t& columns, size_t& rows) {
    struct winsize window {};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &window) != 0) return false;
    if (window.ws_col > 0) columns = window.ws_col;
    if (window.ws_row > 0) rows = window.ws_row;
    return true;
}

bool CanWriteIn(const std::string& folder) {
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}
