// Network serial ports: device names rfc2217://HOST:PORT (telnet COM-PORT-OPTION).
#pragma once

#include <memory>

#include "serial/SerialDevice.h"

inline constexpr const char* kNetworkDevicePrefix = "rfc2217://";

std::unique_ptr<SerialDevice> CreateNetworkDevice();
