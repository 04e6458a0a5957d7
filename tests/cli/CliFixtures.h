// Settings files with known contents for the command-line tool's tests.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

// The emulated receiver's factory settings in settings-file form, laid out by hand from the group
// tables: 2D Altitude "Set Altitude" 35 m; I/O Options 12 02 01 01; NMEA every second, GGA and
// ZDA; GPS Configuration "Over-determined clock", "DGPS auto", "Stationary", "Over-determined fix",
// elevation mask 0.17453292 rad (10 degrees), masks 4, 12, 8, DGPS age 30, carried bytes 0B..1F;
// Port A 4800 8 none 1 RTCM/NMEA; Port B 9600 8 none 1 KIRP/KIRP; datum WGS-84 with its ellipsoid;
// timing outputs enabled, UTC, positive, offset 0, bias 300 m; automatic output packets 40 and 4F;
// PPS when tracking 1 satellite; PPS width 1e-5 s; 8E-A5 masks 08 21 (carried 03 05); self survey
// on, position not saved, limit 2000, carried 0A 1B 2C 3D.
inline std::vector<uint8_t> FactorySettingsFile() {
    return {
        0x00, 0x42, 0x0C, 0x00, 0x00, 0x12, 0x02, 0x01, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x21, 0x00, 0x07,
        0x03, 0x04, 0x01, 0x3E, 0x32, 0xB8, 0xC2, 0x40, 0x80, 0x00, 0x00, 0x41, 0x40, 0x00, 0x00, 0x41, 0x00,
        0x00, 0x00, 0x1E, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,
        0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F, 0x00, 0x06, 0x06, 0x03, 0x00, 0x00, 0x00, 0x08, 0x04, 0x00,
        0x01, 0x07, 0x07, 0x03, 0x00, 0x00, 0x00, 0x02, 0x02, 0x00, 0x15, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x41, 0x58, 0x54, 0xA6, 0x40, 0x00, 0x00, 0x00, 0x3F, 0x7B, 0x6B, 0x90, 0xF1, 0xFE,
        0x8F, 0x02, 0x4A, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x43, 0x96, 0x00,
        0x00, 0x4D, 0x00, 0x00, 0x00, 0x05, 0x4E, 0x03, 0x4F, 0x3E, 0xE4, 0xF8, 0xB5, 0x88, 0xE3, 0x68, 0xF1,
        0xA5, 0x08, 0x21, 0x03, 0x05, 0xA9, 0x01, 0x00, 0x00, 0x00, 0x07, 0xD0, 0x0A, 0x1B, 0x2C, 0x3D,
    };
}

// Image offsets used by the tests (group offset + field offset).
constexpr int kReceiverModeAt = 15 + 1;
constexpr int kDynamicsCodeAt = 15 + 3;
constexpr int kElevationMaskAt = 15 + 5;
constexpr int kGpsCarriedAt = 15 + 22;
constexpr int kPortBBaudAt = 68 + 1;
constexpr int kPortBOutputBaudAt = 68 + 2;
constexpr int kDatumIndexAt = 78 + 1;
constexpr int kPpsWidthLastByteAt = 144 + 8;

// The factory file with: receiver mode 4 "Full Position (3D)" (dynamics stays "Stationary" and
// the survey on: the position-mode question), elevation mask 15 degrees (0x3E860A8A, what capture
// stores for "15.0"), a carried GPS byte 7F, Port B at 19200 both ways, and a PPS width one unit
// in the last place larger (the same text in the window's "%.3e").
inline std::vector<uint8_t> ChangedSettingsFile() {
    std::vector<uint8_t> file = FactorySettingsFile();
    file[kReceiverModeAt] = 4;
    file[kElevationMaskAt + 0] = 0x3E;
    file[kElevationMaskAt + 1] = 0x86;
    file[kElevationMaskAt + 2] = 0x0A;
    file[kElevationMaskAt + 3] = 0x8A;
    file[kGpsCarriedAt + 8] = 0x7F;
    file[kPortBBaudAt] = 8;
    file[kPortBOutputBaudAt] = 8;
    file[kPpsWidthLastByteAt] = 0xF2;
    return file;
}

// The lines of a text file (an audit record, a manifest), without their newlines.
inline std::vector<std::string> Lines(const std::string& path) {
    std::ifstream file(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
}
