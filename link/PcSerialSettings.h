// PC Serial Settings: the line settings a PC port gets before its first Link Check (configure) and
// when a receiver sends no Break Reply (load). A port configuration record (link/PortConfiguration.h)
// of which bytes 1, 3, 4 and 5 are used. In memory only.
#pragma once

#include <array>
#include <cstdint>

#include "link/PortConfiguration.h"

extern std::array<uint8_t, kPortConfigurationSize> PcSerialSettings;

// 9600 baud, 8 data bits, odd parity, 1 stop bit.
void StorePcSerialSettingsDefaults();
