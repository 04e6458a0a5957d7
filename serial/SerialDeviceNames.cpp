// The device-name table: which device each driver port opens. Port n (1..39) is /dev/ttyS<n−1>,
// the first serial port being /dev/ttyS0; port 40 has the empty name so that opening it fails.
#include <array>
#include <mutex>
#include <string>

#include "serial/Serial.h"

namespace {

std::mutex namesMutex;

std::array<std::string, kSerialPortCount> DefaultNames() {
    std::array<std::string, kSerialPortCount> names;
    for (int n = 1; n < kSerialPortCount; ++n) names[n - 1] = "/dev/ttyS" + std::to_string(n - 1);
    names[kSerialPortCount - 1].clear();
    return names;
}

std::array<std::string, kSerialPortCount>& Names() {
    static std::array<std::string, kSerialPortCount> names = DefaultNames();
    return names;
}

bool ValidPort(uint8_t port) { return port >= 1 && port <= kSerialPortCount; }

}  // namespace

std::string SerialDeviceName(uint8_t port) {
    if (!ValidPort(port)) return {};
    std::lock_guard<std::mutex> guard(namesMutex);
    return Names()[port - 1];
}

bool SerialSetDeviceName(uint8_t port, const std::string& name) {
    if (!ValidPort(port)) return false;
    std::lock_guard<std::mutex> guard(namesMutex);
    Names()[port - 1] = name;
    return true;
}

void SerialResetDeviceNames() {
    std::lock_guard<std::mutex> guard(namesMutex);
    Names() = DefaultNames();
}
