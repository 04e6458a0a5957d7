// The texts and rows of the configuration summary: what the summary window shows for each Port
// Result, what the per-port window shows for each Group Status, and the per-port window's thirteen
// rows. Qt-free, so that the command-line tool prints the same texts.
#pragma once

#include <array>

#include "settings/SettingsImage.h"

// Indexed by the Port Result 0..5.
inline constexpr std::array<const char*, 6> kPortResultTexts = {{
    "",
    "Error 101:  Could not initialize comm port.",
    "Error 102:  Could not establish KIRP communications.",
    "Error 103:  Could not successfully verify new configuration.",
    "Error 104:  Configuration settings are incorrect.",
    "Configuration was successful.",
}};

// Indexed by the Group Status 0..4.
inline constexpr std::array<const char*, 5> kGroupStatusTexts = {{
    "",
    "Settings could not be retrieved.",
    "Settings could not be verified.",
    "Retrieved settings are not correct.",
    "Retrieved settings are correct.",
}};

// The text of a Port Result or Group Status; a code outside the table gives the empty text.
inline const char* PortResultText(int portResult) {
    return portResult >= 0 && portResult < static_cast<int>(kPortResultTexts.size())
               ? kPortResultTexts[static_cast<size_t>(portResult)]
               : "";
}
inline const char* GroupStatusText(int groupStatus) {
    return groupStatus >= 0 && groupStatus < static_cast<int>(kGroupStatusTexts.size())
               ? kGroupStatusTexts[static_cast<size_t>(groupStatus)]
               : "";
}

// One row of the per-port summary window, top to bottom.
struct CommSummaryRow {
    const char* shapeName;  // the circle
    const char* caption;    // the fixed label
    const char* editName;   // the read-only edit holding the group text
    int groupNo;            // the Settings Group whose status the row shows
};

inline constexpr std::array<CommSummaryRow, kGroupCount> kCommSummaryRows = {{
    {"Shape_IO", "I/O Options (Packet 0x35)", "Edit0", kGroupIOOptions},
    {"Shape_GPS", "GPS Configuration (Packet 0xBB)", "Edit1", kGroupGPSConfiguration},
    {"Shape_Datum", "Datum (Packet 0x8E-15)", "Edit2", kGroupDatum},
    {"Shape_PortA", "Port A Configuration (Packet 0xBC)", "Edit3", kGroupPortAConfiguration},
    {"Shape_PortB", "Port B Configuration (Packet 0xBC)", "Edit4", kGroupPortBConfiguration},
    {"Shape_8E_A5", "Packet 8E-A5 Masks (Packet 0x8E-A5)", "Edit5", kGroupPacket8EA5Masks},
    {"Shape_AutoOut", "Port B Automatic Output (Packet 0x8E-4D)", "Edit6", kGroupPortBAutomaticOutput},
    {"Shape_TimeSettings", "Timing Output Settings (Packet 0x8E-4A)", "Edit7", kGroupTimingOutputSettings},
    {"Shape_TimeOptions", "Timing Output Options (Packet 0x8E-4E)", "Edit8", kGroupTimingOutputOptions},
    {"Shape_PPS", "PPS Width (Packet 0x8E-4F)", "Edit9", kGroupPPSWidth},
    {"Shape_SelfSurvey", "Self Survey Configuration (Packet 0x8E-A9)", "Edit10",
     kGroupSelfSurveyConfiguration},
    {"Shape_NMEA", "NMEA Output (Packet 0x7A)", "Edit11", kGroupNMEAOutput},
    {"Shape_2DAlt", "2D Altitude (Packet 0x2A)", "Edit12", kGroup2DAltitude},
}};

// Every group appears in exactly one row.
consteval bool EveryGroupOnce() {
    for (int g = 1; g <= kGroupCount; ++g) {
        int seen = 0;
        for (const auto& row : kCommSummaryRows) seen += row.groupNo == g ? 1 : 0;
        if (seen != 1) return false;
    }
    return true;
}
static_assert(EveryGroupOnce(), "each Settings Group has one row in the per-port summary");
