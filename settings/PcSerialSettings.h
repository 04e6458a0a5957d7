// PC Serial Settings: the line settings a PC port gets before its first Link Check (configure) and
// when a receiver sends no Break Reply (load). Ten bytes in the port configuration layout; bytes
// 1, 3, 4 and 5 are used. In memory only.
#pragma once

#include <array>
#include <cstdint>

#include "settings/SettingsImage.h"

extern std::array<uint8_t, kPortConfigurationSize> PcSerialSettings;

// Baud code 7 (9600), data bits code 3 (8), parity code 1 (odd), stop bits code 0 (1).
void StorePcSerialSettingsDefaults();
