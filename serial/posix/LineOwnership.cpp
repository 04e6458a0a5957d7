#include "serial/posix/LineOwnership.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

std::mutex folderMutex;
std::string& LockFolder() {
    static std::string folder = "/var/lock";
    return folder;
}

bool ProcessAlive(int32_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
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

bool ReadFirstLine(const std::string& path, std::string& line) {
    std::ifstream file(path);
    return static_cast<bool>(std::getline(file, line));
}

// True when the process's fd is the master of pty number ptyIndex.
bool IsPtyMasterOf(const std::string& fdInfoPath, int ptyIndex) {
    std::ifstream info(fdInfoPath);
    std::string line;
    while (std::getline(info, line)) {
        if (line.rfind("tty-index:", 0) != 0) continue;
        std::istringstream value(line.substr(10));
        int index = -1;
        return static_cast<bool>(value >> index) && index == ptyIndex;
    }
    return false;
}

// /dev/ptmx (and /dev/pts/ptmx): every pty master is opened through it.
const dev_t kPtyMultiplexer = makedev(5, 2);

bool AllDigits(const char* text) {
    if (*text == '\0') return false;
    for (; *text != '\0'; ++text)
        if (*text < '0' || *text > '9') return false;
    return true;
}

}  // namespace

TtyKind TtyKindOfDevice(dev_t device) {
    std::ifstream drivers("/proc/tty/drivers");
    if (!drivers) return TtyKind::kUnknown;
    const unsigned deviceMajor = major(device);
    const unsigned deviceMinor = minor(device);
    std::string line;
    bool any = false;
    while (std::getline(drivers, line)) {
        // name  /dev/prefix  major  minor[-minor]  type[:subtype]
        std::istringstream fields(line);
        std::string name, prefix, minors, type;
        unsigned driverMajor = 0;
        if (!(fields >> name >> prefix >> driverMajor >> minors >> type)) continue;
        any = true;
        unsigned low = 0;
        unsigned high = 0;
        const size_t dash = minors.find('-');
        try {
            low = static_cast<unsigned>(std::stoul(minors.substr(0, dash)));
            high =
                dash == std::string::npos ? low : static_cast<unsigned>(std::stoul(minors.substr(dash + 1)));
        } catch (...) {
            continue;
        }
        if (driverMajor != deviceMajor || deviceMinor < low || deviceMinor > high) continue;
        if (type == "pty:slave") return TtyKind::kPtySlave;
        // The master side of a pty, /dev/tty, the console and the virtual terminals are ttys, but no
        // serial line.
        if (type.rfind("pty", 0) == 0 || type.rfind("system", 0) == 0 || type == "console")
            return TtyKind::kNotTty;
        return TtyKind::kSerialLine;
    }
    return any ? TtyKind::kNotTty : TtyKind::kUnknown;
}

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

int32_t UucpLockHolder(const std::string& lockPath) {
    struct stat info {};
    if (::lstat(lockPath.c_str(), &info) != 0) return 0;
    const int32_t pid = ReadLockPid(lockPath);
    if (ProcessAlive(pid)) return pid;
    // Stale: its process is gone (or the file names none). Removing it is a courtesy; a folder
    // we may not write in leaves it, and it is ignored all the same.
    ::unlink(lockPath.c_str());
    return 0;
}

bool UucpLock::Acquire(const std::string& devicePath, int32_t& holderPid) {
    Release();
    holderPid = 0;
    const std::string path = UucpLockPath(devicePath);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const int32_t holder = UucpLockHolder(path);
        if (holder == ::getpid()) {
            // Our own lock file: another port of this program has the device open.
            holderPid = holder;
            return false;
        }
        if (holder != 0) {
            holderPid = holder;
            return false;
        }
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
    holderPid = UucpLockHolder(path);
    return holderPid == 0;
}

void UucpLock::Release() {
    if (path_.empty()) return;
    // Only a file that still names us is ours to remove.
    if (ReadLockPid(path_) == ::getpid()) ::unlink(path_.c_str());
    path_.clear();
}

bool FindLineHolder(dev_t device, int ptyIndex, LineHolder& holder) {
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr) return false;
    const pid_t self = ::getpid();
    bool found = false;
    while (!found) {
        const dirent* entry = ::readdir(processes);
        if (entry == nullptr) break;
        if (!AllDigits(entry->d_name)) continue;
        const int32_t pid = static_cast<int32_t>(std::strtol(entry->d_name, nullptr, 10));
        if (pid == self) continue;
        const std::string base = std::string("/proc/") + entry->d_name;
        DIR* fds = ::opendir((base + "/fd").c_str());
        if (fds == nullptr) continue;  // gone, or not ours to look into
        bool holdsLine = false;
        bool holdsMaster = false;
        while (const dirent* fd = ::readdir(fds)) {
            if (!AllDigits(fd->d_name)) continue;
            const std::string fdPath = base + "/fd/" + fd->d_name;
            struct stat info {};
            if (::stat(fdPath.c_str(), &info) != 0 || !S_ISCHR(info.st_mode)) continue;
            if (info.st_rdev == device)
                holdsLine = true;
            else if (ptyIndex >= 0 && info.st_rdev == kPtyMultiplexer &&
                     IsPtyMasterOf(base + "/fdinfo/" + fd->d_name, ptyIndex))
                holdsMaster = true;
        }
        ::closedir(fds);
        if (holdsLine && !holdsMaster) {
            holder.pid = pid;
            ReadFirstLine(base + "/comm", holder.command);
            found = true;
        }
    }
    ::closedir(processes);
    return found;
}

std::string DescribeProcess(int32_t pid) {
    std::string command;
    std::string text = "PID " + std::to_string(pid);
    if (ReadFirstLine("/proc/" + std::to_string(pid) + "/comm", command) && !command.empty())
        text += " (" + command + ")";
    return text;
}
