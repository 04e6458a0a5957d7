// UUCP lock files (/run/lock/LCK..NAME): taking one for a line, reading who holds one, and when a
// lock file is stale. Reading never deletes; only taking the lock removes a stale one.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <mutex>
#include <string>

#include "serial/posix/LineOwnership.h"

namespace {

std::mutex folderMutex;
std::string& LockFolder() {
    static std::string folder = "/var/lock";
    return folder;
}

// A process that has ended but is not yet reaped by its parent (a zombie), or is ending, still
// answers kill(pid, 0), yet its descriptors are closed or being closed: its device may already have
// gone to another program (a pty's number is given out again at once). It holds no lock. A zombie
// main thread whose other threads still run is a live process. A process that started after the
// lock file was last written is not the one that wrote it: the writer is gone, and the machine has
// given its PID to another process since. A lock file of a live writer is left as it is.
// The start time is known to the second at best, and both times are read from the wall clock: a
// step of the clock (a time server's first correction) must not make a live writer's lock stale.
constexpr time_t kClockSlackSeconds = 30;

// The wall-clock second the machine started at (btime of /proc/stat), 0 when unknown.
time_t BootTime() {
    std::ifstream stat("/proc/stat");
    std::string key;
    long long value = 0;
    while (stat >> key) {
        if (key == "btime" && stat >> value) return static_cast<time_t>(value);
        stat.ignore(1 << 20, '\n');
    }
    return 0;
}

bool LockWriterEnded(int32_t pid, time_t lockWritten) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return false;
    const size_t end = text.rfind(')');  // the command in parentheses may hold spaces and ')'
    if (end == std::string::npos) return false;
    // After the command: state (3), ... flags (9), ... num_threads (20), ..., starttime (22).
    char state = 0;
    unsigned long flags = 0;
    long threads = 0;
    unsigned long long startTicks = 0;
    if (std::sscanf(text.c_str() + end + 1,
                    " %c %*d %*d %*d %*d %*d %lu %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %ld %*d %llu",
                    &state, &flags, &threads, &startTicks) != 4)
        return false;
    constexpr unsigned long kExiting = 0x4;  // PF_EXITING: the process is in its exit
    if ((state == 'Z' || state == 'X' || (flags & kExiting) != 0) && threads <= 1) return true;
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const time_t boot = BootTime();
    if (ticksPerSecond <= 0 || boot == 0) return false;
    const time_t started =
        boot + static_cast<time_t>(startTicks / static_cast<unsigned long long>(ticksPerSecond));
    return started > lockWritten + kClockSlackSeconds;
}

bool LockWriterAlive(int32_t pid, time_t lockWritten) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM) && !LockWriterEnded(pid, lockWritten);
}

// A lock file holds the PID as ten ASCII digits and a newline; some programs wrote it as a binary
// int. Both are read; 0 for anything else.
int32_t ReadLockPid(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return 0;
    char buffer[32] = {};
    const ssize_t count = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (count <= 0) return 0;
    if (count == 4) {
        int32_t binary = 0;
        std::memcpy(&binary, buffer, sizeof binary);
        if (binary > 0 && buffer[0] != ' ' && (buffer[0] < '0' || buffer[0] > '9')) return binary;
    }
    long value = 0;
    if (std::sscanf(buffer, "%ld", &value) != 1 || value <= 0 || value > INT32_MAX) return 0;
    return static_cast<int32_t>(value);
}

}  // namespace

std::string UucpLockPath(const std::string& devicePath) {
    std::string name = devicePath;
    if (name.rfind("/dev/", 0) == 0)
        name = name.substr(5);
    else if (const size_t slash = name.rfind('/'); slash != std::string::npos)
        name = name.substr(slash + 1);
    for (char& c : name)
        if (c == '/') c = '_';
    std::lock_guard<std::mutex> guard(folderMutex);
    return LockFolder() + "/LCK.." + name;
}

void SetUucpLockFolder(const std::string& folder) {
    std::lock_guard<std::mutex> guard(folderMutex);
    LockFolder() = folder;
}

UucpLockState ReadUucpLock(const std::string& lockPath) {
    UucpLockState state;
    struct stat info {};
    if (::lstat(lockPath.c_str(), &info) != 0) return state;
    const int32_t pid = ReadLockPid(lockPath);
    if (pid > 0) {
        state.held = LockWriterAlive(pid, info.st_mtime);
        state.pid = state.held ? pid : 0;
        state.stale = !state.held;
        return state;
    }
    // Names no one (empty, unreadable, garbage): taken for one being written until it is old.
    const time_t age = ::time(nullptr) - info.st_mtime;
    state.stale = age > kUucpLockCreationSeconds;
    state.held = !state.stale;
    return state;
}

int32_t UucpLockHolder(const std::string& lockPath) {
    return ReadUucpLock(lockPath).pid;
}

std::string UucpLockDetail(const std::string& lockPath, const UucpLockState& state) {
    return "lock file " + lockPath +
           (state.pid != 0 ? " of " + DescribeProcess(state.pid) : " being written by another program");
}

bool UucpLock::Acquire(const std::string& devicePath, int32_t& holderPid) {
    Release();
    holderPid = 0;
    const std::string path = UucpLockPath(devicePath);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const UucpLockState state = ReadUucpLock(path);
        // Our own lock file too: another port of this program has the device open.
        if (state.held) {
            holderPid = state.pid;
            return false;
        }
        // Removing a stale file is a courtesy; a folder we may not write in leaves it, and the
        // create below then tells whether we can take the lock at all.
        if (state.stale) ::unlink(path.c_str());
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;  // another program took it just now: look again
            return true;                    // no lock folder we can write in: nothing to take
        }
        char text[16];
        const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
        const bool written = ::write(fd, text, static_cast<size_t>(length)) == length;
        ::close(fd);
        if (!written) {
            ::unlink(path.c_str());
            return true;
        }
        path_ = path;
        return true;
    }
    const UucpLockState state = ReadUucpLock(path);
    holderPid = state.pid;
    return !state.held;
}

void UucpLock::Release() {
    if (path_.empty()) return;
    // Only a file that still names us is ours to remove.
    if (ReadLockPid(path_) == ::getpid()) ::unlink(path_.c_str());
    path_.clear();
}
