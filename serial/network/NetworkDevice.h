// Network serial ports: device names rfc2217://HOST:PORT (telnet COM-PORT-OPTION).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/SerialDevice.h"

inline constexpr const char* kNetworkDevicePrefix = "rfc2217://";

// Time allowed for the TCP connection and, separately, for the server to accept the COM-PORT option.
constexpr int kNetworkConnectTimeoutMs = 2000;
// Time allowed for the server to acknowledge the line settings.
constexpr int kNetworkAckTimeoutMs = 1000;

std::unique_ptr<SerialDevice> CreateNetworkDevice();

// Splits rfc2217://HOST:PORT (HOST may be a name, an IPv4 address or a bracketed IPv6 address;
// PORT 1..65535). False for anything else.
bool ParseNetworkDeviceName(const std::string& name, std::string& host, uint16_t& port);
