#include "serial/posix/LineOwnership.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

bool ReadFirstLine(const std::string& path, std::string& line) {
    std::ifstream file(path);
    return static_cast<bool>(std::getline(file, line));
}

// The number N of /dev/pts/N, −1 for any other path.
int PtyIndexOf(const std::string& path) {
    const std::string prefix = "/dev/pts/";
    if (path.rfind(prefix, 0) != 0) return -1;
    int index = 0;
    for (size_t i = prefix.size(); i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9' || index > 100000000) return -1;
        index = index * 10 + (path[i] - '0');
    }
    return path.size() > prefix.size() ? index : -1;
}

std::string NameOfGroup(gid_t gid) {
    std::vector<char> buffer(4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(gid);
}

std::string NameOfUser(uid_t uid) {
    std::vector<char> buffer(4096);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr)
        return found->pw_name;
    return std::to_string(uid);
}

bool InGroup(gid_t gid) {
    if (::getegid() == gid) return true;
    const int count = ::getgroups(0, nullptr);
    if (count <= 0) return false;
    std::vector<gid_t> groups(static_cast<size_t>(count));
    const int got = ::getgroups(count, groups.data());
    for (int i = 0; i < got; ++i)
        if (groups[static_cast<size_t>(i)] == gid) return true;
    return false;
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

bool FindLineHolder(const OtherOpeners& look, dev_t device, int ptyIndex, LineHolder& holder) {
    for (const OpenDevices& process : look.processes) {
        if (std::find(process.devices.begin(), process.devices.end(), device) == process.devices.end())
            continue;
        // The other end of a pty is no holder, even when it keeps the slave open too.
        if (HoldsPtyMaster(process, ptyIndex)) continue;
        holder.pid = process.pid;
        ReadFirstLine("/proc/" + std::to_string(process.pid) + "/comm", holder.command);
        return true;
    }
    return false;
}

std::string DescribeProcess(int32_t pid) {
    std::string command;
    std::string text = "PID " + std::to_string(pid);
    if (ReadFirstLine("/proc/" + std::to_string(pid) + "/comm", command) && !command.empty())
        text += " (" + command + ")";
    return text;
}

std::string PermissionDetail(const std::string& name) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) return name + ": " + std::strerror(EACCES);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    const std::string group = NameOfGroup(info.st_gid);
    const bool member = InGroup(info.st_gid);
    std::string text = name + " is owned by " + NameOfUser(info.st_uid) + ", group " + group + ", mode " +
                       mode + "; you are " + (member ? "in" : "not in") + " group " + group;
    const bool groupReadsAndWrites = (info.st_mode & 060) == 060;
    if (!member && groupReadsAndWrites && info.st_gid != 0)
        text += " (join it: sudo usermod -aG " + group + " $USER, then log in again)";
    else
        text += " (ask an administrator for access)";
    return text;
}

SerialFailure ExamineTty(const std::string& name, TtyLine& line) {
    if (name.empty()) return {SerialFailureCode::kNoSuchDevice, "no device name", 0};
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        const int error = errno;
        if (error == EACCES) return {SerialFailureCode::kPermissionDenied, PermissionDetail(name), 0};
        return {SerialFailureCode::kNoSuchDevice, name + ": " + std::strerror(error), 0};
    }
    // Known to be no serial line before it is opened: opening some devices has effects of its own.
    line.kind = S_ISCHR(info.st_mode) ? TtyKindOfDevice(info.st_rdev) : TtyKind::kNotTty;
    if (line.kind == TtyKind::kNotTty) return {SerialFailureCode::kNotSerial, name, 0};
    line.device = info.st_rdev;
    line.nodeFileSystem = info.st_dev;
    line.nodeInode = info.st_ino;
    std::error_code ec;
    const std::string canonical = std::filesystem::canonical(name, ec).string();
    line.path = ec ? name : canonical;
    return {};
}

SerialFailure HeldByOthers(const OtherOpeners& look, const TtyLine& line) {
    LineHolder holder;
    const int ptyIndex = line.kind == TtyKind::kPtySlave ? PtyIndexOf(line.path) : -1;
    if (FindLineHolder(look, line.device, ptyIndex, holder))
        return {SerialFailureCode::kBusy, "held by " + DescribeProcess(holder.pid), holder.pid};
    return FlockIn(look.flocks, line);
}

SerialFailure CheckTtyAvailable(const std::string& name, TtyLine& line, LookStart start) {
    if (SerialFailure failure = ExamineTty(name, line); failure.code != SerialFailureCode::kNone)
        return failure;
    const std::string lockPath = UucpLockPath(line.path);
    const UucpLockState lock = ReadUucpLock(lockPath);
    if (lock.held) return {SerialFailureCode::kBusy, UucpLockDetail(lockPath, lock), lock.pid};
    // An open may go by a look handed on by the program that started this one.
    const bool vouched = start == LookStart::kGatherSideBySide && HandedLookVouchesFor(line.device);
    if (!vouched) {
        if (SerialFailure held = HeldByOthers(FreshLook(start), line); held.code != SerialFailureCode::kNone)
            return held;
    }
    if (::access(name.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        return {SerialFailureCode::kPermissionDenied, PermissionDetail(name), 0};
    return {};
}

SerialFailure FlockIn(const std::vector<FlockHeld>& flocks, const TtyLine& line) {
    for (const FlockHeld& lock : flocks) {
        if (lock.fileSystem != line.nodeFileSystem || lock.inode != line.nodeInode) continue;
        return {SerialFailureCode::kBusy,
                "locked by " + (lock.pid != 0 ? DescribeProcess(lock.pid) : std::string("another program")),
                lock.pid};
    }
    return {};
}

SerialFailure FlockedBy(const TtyLine& line) {
    return FlockIn(ReadFlocks(), line);
}

bool EndExclusiveUseLeftBehind(int slaveFd, LineHolderSeen& seen) {
    int exclusive = 0;
    if (::ioctl(slaveFd, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) {
        seen = {};
        return false;
    }
    struct stat info {};
    if (::fstat(slaveFd, &info) != 0) return false;
    // The program found last still has the line open: nothing has changed, and nothing more is read.
    if (seen.pid != 0 && DescriptorIsOnDevice(seen.pid, seen.fd, info.st_rdev)) return false;
    seen = {};
    char path[64] = {};
    if (::ttyname_r(slaveFd, path, sizeof path) != 0) return false;
    // A lock file names its holder most cheaply (vandel-cli writes one for every line it opens);
    // /proc/locks lists every flock of the machine, a thousand while a fleet runs.
    if (const int32_t named = UucpLockHolder(UucpLockPath(path)); named != 0) {
        const int fd = DescriptorOnDevice(named, info.st_rdev);
        if (fd >= 0) {
            seen = {named, fd};
            return false;
        }
    }
    TtyLine line;
    line.device = info.st_rdev;
    line.nodeFileSystem = info.st_dev;
    line.nodeInode = info.st_ino;
    const SerialFailure locked = FlockedBy(line);
    if (locked.code != SerialFailureCode::kNone) {
        if (locked.holderPid != 0)
            seen = {locked.holderPid, DescriptorOnDevice(locked.holderPid, line.device)};
        return false;
    }
    // A program closing the line ends its exclusive use before it lets go of its flock: one that did
    // so just now is no program gone.
    if (::ioctl(slaveFd, TIOCGEXCL, &exclusive) != 0 || exclusive == 0) return false;
    LineHolder holder;
    if (FindLineHolder(FreshLook(LookStart::kAtOnce), info.st_rdev, PtyIndexOf(path), holder)) {
        seen = {holder.pid, DescriptorOnDevice(holder.pid, line.device)};
        return false;
    }
    return ::ioctl(slaveFd, TIOCNXCL) == 0;
}
