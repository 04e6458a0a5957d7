#include "serial/SerialDevice.h"
#include "serial/network/NetworkDevice.h"
#include "serial/posix/PosixDevice.h"

std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& name) {
    if (name.rfind(kNetworkDevicePrefix, 0) == 0) return CreateNetworkDevice();
    return CreatePosixDevice();
}
