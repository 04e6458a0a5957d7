// Serial devices on Linux: a tty (serial port, USB adapter, pseudo-terminal) through termios.
#pragma once

#include <memory>

#include "serial/SerialDevice.h"

std::unique_ptr<SerialDevice> CreatePosixDevice();
