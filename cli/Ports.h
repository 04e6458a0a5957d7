// The serial devices present and whether this user can use them now. Nothing is opened: opening a
// serial port toggles its modem lines, which resets some of what hangs on them. The verdict comes
// from the same checks the driver makes before it opens a port; what the device is comes from sysfs.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "serial/SerialFailure.h"

struct PortListing {
    std::string path;
    std::string target;  // for a link in serial/by-id: the device it points to
    SerialFailure verdict;
    std::string driver;     // the kernel driver (sysfs), empty when unknown
    std::string usbId;      // "0403:6001" for a USB adapter
    std::string usbSerial;  // the adapter's serial number
    std::string byIdLink;   // the /dev/serial/by-id link that names it, if any
};

// Everything about one device: the verdict and what sysfs tells.
PortListing DescribePort(const std::string& path, const std::string& devDir = "/dev");
// "usable", "busy (held by PID 4711 (minicom))", "not permitted (… join it …)", "not a serial device"
std::string PortVerdictText(const SerialFailure& verdict);
// One line: "PATH[ -> TARGET]: VERDICT[ [driver …, USB …, serial …, by-id …]]".
std::string PortListingLine(const PortListing& port);
nlohmann::ordered_json PortJson(const PortListing& port);

// The links in DIR/serial/by-id, then DIR/ttyS* (with a UART, when DIR is /dev), DIR/ttyUSB*,
// DIR/ttyACM*, each in number order.
std::vector<PortListing> ListSerialPorts(const std::string& devDir);
