// The serial ports of a Linux machine: the ttys in /dev (ttyS with a UART behind it, ttyUSB,
// ttyACM) and the links of /dev/serial/by-id, each described from sysfs.
#include <algorithm>
#include <filesystem>
#include <fstream>

#include "cli/Ports.h"
#include "serial/Serial.h"

namespace fs = std::filesystem;

namespace {

// The kinds of device listed, in listing order.
constexpr const char* kPrefixes[] = {"ttyS", "ttyUSB", "ttyACM"};

// The index of the prefix and the device number of a name like ttyUSB3; false for other names.
bool DeviceNumber(const std::string& name, int& kind, long& number) {
    for (int k = 0; k < 3; ++k) {
        const std::string prefix = kPrefixes[k];
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 6 ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        kind = k;
        number = std::stol(digits);
        return true;
    }
    return false;
}

// A ttyS node exists for every possible port; only those with a UART behind them are listed. The
// kernel gives the UART type in sysfs, 0 for none.
bool HasUart(const std::string& name) {
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = -1;
    if (!(type >> value)) return true;  // cannot tell: list it
    return value != 0;
}

std::string ReadLine(const fs::path& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

}  // namespace

PortListing DescribePort(const std::string& path, const std::string& devDir) {
    PortListing port;
    port.path = path;
    port.verdict = SerialCheckDevice(path);
    std::error_code ec;
    const fs::path device = fs::canonical(path, ec);
    if (ec) return port;
    // sysfs: /sys/class/tty/NAME/device is the hardware behind the tty; a USB adapter's ids sit on
    // the USB device a few folders up.
    const fs::path sys = fs::path("/sys/class/tty") / device.filename() / "device";
    const fs::path driver = fs::read_symlink(sys / "driver", ec);
    if (!ec) port.driver = driver.filename().string();
    fs::path up = fs::canonical(sys, ec);
    for (int depth = 0; !ec && depth < 6 && !up.empty() && up != up.root_path();
         ++depth, up = up.parent_path()) {
        if (!fs::exists(up / "idVendor", ec)) continue;
        port.usbId = ReadLine(up / "idVendor") + ":" + ReadLine(up / "idProduct");
        port.usbSerial = ReadLine(up / "serial");
        break;
    }
    const fs::path byId = fs::path(devDir) / "serial" / "by-id";
    ec.clear();
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code linkError;
        if (fs::canonical(it->path(), linkError) == device && !linkError) port.byIdLink = it->path().string();
    }
    return port;
}

std::vector<PortListing> ListSerialPorts(const std::string& devDir) {
    std::vector<PortListing> ports;
    std::error_code ec;

    std::vector<PortListing> links;
    const fs::path byId = fs::path(devDir) / "serial" / "by-id";
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        PortListing listing = DescribePort(it->path().string(), devDir);
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError)
            listing.target = (target.is_absolute() ? target : (byId / target).lexically_normal()).string();
        links.push_back(std::move(listing));
    }
    std::sort(links.begin(), links.end(),
              [](const PortListing& a, const PortListing& b) { return a.path < b.path; });
    ports.insert(ports.end(), links.begin(), links.end());

    struct Device {
        int kind;
        long number;
        std::string name;
    };
    std::vector<Device> devices;
    ec.clear();
    for (fs::directory_iterator it(devDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int kind = 0;
        long number = 0;
        if (!DeviceNumber(name, kind, number)) continue;
        if (kind == 0 && fs::path(devDir) == fs::path("/dev") && !HasUart(name)) continue;
        devices.push_back({kind, number, name});
    }
    std::sort(devices.begin(), devices.end(), [](const Device& a, const Device& b) {
        return a.kind != b.kind ? a.kind < b.kind : a.number < b.number;
    });
    for (const Device& device : devices) {
        ports.push_back(DescribePort((fs::path(devDir) / device.name).string(), devDir));
    }
    return ports;
}
