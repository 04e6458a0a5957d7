// The serial ports of the machine itself, as opposed to network serial ports: ttys on Linux
// (posix/), COM ports on Windows (win32/). CMake builds the one folder that fits the system; the
// names table, the name checks and the device factory reach it through these.
#pragma once

#include <memory>
#include <string>

#include "serial/SerialDevice.h"

std::unique_ptr<SerialDevice> CreateLocalDevice();
// The device of port n (1..39) when none was set: /dev/ttyS<n−1>, or COMn on Windows.
std::string DefaultLocalDeviceName(int port);
// Whether the name can be a port of this machine, without opening it; the reason when not.
bool CheckLocalDeviceName(const std::string& name, std::string& error);
// Whether the device could be opened now, without opening it (kNone when it could, or when the
// system cannot tell without opening).
SerialFailure CheckLocalDevice(const std::string& name);
// Whether two names name one device of this machine.
bool SameLocalDevice(const std::string& first, const std::string& second);
