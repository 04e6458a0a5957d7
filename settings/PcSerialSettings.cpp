#include "settings/PcSerialSettings.h"

std::array<uint8_t, kPortConfigurationSize> PcSerialSettings{};

void StorePcSerialSettingsDefaults() {
    PcSerialSettings.fill(0);
    PcSerialSettings[1] = 7;  // 9600 baud
    PcSerialSettings[3] = 3;  // 8 data bits
    PcSerialSettings[4] = 1;  // odd parity
    PcSerialSettings[5] = 0;  // 1 stop bit
}
