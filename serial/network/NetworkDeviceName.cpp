// Device names of network serial ports: rfc2217://HOST:PORT.
#include <string>

#include "serial/network/NetworkDevice.h"

bool ParseNetworkDeviceName(const std::string& name, std::string& host, uint16_t& port) {
    const std::string prefix = kNetworkDevicePrefix;
    if (name.rfind(prefix, 0) != 0) return false;
    const std::string rest = name.substr(prefix.size());
    size_t colon = std::string::npos;
    std::string hostPart;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        hostPart = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return false;
        hostPart = rest.substr(0, colon);
        if (hostPart.find(':') != std::string::npos) return false;  // IPv6 needs brackets
    }
    const std::string portPart = rest.substr(colon + 1);
    if (hostPart.empty() || portPart.empty() || portPart.size() > 5) return false;
    for (const char c : hostPart) {
        if (c == '/' || c == ' ' || c == '\0') return false;
    }
    uint32_t value = 0;
    for (const char c : portPart) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    host = hostPart;
    port = static_cast<uint16_t>(value);
    return true;
}
