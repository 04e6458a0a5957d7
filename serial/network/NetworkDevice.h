// Network serial ports: device names rfc2217://HOST:PORT (telnet COM-PORT-OPTION).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "serial/SerialDevice.h"
#include "serial/Socket.h"

inline constexpr const char* kNetworkDevicePrefix = "rfc2217://";

// Time allowed for the TCP connection and, separately, for the server to accept the COM-PORT option.
constexpr int kNetworkConnectTimeoutMs = 2000;
// Time allowed for the server to acknowledge the line settings.
constexpr int kNetworkAckTimeoutMs = 1000;

std::unique_ptr<SerialDevice> CreateNetworkDevice();
// A network serial port on a stream socket that is already connected (one end of a socket pair, for
// the fuzz target and tests). The device owns the descriptor; Open, whatever the name, negotiates
// on it as on a new connection.
std::unique_ptr<SerialDevice> CreateNetworkDeviceOnSocket(SocketHandle connectedFd);

// Splits rfc2217://HOST:PORT (HOST may be a name, an IPv4 address or a bracketed IPv6 address;
// PORT 1..65535). False for anything else.
bool ParseNetworkDeviceName(const std::string& name, std::string& host, uint16_t& port);
