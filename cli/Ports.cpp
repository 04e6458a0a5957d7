#include "cli/Ports.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

std::string GroupOf(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return "dialout";
    char buffer[1024];
    struct group entry {};
    struct group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
        return found->gr_name;
    return std::to_string(info.st_gid);
}

// The kinds of device listed, in listing order.
constexpr const char* kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};

// The index of the prefix and the device number of a name like ttyUSB3; false for other names.
bool DeviceNumber(const std::string& name, int& kind, long& number) {
    for (int k = 0; k < 3; ++k) {
        const std::string prefix = kPrefixes[k];
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 6 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        kind = k;
        number = std::stol(digits);
        return true;
    }
    return false;
}

// A ttyS node exists for every possible port; only those with a UART behind them are listed. The
// kernel gives the UART type in sysfs, 0 for none.
bool HasUart(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = -1;
    if (!(type >> value)) return true;  // cannot tell: list it
    return value != 0;
}

}  // namespace

PortCheck CheckPortAccess(const std::string& path) {
    PortCheck check;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        switch (error) {
            case EACCES:
            case EPERM:
                check.access = PortAccess::kNotPermitted;
                check.detail = GroupOf(path);
                break;
            case EBUSY:
                check.access = PortAccess::kBusy;
                break;
            case ENOENT:
                check.access = PortAccess::kMissing;
                break;
            default:
                check.access = PortAccess::kFailed;
                check.detail = std::strerror(error);
                break;
        }
        return check;
    }
    if (::isatty(fd) == 0) {
        check.access = PortAccess::kNotSerial;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        check.access = errno == EWOULDBLOCK ? PortAccess::kBusy : PortAccess::kFailed;
        if (check.access == PortAccess::kFailed) check.detail = std::strerror(errno);
    } else {
        check.access = PortAccess::kUsable;
    }
    ::close(fd);  // also lets go of the lock
    return check;
}

std::string PortAccessText(const PortCheck& check) {
    switch (check.access) {
        case PortAccess::kUsable:
            return "usable";
        case PortAccess::kBusy:
            return "busy (held by another program)";
        case PortAccess::kNotPermitted:
            return "not permitted (join the " + check.detail + " group: sudo usermod -aG " + check.detail +
                   " $USER, then log in again)";
        case PortAccess::kNotSerial:
            return "not a serial device";
        case PortAccess::kMissing:
            return "missing";
        case PortAccess::kFailed:
            return "cannot be opened (" + check.detail + ")";
    }
    return "";
}

std::vector<PortListing> ListSerialPorts(const std::string& devDir) {
    std::vector<PortListing> ports;
    std::error_code ec;

    std::vector<PortListing> links;
    const fs::path byId = fs::path(devDir) / "serial" / "by-id";
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        PortListing listing;
        listing.path = it->path().string();
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError)
            listing.target = (target.is_absolute() ? target : (byId / target).lexically_normal()).string();
        listing.check = CheckPortAccess(listing.path);
        links.push_back(std::move(listing));
    }
    std::sort(links.begin(), links.end(),
              [](const PortListing& a, const PortListing& b) { return a.path < b.path; });
    ports.insert(ports.end(), links.begin(), links.end());

    struct Device {
        int kind;
        long number;
        std::string name;
    };
    std::vector<Device> devices;
    ec.clear();
    for (fs::directory_iterator it(devDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int kind = 0;
        long number = 0;
        if (!DeviceNumber(name, kind, number)) continue;
        if (kind == 0 && fs::path(devDir) == fs::path("/dev") && !HasUart(name)) continue;
        devices.push_back({kind, number, name});
    }
    std::sort(devices.begin(), devices.end(), [](const Device& a, const Device& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
    });
    for (const Device& device : devices) {
        PortListing listing;
        listing.path = (fs::path(devDir) / device.name).string();
        listing.check = CheckPortAccess(listing.path);
        ports.push_back(std::move(listing));
    }
    return ports;
}
