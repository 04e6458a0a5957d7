// Baud rates ↔ termios speed codes, one table for the serial driver's ttys and the emulator's ptys.
#pragma once

#include <termios.h>

#include <cstdint>

// False for a rate termios has no code for.
bool TermiosSpeedOfRate(int32_t rate, speed_t& speed);
// −1 for a speed the table lacks (a faster rate set by another program).
int32_t RateOfTermiosSpeed(speed_t speed);
