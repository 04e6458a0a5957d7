// The device-name table: which device each driver port opens. Port n (1..39) is the machine's
// serial port n (/dev/ttyS<n−1> on Linux, COMn on Windows); port 40 has the empty name so that
// opening it fails.
#include <array>
#include <mutex>
#include <string>

#include "serial/LocalDevice.h"
#include "serial/Serial.h"
#include "serial/network/NetworkDevice.h"

namespace {

std::mutex namesMutex;

std::array<std::string, kSerialPortCount> DefaultNames() {
    std::array<std::string, kSerialPortCount> names;
    for (int n = 1; n < kSerialPortCount; ++n) names[n - 1] = DefaultLocalDeviceName(n);
    names[kSerialPortCount - 1].clear();
    return names;
}

std::array<std::string, kSerialPortCount>& Names() {
    static std::array<std::string, kSerialPortCount> names = DefaultNames();
    return names;
}

bool ValidPort(uint8_t port) {
    return port >= 1 && port <= kSerialPortCount;
}

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

bool CheckSerialDeviceName(const std::string& name, std::string& error) {
    if (name.rfind(kNetworkDevicePrefix, 0) == 0) {
        std::string host;
        uint16_t port = 0;
        if (ParseNetworkDeviceName(name, host, port)) return true;
        error = name + ": a network serial port is written rfc2217://HOST:PORT, PORT from 1 to 65535";
        return false;
    }
    if (name.empty() || name.find("://") != std::string::npos) {
        error = name + ": unknown kind of device (a tty path or rfc2217://HOST:PORT)";
        return false;
    }
    return CheckLocalDeviceName(name, error);
}

SerialFailure SerialCheckDevice(const std::string& name) {
    if (name.rfind(kNetworkDevicePrefix, 0) == 0) {
        std::string host;
        uint16_t port = 0;
        if (ParseNetworkDeviceName(name, host, port)) return {};
        return {SerialFailureCode::kNoSuchDevice, name + ": not of the form rfc2217://HOST:PORT", 0};
    }
    return CheckLocalDevice(name);
}
