#include "serial/posix/PosixDevice.h"

// Placeholder until the termios device lands.
std::unique_ptr<SerialDevice> CreatePosixDevice() { return nullptr; }
