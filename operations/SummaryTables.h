// The texts and rows of the configuration summary: what the summary window shows for each Port
// Result, what the per-port window shows for each Group Status, and the per-port window's thirteen
// rows. Qt-free, so that the command-line tool prints the same texts.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "settings/SettingsImage.h"

// What each Port Result and Group Status is called: the text the summary windows show, and the
// name the command-line tool's JSON and audit records give it.
struct SummaryCode {
    const char* text;
    const char* name;
};

// Indexed by the Port Result 0..5.
inline constexpr std::array<SummaryCode, 6> kPortResults = {{
    {"", "not-in-run"},
    {"Error 101:  Could not initialize comm port.", "open-failed"},
    {"Error 102:  Could not establish KIRP communications.", "no-answer"},
    {"Error 103:  Could not successfully verify new configuration.", "missing"},
    {"Error 104:  Configuration settings are incorrect.", "differs"},
    {"Configuration was successful.", "success"},
}};

// Indexed by the Group Status 0..4.
inline constexpr std::array<SummaryCode, 5> kGroupStatuses = {{
    {"", "not-requested"},
    {"Settings could not be retrieved.", "missing"},
    {"Settings could not be verified.", "unverified"},
    {"Retrieved settings are not correct.", "differs"},
    {"Retrieved settings are correct.", "matches"},
}};

// The entry of a Port Result or Group Status; a code outside the table gives empty texts.
template <size_t N>
constexpr SummaryCode SummaryCodeOf(const std::array<SummaryCode, N>& table, int code) {
    return code >= 0 && code < static_cast<int>(N) ? table[static_cast<size_t>(code)] : SummaryCode{"", ""};
}
inline const char* PortResultText(int portResult) {
    return SummaryCodeOf(kPortResults, portResult).text;
}
inline const char* PortResultName(int portResult) {
    return SummaryCodeOf(kPortResults, portResult).name;
}
inline const char* GroupStatusText(int groupStatus) {
    return SummaryCodeOf(kGroupStatuses, groupStatus).text;
}
inline const char* GroupStatusName(int groupStatus) {
    return SummaryCodeOf(kGroupStatuses, groupStatus).name;
}
// The code of a name (-1 for none): what reads the JSON back.
template <size_t N>
int SummaryCodeNamed(const std::array<SummaryCode, N>& table, const std::string& name) {
    for (size_t i = 0; i < N; ++i)
        if (name == table[i].name) return static_cast<int>(i);
    return -1;
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
