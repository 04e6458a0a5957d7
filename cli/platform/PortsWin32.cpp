// The serial ports of a Windows machine: the COM ports the system knows, from the registry's
// HARDWARE\DEVICEMAP\SERIALCOMM (device object → COM name). Nothing is opened; Windows tells whether
// a port is free only by opening it, so each is listed with the verdict the driver's checks give.
#include <windows.h>

#include <algorithm>

#include "cli/Ports.h"
#include "serial/Serial.h"

namespace {

int ComNumberOf(const std::string& name) {
    const size_t digits = name.find_first_of("0123456789");
    return digits == std::string::npos ? 0 : std::atoi(name.c_str() + digits);
}

}  // namespace

PortListing DescribePort(const std::string& path, const std::string& /*devDir*/) {
    PortListing port;
    port.path = path;
    port.verdict = SerialCheckDevice(path);
    return port;
}

std::vector<PortListing> ListSerialPorts(const std::string& /*devDir*/) {
    std::vector<PortListing> ports;
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
        ERROR_SUCCESS)
        return ports;  // no serial port at all
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameLength = sizeof name;
        BYTE data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG status = ::RegEnumValueA(key, index, name, &nameLength, nullptr, &type, data, &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;
        data[dataLength] = 0;
        PortListing port = DescribePort(reinterpret_cast<const char*>(data), "");
        port.driver = std::string(name, nameLength);
        ports.push_back(std::move(port));
    }
    ::RegCloseKey(key);
    std::sort(ports.begin(), ports.end(), [](const PortListing& a, const PortListing& b) {
        return ComNumberOf(a.path) < ComNumberOf(b.path);
    });
    return ports;
}
