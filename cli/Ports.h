// The serial devices present and whether this user can use them now.
#pragma once

#include <string>
#include <vector>

enum class PortAccess { kUsable, kBusy, kNotPermitted, kNotSerial, kMissing, kFailed };

struct PortCheck {
    PortAccess access = PortAccess::kFailed;
    std::string detail;  // kNotPermitted: the device's group; kFailed: the system's reason
};

// Tries the exclusive open the serial driver makes (open, then an exclusive lock) and lets go at once.
PortCheck CheckPortAccess(const std::string& path);
// "usable", "busy (held by another program)", "not permitted (join the dialout group: ...)", ...
std::string PortAccessText(const PortCheck& check);

struct PortListing {
    std::string path;
    std::string target;  // for a link in serial/by-id: the device it points to
    PortCheck check;
};

// The links in DIR/serial/by-id, then DIR/ttyS* (with a UART, when DIR is /dev), DIR/ttyUSB*,
// DIR/ttyACM*, each in number order.
std::vector<PortListing> ListSerialPorts(const std::string& devDir);
