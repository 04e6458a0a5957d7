// Serial devices on Linux: a tty (serial port, USB adapter, pseudo-terminal) through termios.
#pragma once

#include <termios.h>

#include <memory>

#include "serial/SerialDevice.h"

std::unique_ptr<SerialDevice> CreatePosixDevice();

// Whether the settings read back from a tty carry what was asked: speed, parity, data bits and stop
// bits. tcsetattr succeeds when any one change took effect, so only a read-back tells. A
// pseudo-terminal carries no parity and no character size at all (the kernel forces 8 bits, no
// parity): there only the speed and the stop bits are compared.
bool LineSettingsTaken(const termios& asked, const termios& got, bool ptySlave);
