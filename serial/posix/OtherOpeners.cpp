#include "serial/posix/OtherOpeners.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

namespace {

// /dev/ptmx (and /dev/pts/ptmx): every pty master is opened through it.
const dev_t kPtyMultiplexer = makedev(5, 2);

// The first of the ports opened side by side waits for the others to ask: until none has come for
// kGatherQuiet, and no longer than kGatherLongest.
constexpr auto kGatherQuiet = std::chrono::milliseconds(10);
constexpr auto kGatherLongest = std::chrono::milliseconds(100);

bool AllDigits(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

// The whole of a file of /proc, read to its end; empty when it cannot be read.
std::string ReadProcFile(const char* path) {
    std::string text;
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return text;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

// The next field of a line (fields are parted by blanks); empty at the line's end.
std::string_view NextField(std::string_view& line) {
    size_t begin = 0;
    while (begin < line.size() && (line[begin] == ' ' || line[begin] == '\t')) ++begin;
    size_t end = begin;
    while (end < line.size() && line[end] != ' ' && line[end] != '\t') ++end;
    const std::string_view field = line.substr(begin, end - begin);
    line.remove_prefix(end);
    return field;
}

// A number of the field in the base, read whole; false for anything else.
template <typename Number>
bool ParseNumber(std::string_view field, int base, Number& number) {
    if (field.empty() || field.size() > 30) return false;
    const std::string text(field);
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(text.c_str(), &end, base);
    if (errno != 0 || end != text.c_str() + text.size()) return false;
    number = static_cast<Number>(value);
    return true;
}

// "1: FLOCK  ADVISORY  WRITE 4711 00:19:5 0 EOF"; a waiter's line has "->" after the number.
bool ParseFlockLine(std::string_view line, FlockHeld& lock) {
    NextField(line);  // "1:"
    if (NextField(line) != "FLOCK") return false;
    NextField(line);  // ADVISORY
    NextField(line);  // WRITE
    long long pid = 0;
    if (!ParseNumber(NextField(line), 10, pid)) return false;
    std::string_view where = NextField(line);  // major:minor:inode, the first two in hexadecimal
    const size_t first = where.find(':');
    const size_t second = first == std::string_view::npos ? first : where.find(':', first + 1);
    unsigned fsMajor = 0;
    unsigned fsMinor = 0;
    unsigned long long inode = 0;
    if (second == std::string_view::npos || !ParseNumber(where.substr(0, first), 16, fsMajor) ||
        !ParseNumber(where.substr(first + 1, second - first - 1), 16, fsMinor) ||
        !ParseNumber(where.substr(second + 1), 10, inode))
        return false;
    lock.fileSystem = makedev(fsMajor, fsMinor);
    lock.inode = static_cast<ino_t>(inode);
    lock.pid = static_cast<int32_t>(pid > 0 && pid <= INT32_MAX ? pid : 0);
    return true;
}

// Every other process with a character device open. The stats go relative to each process's
// descriptor folder: the path is not looked up again from /proc for every descriptor.
std::vector<OpenDevices> WalkProcesses() {
    std::vector<OpenDevices> walked;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return walked;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(processes)) {
        if (!AllDigits(entry->d_name)) continue;
        OpenDevices process;
        process.pid = static_cast<int32_t>(std::strtol(entry->d_name, nullptr, 10));
        if (process.pid == self) continue;
        const std::string folder = std::string(entry->d_name) + "/fd";
        const int folderFd = ::openat(::dirfd(processes), folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (folderFd < 0) continue;  // gone, or not ours to look into
        DIR* fds = ::fdopendir(folderFd);
        if (fds == nullptr) {
            ::close(folderFd);
            continue;
        }
        while (const dirent* fd = ::readdir(fds)) {
            if (!AllDigits(fd->d_name)) continue;
            struct stat info {};
            if (::fstatat(folderFd, fd->d_name, &info, 0) != 0 || !S_ISCHR(info.st_mode)) continue;
            if (info.st_rdev == kPtyMultiplexer)
                process.masters.push_back(fd->d_name);
            else
                process.devices.push_back(info.st_rdev);
        }
        ::closedir(fds);
        if (!process.devices.empty()) walked.push_back(std::move(process));
    }
    ::closedir(processes);
    return walked;
}

std::mutex lookMutex;
std::condition_variable lookDone;
uint64_t looksBegun = 0;
uint64_t looksDone = 0;
bool lookGathering = false;  // a look is promised and waits for the questions of its ports
uint64_t questions = 0;      // asked so far
OtherOpeners lastLook;

}  // namespace

std::vector<FlockHeld> ReadFlocks() {
    // In one piece, then parsed: /proc/locks holds a line for every flock on the machine.
    const std::string text = ReadProcFile("/proc/locks");
    std::vector<FlockHeld> flocks;
    std::string_view rest(text);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        FlockHeld lock;
        if (ParseFlockLine(rest.substr(0, end), lock)) flocks.push_back(lock);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
    return flocks;
}

OtherOpeners FreshLook(LookStart start) {
    std::unique_lock<std::mutex> lock(lookMutex);
    // The first look to begin from now on answers this question.
    const uint64_t needed = looksBegun + 1;
    ++questions;
    while (looksDone < needed) {
        if (looksBegun > looksDone || lookGathering) {
            lookDone.wait(lock);
            continue;
        }
        if (start == LookStart::kGatherSideBySide) {
            lookGathering = true;
            const auto longest = std::chrono::steady_clock::now() + kGatherLongest;
            for (uint64_t asked = 0; asked != questions && std::chrono::steady_clock::now() < longest;) {
                asked = questions;
                lock.unlock();
                std::this_thread::sleep_for(kGatherQuiet);
                lock.lock();
            }
            lookGathering = false;
        }
        ++looksBegun;
        lock.unlock();
        OtherOpeners look;
        look.processes = WalkProcesses();
        look.flocks = ReadFlocks();
        lock.lock();
        lastLook = std::move(look);
        ++looksDone;
        lookDone.notify_all();
    }
    return lastLook;
}

namespace {

// The pty number whose master descriptor fd (a number, as /proc names it) of process pid is; −1 when
// it cannot be read.
int PtyIndexOfMaster(int32_t pid, const std::string& fd) {
    const std::string path = "/proc/" + std::to_string(pid) + "/fdinfo/" + fd;
    const std::string info = ReadProcFile(path.c_str());
    const std::string_view key = "tty-index:";
    for (size_t at = info.find(key); at != std::string::npos; at = info.find(key, at + 1)) {
        if (at != 0 && info[at - 1] != '\n') continue;
        std::string_view value(info);
        value.remove_prefix(at + key.size());
        value = value.substr(0, value.find('\n'));
        int index = -1;
        return ParseNumber(NextField(value), 10, index) && index >= 0 ? index : -1;
    }
    return -1;
}

}  // namespace

bool HoldsPtyMaster(const OpenDevices& process, int ptyIndex) {
    if (ptyIndex < 0) return false;
    process.masterIndexes.resize(process.masters.size(), kMasterNotRead);
    for (size_t i = 0; i < process.masters.size(); ++i) {
        int& index = process.masterIndexes[i];
        if (index == kMasterNotRead) index = PtyIndexOfMaster(process.pid, process.masters[i]);
        if (index == ptyIndex) return true;
    }
    return false;
}

bool DescriptorIsOnDevice(int32_t pid, int fd, dev_t device) {
    const std::string path = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    struct stat info {};
    return fd >= 0 && ::stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device;
}

int DescriptorOnDevice(int32_t pid, dev_t device) {
    const std::string folder = "/proc/" + std::to_string(pid) + "/fd";
    DIR* fds = ::opendir(folder.c_str());
    if (fds == nullptr) return -1;
    int found = -1;
    while (const dirent* fd = ::readdir(fds)) {
        if (!AllDigits(fd->d_name)) continue;
        struct stat info {};
        if (::fstatat(::dirfd(fds), fd->d_name, &info, 0) == 0 && S_ISCHR(info.st_mode) &&
            info.st_rdev == device) {
            found = static_cast<int>(std::strtol(fd->d_name, nullptr, 10));
            break;
        }
    }
    ::closedir(fds);
    return found;
}
