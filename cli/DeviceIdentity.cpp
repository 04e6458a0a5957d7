#include "cli/DeviceIdentity.h"

#include <sys/stat.h>

#include <algorithm>

#include "serial/LocalDevice.h"
#include "serial/Socket.h"
#include "serial/network/NetworkDevice.h"
#ifndef _WIN32
#include "serial/posix/LineOwnership.h"
#endif

namespace {

// Every address the host resolves to, as numbers; the host itself when it does not resolve now.
std::vector<std::string> Addresses(const std::string& host) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    std::vector<std::string> addresses;
    if (StartSockets() && ::getaddrinfo(host.c_str(), nullptr, &hints, &found) == 0) {
        for (const addrinfo* at = found; at != nullptr; at = at->ai_next) {
            char text[NI_MAXHOST];
            if (::getnameinfo(at->ai_addr, static_cast<socklen_t>(at->ai_addrlen), text, sizeof text, nullptr,
                              0, NI_NUMERICHOST) == 0 &&
                std::find(addresses.begin(), addresses.end(), text) == addresses.end())
                addresses.push_back(text);
        }
        ::freeaddrinfo(found);
    }
    if (addresses.empty()) addresses.push_back(host);
    return addresses;
}

}  // namespace

bool DeviceIdentities::Identify(const std::string& name, std::vector<std::string>& keys, std::string& error) {
    keys.clear();
    if (name.rfind(kNetworkDevicePrefix, 0) == 0) {
        std::string host;
        uint16_t port = 0;
        if (!ParseNetworkDeviceName(name, host, port)) {
            error = name + ": a network serial port is written rfc2217://HOST:PORT, PORT from 1 to 65535";
            return false;
        }
        auto at = hosts_.find(host);
        if (at == hosts_.end()) at = hosts_.emplace(host, Addresses(host)).first;
        for (const std::string& address : at->second)
            keys.push_back("net " + address + " " + std::to_string(port));
        return true;
    }
    if (name.empty() || name.find("://") != std::string::npos) {
        error = name + ": unknown kind of device (a tty path or rfc2217://HOST:PORT)";
        return false;
    }
#ifdef _WIN32
    // COM3, com3 and \\.\COM3 are one port (COM1 to COM39); nothing else can be one.
    if (!CheckLocalDeviceName(name, error)) return false;
    for (int port = 1; port <= 39; ++port) {
        if (SameLocalDevice(name, DefaultLocalDeviceName(port))) {
            keys.push_back("com " + std::to_string(port));
            return true;
        }
    }
    keys.push_back("name " + name);
    return true;
#else
    struct stat info {};
    if (::stat(name.c_str(), &info) != 0) {
        // Not there now (an adapter unplugged, a by-id name of another adapter): the open tells.
        keys.push_back("name " + name);
        return true;
    }
    if (S_ISDIR(info.st_mode)) {
        error = name + ": a folder, not a serial device";
        return false;
    }
    if (!S_ISCHR(info.st_mode) || TtyKindOfDevice(info.st_rdev) == TtyKind::kNotTty) {
        error = name + ": not a serial device";
        return false;
    }
    keys.push_back("tty " + std::to_string(info.st_rdev));
    return true;
#endif
}

bool DeviceIdentities::Register(const std::string& name, size_t index, size_t& earlier, std::string& error) {
    earlier = kNone;
    std::vector<std::string> keys;
    if (!Identify(name, keys, error)) return false;
    for (const std::string& key : keys) {
        const auto [at, inserted] = seen_.emplace(key, index);
        if (!inserted && at->second != index && earlier == kNone) earlier = at->second;
    }
    return true;
}
