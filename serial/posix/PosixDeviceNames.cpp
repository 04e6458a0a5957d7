// The machine's serial ports on Linux: ttys, checked through stat and the line-ownership rules.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "serial/LocalDevice.h"
#include "serial/posix/LineOwnership.h"
#include "serial/posix/PosixDevice.h"

std::unique_ptr<SerialDevice> CreateLocalDevice() {
    return CreatePosixDevice();
}

std::string DefaultLocalDeviceName(int port) {
    return "/dev/ttyS" + std::to_string(port - 1);
}

bool CheckLocalDeviceName(const std::string& name, std::string& error) {
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        error = name + ": " + (errno == ENOENT ? std::string("no such device") : std::strerror(errno));
        return false;
    }
    if (!S_ISCHR(info.st_mode) || TtyKindOfDevice(info.st_rdev) == TtyKind::kNotTty) {
        error = name + ": not a serial device";
        return false;
    }
    return true;
}

SerialFailure CheckLocalDevice(const std::string& name) {
    TtyLine line;
    return CheckTtyAvailable(name, line, LookStart::kAtOnce);
}

bool SameLocalDevice(const std::string& first, const std::string& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(first.c_str(), &a) == 0 && ::stat(second.c_str(), &b) == 0 && S_ISCHR(a.st_mode) &&
           S_ISCHR(b.st_mode) && a.st_rdev == b.st_rdev;
}
