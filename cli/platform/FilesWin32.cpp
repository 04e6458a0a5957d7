#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>

#include "cli/platform/Platform.h"

int OpenForAppend(const std::string& path) {
    return ::_open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
}

namespace {

// The system handle of fd, or nullptr (errno set) when it has none.
HANDLE FileHandle(int fd) {
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (file != INVALID_HANDLE_VALUE) return file;
    errno = EBADF;
    return nullptr;
}

bool Done(BOOL done) {
    if (done == 0) errno = EACCES;
    return done != 0;
}

}  // namespace

bool LockWholeFile(int fd) {
    const HANDLE file = FileHandle(fd);
    OVERLAPPED whole{};
    return file != nullptr &&
           Done(::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole));
}

bool UnlockWholeFile(int fd) {
    const HANDLE file = FileHandle(fd);
    OVERLAPPED whole{};
    return file != nullptr && Done(::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole));
}

bool SyncFile(int fd) {
    return ::_commit(fd) == 0;
}

bool TruncateFile(int fd, uint64_t size) {
    const errno_t failed = ::_chsize_s(fd, static_cast<__int64>(size));
    if (failed != 0) errno = failed;
    return failed == 0;
}

bool IsTerminal(std::FILE* stream) {
    return ::_isatty(::_fileno(stream)) != 0;
}

bool TerminalWindowSize(std::FILE* stream, size_t& columns, size_t& rows) {
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (::GetConsoleScreenBufferInfo(console, &info) == 0) return false;
    columns = static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
    rows = static_cast<size_t>(info.srWindow.Bottom - info.srWindow.Top + 1);
    return true;
}

bool CanWriteIn(const std::string& folder) {
    return ::_access(folder.c_str(), 2) == 0;  // write permission; folders have no execute bit here
}
