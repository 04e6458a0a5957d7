#include "link/PcSerialSettings.h"

std::array<uint8_t, kPortConfigurationSize> PcSerialSettings{};

void StorePcSerialSettingsDefaults() {
    PcSerialSettings.fill(0);
    PcSerialSettings[kPortRecordInputBaud] = static_cast<uint8_t>(BaudCodeOfRate(9600));
    PcSerialSettings[kPortRecordDataBits] = kDataBitsCode8;
    PcSerialSettings[kPortRecordParity] = kParityCodeOdd;
    PcSerialSettings[kPortRecordStopBits] = kStopBitsCode1;
}
