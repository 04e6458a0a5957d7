// The serial ports of the machine itself, as opposed to network serial ports: ttys on Linux
// (posix/), COM ports on Windows (win32/). CMake builds the one folder that fits the system; the
// names table, the name checks and the device factory reach it through these.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

// A look at the other processes of the machine, taken once by a program that starts others to open
// ttys (a fleet's parent, for its runs), and handed on to them so that each need not take one of its
// own: the device numbers of the ttys that no other process had open or locked, and when that was.
struct HandedLook {
    int64_t takenAt = 0;           // nanoseconds on the machine's monotonic clock, shared by its processes
    std::vector<uint64_t> unheld;  // sorted
};
// How long a handed look may stand in for a look of the opening program's own.
constexpr int kHandedLookLifeMs = 3000;
// Takes the look for the ttys of names (other names are left out); on Windows, where the system
// refuses a shared open itself, no look is taken and none is handed on.
HandedLook TakeLookFor(const std::vector<std::string>& names);
// The part of a look that concerns the ttys of names.
HandedLook LookPartFor(const HandedLook& look, const std::vector<std::string>& names);
// In the started program: the first open of each tty of the look, within kHandedLookLifeMs of its
// taking, trusts it instead of looking at other processes itself. Its lock file, its flock and its
// exclusive use are taken as always; a later open, or one after the look's life, looks for itself.
void AcceptHandedLook(const HandedLook& look);
