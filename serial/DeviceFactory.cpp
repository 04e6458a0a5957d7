#include <mutex>
#include <utility>

#include "serial/LocalDevice.h"
#include "serial/SerialDevice.h"
#include "serial/SerialTesting.h"
#include "serial/network/NetworkDevice.h"

namespace {

std::mutex makerMutex;
SerialDeviceMaker testMaker;

}  // namespace

std::unique_ptr<SerialDevice> CreateSerialDevice(const std::string& name) {
    {
        std::lock_guard<std::mutex> guard(makerMutex);
        if (testMaker) return testMaker(name);
    }
    if (name.rfind(kNetworkDevicePrefix, 0) == 0) return CreateNetworkDevice();
    return CreateLocalDevice();
}

void SetSerialDeviceMaker(SerialDeviceMaker maker) {
    std::lock_guard<std::mutex> guard(makerMutex);
    testMaker = std::move(maker);
}
