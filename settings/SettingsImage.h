// The Settings Image: the one set of receiver settings the program works on, 169 bytes made of
// thirteen Settings Groups laid end to end, each with the byte shape of the report that carries it.
// Touched by the user-interface thread only; no lock.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

constexpr int kSettingsImageSize = 169;
constexpr int kGroupCount = 13;

// Group numbers 1..13, in image order. The same numbering orders the file, the requests and each
// port's Group Status.
enum SettingsGroupNo : int {
    kGroup2DAltitude = 1,
    kGroupIOOptions = 2,
    kGroupNMEAOutput = 3,
    kGroupGPSConfiguration = 4,
    kGroupPortAConfiguration = 5,
    kGroupPortBConfiguration = 6,
    kGroupDatum = 7,
    kGroupTimingOutputSettings = 8,
    kGroupPortBAutomaticOutput = 9,
    kGroupTimingOutputOptions = 10,
    kGroupPPSWidth = 11,
    kGroupPacket8EA5Masks = 12,
    kGroupSelfSurveyConfiguration = 13,
};

struct SettingsGroupInfo {
    int number;        // 1..13
    const char* name;  // as the per-port summary window names it
    int offset;        // image offset
    int length;        // bytes
};

// Indexed by group number − 1.
inline constexpr std::array<SettingsGroupInfo, kGroupCount> kSettingsGroups = {{
    {1, "2D Altitude", 0, 5},
    {2, "I/O Options", 5, 4},
    {3, "NMEA Output", 9, 6},
    {4, "GPS Configuration", 15, 43},
    {5, "Port A Configuration", 58, 10},
    {6, "Port B Configuration", 68, 10},
    {7, "Datum", 78, 43},
    {8, "Timing Output Settings", 121, 16},
    {9, "Port B Automatic Output", 137, 5},
    {10, "Timing Output Options", 142, 2},
    {11, "PPS Width", 144, 9},
    {12, "Packet 8E-A5 Masks", 153, 5},
    {13, "Self Survey Configuration", 158, 11},
}};

// The program-wide image, zero-filled at start-up.
extern std::array<uint8_t, kSettingsImageSize> SettingsImage;

const SettingsGroupInfo& SettingsGroup(int groupNo);  // groupNo 1..13
uint8_t* SettingsGroupBytes(int groupNo);             // the group's place in the image
