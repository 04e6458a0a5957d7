// The settings controls of the main window and where each one lives in the Settings Image. Display,
// capture and the window's check of its own controls all walk these tables; nothing else lists the
// controls.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "settings/Datum.h"
#include "settings/SettingsImage.h"

enum class FieldType : uint8_t { kU8, kI16, kU32, kSingle, kDouble };

constexpr int FieldWidth(FieldType type) {
    switch (type) {
        case FieldType::kU8:
            return 1;
        case FieldType::kI16:
            return 2;
        case FieldType::kU32:
            return 4;
        case FieldType::kSingle:
            return 4;
        case FieldType::kDouble:
            return 8;
    }
    return 0;
}

// ---- Boxes -------------------------------------------------------------------------------------

// The group boxes (and the datum panel) of the two tab pages. parent is the enclosing box, nullptr
// for a box that sits directly on its tab page.
struct SettingsBox {
    const char* name;
    const char* caption;  // empty for the panel
    int page;             // 1 or 2
    const char* parent;
    bool panel;
};

// clang-format off
inline constexpr std::array<SettingsBox, 17> kSettingsBoxes = {{
    {"GroupBox_IOOptions", "I/O Options", 1, nullptr, false},
    {"GroupBox_Position", "Position", 1, "GroupBox_IOOptions", false},
    {"GroupBox_Timing", "Timing", 1, "GroupBox_IOOptions", false},
    {"GroupBox_Velocity", "Velocity", 1, "GroupBox_IOOptions", false},
    {"GroupBox_Auxillary", "Auxillary", 1, "GroupBox_IOOptions", false},
    {"GroupBox_GPSConfiguration", "GPS Configuration", 1, nullptr, false},
    {"GroupBox_Datum", "Datum", 1, nullptr, false},
    {"Panel_DatumValues", "", 1, "GroupBox_Datum", true},
    {"GroupBox_Port1", "Port A", 1, nullptr, false},
    {"GroupBox_Port2", "Port B", 1, nullptr, false},
    {"GroupBox_8EA5_Masks", "Packet 8E-A5 Masks", 2, nullptr, false},
    {"GroupBox1", "Port B Automatic Output", 2, nullptr, false},
    {"GroupBox2", "Timing Outputs", 2, nullptr, false},
    {"GroupBox4", "Output Options", 2, "GroupBox2", false},
    {"GroupBox3", "Self Survey", 2, nullptr, false},
    {"GroupBox5", "2D Altitude", 2, nullptr, false},
    {"GroupBox_NMEA", "NMEA Output", 2, nullptr, false},
}};
// clang-format on

// ---- Check boxes -------------------------------------------------------------------------------

// A check box bound to one bit of a mask field (u8 or big-endian u32) of a group. Capture rebuilds
// every mask field that has a check box from the check boxes alone, so bits without one become 0.
// kFlagByte binds the whole byte instead: shown checked when the byte is not 0, captured as 0 or 1.
constexpr int kFlagByte = -1;

struct CheckBoxBinding {
    const char* control;
    const char* caption;
    const char* box;
    int group;
    int offset;  // of the mask field within the group
    FieldType field;
    int bit;  // bit number within the field, or kFlagByte
};

// clang-format off
inline constexpr std::array<CheckBoxBinding, 46> kCheckBoxBindings = {{
    // I/O Options: one mask byte each for position, velocity, timing and auxiliary.
    {"CheckBox_PosXYZ", "Output XYZ ECEF (Packet 42)", "GroupBox_Position", kGroupIOOptions, 0, FieldType::kU8, 0},
    {"CheckBox_PosLLA", "Ouput LLA (Packet 4A)", "GroupBox_Position", kGroupIOOptions, 0, FieldType::kU8, 1},
    {"CheckBox_OutputMSL", "LLA Output MSL geoid", "GroupBox_Position", kGroupIOOptions, 0, FieldType::kU8, 2},
    {"CheckBox_InputMSL", "LLA Input MSL geoid", "GroupBox_Position", kGroupIOOptions, 0, FieldType::kU8, 3},
    {"CheckBox_PosDouble", "Double-Precision", "GroupBox_Position", kGroupIOOptions, 0, FieldType::kU8, 4},
    {"CheckBox_Pos8F20", "Output 8F-20", "GroupBox_Position", kGroupIOOptions, 0, FieldType::kU8, 5},
    {"CheckBox_VelXYZ", "Output XYZ ECEF (Packet 43)", "GroupBox_Velocity", kGroupIOOptions, 1, FieldType::kU8, 0},
    {"CheckBox_VelENU", "Output ENU (Packet 56)", "GroupBox_Velocity", kGroupIOOptions, 1, FieldType::kU8, 1},
    {"CheckBox_TimeType", "Position fix time tags in UTC", "GroupBox_Timing", kGroupIOOptions, 2, FieldType::kU8, 0},
    {"CheckBox_TimeCompute", "Compute fix on integer second", "GroupBox_Timing", kGroupIOOptions, 2, FieldType::kU8, 1},
    {"CheckBox_TimeOutput", "Output fix on request only", "GroupBox_Timing", kGroupIOOptions, 2, FieldType::kU8, 2},
    {"CheckBox_TimeSynch", "Synchronize measurements", "GroupBox_Timing", kGroupIOOptions, 2, FieldType::kU8, 3},
    {"CheckBox_TimeMinimize", "Minimize projections", "GroupBox_Timing", kGroupIOOptions, 2, FieldType::kU8, 4},
    {"CheckBox_AuxRaw", "Raw measurements (Packet 5A)", "GroupBox_Auxillary", kGroupIOOptions, 3, FieldType::kU8, 0},
    {"CheckBox_AuxDoppler", "Doppler smoothed codephase", "GroupBox_Auxillary", kGroupIOOptions, 3, FieldType::kU8, 1},
    // NMEA Output: the 32-bit sentence mask at offset 2.
    {"CheckBox_GGA", "GGA", "GroupBox_NMEA", kGroupNMEAOutput, 2, FieldType::kU32, 0},
    {"CheckBox_GLL", "GLL", "GroupBox_NMEA", kGroupNMEAOutput, 2, FieldType::kU32, 1},
    {"CheckBox_VTG", "VTG", "GroupBox_NMEA", kGroupNMEAOutput, 2, FieldType::kU32, 2},
    {"CheckBox_GSV", "GSV", "GroupBox_NMEA", kGroupNMEAOutput, 2, FieldType::kU32, 3},
    {"CheckBox_GSA", "GSA", "GroupBox_NMEA", kGroupNMEAOutput, 2, FieldType::kU32, 4},
    {"CheckBox_ZDA", "ZDA", "GroupBox_NMEA", kGroupNMEAOutput, 2, FieldType::kU32, 5},
    {"CheckBox_RMC", "RMC", "GroupBox_NMEA", kGroupNMEAOutput, 2, FieldType::kU32, 8},
    // Port B Automatic Output: the 32-bit mask at offset 1.
    {"CheckBox_Bit0", "Packet 40", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 0},
    {"CheckBox_Bit1", "Packets 58, 5B", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 1},
    {"CheckBox_Bit2", "Packet 4F", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 2},
    {"CheckBox_Bit3", "Packet 58", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 3},
    {"CheckBox_Bit4", "Packet 48", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 4},
    {"CheckBox_Bit5", "Packet 49", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 5},
    {"CheckBox_Bit8", "Packet 41", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 8},
    {"CheckBox_Bit11", "Packets 6D, 46, 4B, 82", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 11},
    {"CheckBox_Bit30", "Packets 42, 43, 4A, 54, 56, 83, 84, 8F-20", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 30},
    {"CheckBox_Bit31", "Packet 5A", "GroupBox1", kGroupPortBAutomaticOutput, 1, FieldType::kU32, 31},
    // Packet 8E-A5 Masks: bytes 1 and 2.
    {"CheckBox_B1Bit0", "Synchronous 8F-0B on Port A", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 0},
    {"CheckBox_B1Bit1", "Event 8F-0B on Port A", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 1},
    {"CheckBox_B1Bit2", "Event 8F-0B on Port B", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 2},
    {"CheckBox_B1Bit3", "Synchronous 8F-0B on Port B", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 3},
    {"CheckBox_B1Bit4", "Synchronous 8F-AD on Port A", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 4},
    {"CheckBox_B1Bit5", "Event 8F-AD on Port A", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 5},
    {"CheckBox_B1Bit6", "Event 8F-AD on Port B", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 6},
    {"CheckBox_B1Bit7", "Synchronous 8F-AD on Port B", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 1, FieldType::kU8, 7},
    {"CheckBox_B2Bit0", "8F-20 on Port B", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 2, FieldType::kU8, 0},
    {"CheckBox_B2Bit5", "Auto KIRP Outputs", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 2, FieldType::kU8, 5},
    {"CheckBox_B2Bit6", "8F-AB on Port A, Port B", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 2, FieldType::kU8, 6},
    {"CheckBox_B2Bit7", "8F-AC on Port A, Port B", "GroupBox_8EA5_Masks", kGroupPacket8EA5Masks, 2, FieldType::kU8, 7},
    // Self Survey Configuration: two whole-byte flags.
    {"CheckBox_EnableSurvey", "Enable Self Survey", "GroupBox3", kGroupSelfSurveyConfiguration, 1, FieldType::kU8, kFlagByte},
    {"CheckBox_Flag", "Auto Save Position", "GroupBox3", kGroupSelfSurveyConfiguration, 2, FieldType::kU8, kFlagByte},
}};
// clang-format on

// The byte (within the group) and the bit mask within that byte that a check box stands for; the
// fields are big-endian, so bit b of a 32-bit field lies in its byte 3 − b / 8.
struct MaskBitPosition {
    int byte;
    uint8_t mask;
};

constexpr MaskBitPosition BitPosition(const CheckBoxBinding& binding) {
    if (binding.bit == kFlagByte) return {binding.offset, 0xFF};
    return {binding.offset + FieldWidth(binding.field) - 1 - binding.bit / 8,
            static_cast<uint8_t>(1u << (binding.bit % 8))};
}

// ---- Radio buttons -----------------------------------------------------------------------------

// A mode byte shown by radio buttons: each button stands for one code.
struct RadioButtonBinding {
    const char* control;
    const char* caption;
    const char* box;
    int group;
    int offset;
    uint8_t code;
};

// clang-format off
inline constexpr std::array<RadioButtonBinding, 5> kRadioButtonBindings = {{
    {"RadioButton_Set", "Set Altitude", "GroupBox5", kGroup2DAltitude, 0, 0},
    {"RadioButton_Cancel", "Cancel Altitude Set Mode", "GroupBox5", kGroup2DAltitude, 0, 1},
    {"RadioButton_Always", "Always", "GroupBox4", kGroupTimingOutputOptions, 1, 2},
    {"RadioButton_1Sat", "When tracking at least 1 satellite", "GroupBox4", kGroupTimingOutputOptions, 1, 3},
    {"RadioButton_3Sat", "When tracking at least 3 satellites", "GroupBox4", kGroupTimingOutputOptions, 1, 4},
}};
// clang-format on

// What a code without a button, and no button chosen, mean for each mode byte.
constexpr int kKeepByte = -1;

struct RadioModeRule {
    int group;
    int offset;
    bool otherCodeClearsButtons;  // display: a code without a button clears them (else keeps them)
    int noneChosenCode;           // capture: the code stored when no button is chosen, or kKeepByte
};

inline constexpr std::array<RadioModeRule, 2> kRadioModeRules = {{
    {kGroup2DAltitude, 0, true, 2},
    {kGroupTimingOutputOptions, 1, false, kKeepByte},
}};

// ---- Combo boxes -------------------------------------------------------------------------------

// How a combo box's item index and the stored code map onto each other. CodeForItem(rule, -1) is
// the code stored for a combo box with no item selected; its low 8 bits are stored.
enum class CodeRule : uint8_t {
    kItem,           // code = item
    kItemPlusOne,    // code = item + 1
    kItemPlusThree,  // code = item + 3 (data bits: the one item "8" is code 3)
    kTwiceItem,      // code = 2 × item; shown as code ÷ 2
    kInProtocolA,    // as kTwiceItem, but item 2 ("RTCM") is code 8
    kReceiverMode,   // items 0, 1 are codes 0, 1; items 2..6 are codes 3..7; code 2 shows item 1
    kDGPSMode,       // item 2 is code 3; code 2 shows item 2 too
    kDatumIndex,     // signed 16-bit index = item − 1 ("Custom" is −1)
};

constexpr int ItemForCode(CodeRule rule, int code) {
    switch (rule) {
        case CodeRule::kItem:
            return code;
        case CodeRule::kItemPlusOne:
            return code - 1;
        case CodeRule::kItemPlusThree:
            return code - 3;
        case CodeRule::kTwiceItem:
            return code / 2;
        case CodeRule::kInProtocolA:
            return code == 8 ? 2 : code / 2;
        case CodeRule::kReceiverMode:
            return code < 2 ? code : code - 1;
        case CodeRule::kDGPSMode:
            return code == 3 ? 2 : code;
        case CodeRule::kDatumIndex:
            return code + 1;
    }
    return -1;
}

constexpr int CodeForItem(CodeRule rule, int item) {
    switch (rule) {
        case CodeRule::kItem:
            return item;
        case CodeRule::kItemPlusOne:
            return item + 1;
        case CodeRule::kItemPlusThree:
            return item + 3;
        case CodeRule::kTwiceItem:
            return 2 * item;
        case CodeRule::kInProtocolA:
            return item == 2 ? 8 : 2 * item;
        case CodeRule::kReceiverMode:
            return item < 2 ? item : item + 1;
        case CodeRule::kDGPSMode:
            return item == 2 ? 3 : item;
        case CodeRule::kDatumIndex:
            return item - 1;
    }
    return 0;
}

inline constexpr std::array<const char*, 7> kReceiverModeItems = {
    "Automatic (2D/3D)", "Time only (1 SV)", "Horizontal (2D)",      "Full Position (3D)",
    "DGPS reference",    "2D clock hold",    "Over-determined clock"};
inline constexpr std::array<const char*, 3> kDGPSModeItems = {"DGPS off", "DGPS only", "DGPS auto"};
inline constexpr std::array<const char*, 4> kDynamicsCodeItems = {"Land", "Sea", "Air", "Stationary"};
inline constexpr std::array<const char*, 2> kTrackModeItems = {"Over-determined fix", "Weighted O/D fix"};
inline constexpr std::array<const char*, 3> kInProtocolAItems = {"none", "KIRP", "RTCM"};
inline constexpr std::array<const char*, 2> kInProtocolBItems = {"none", "KIRP"};
inline constexpr std::array<const char*, 3> kOutProtocolItems = {"none", "KIRP", "NMEA"};
inline constexpr std::array<const char*, 10> kBaudRateItems = {"None", "110",  "300",  "600",   "1200",
                                                               "2400", "4800", "9600", "19200", "38400"};
inline constexpr std::array<const char*, 1> kDataBitsItems = {"8"};
inline constexpr std::array<const char*, 3> kParityItems = {"None", "Odd", "Even"};
inline constexpr std::array<const char*, 2> kStopBitsItems = {"1", "2"};
inline constexpr std::array<const char*, 2> kSwitchItems = {"Disabled", "Enabled"};
inline constexpr std::array<const char*, 2> kTimeBaseItems = {"GPS", "UTC"};
inline constexpr std::array<const char*, 2> kPolarityItems = {"Positive", "Negative"};

constexpr int kNoCopy = -1;

struct ComboBoxBinding {
    const char* control;
    const char* label;  // the caption of the label in front of it; empty for none
    const char* box;
    std::span<const char* const> items;
    int group;
    int offset;
    FieldType field;  // kU8, or kI16 for the datum index
    CodeRule rule;
    int copyOffset;  // capture also stores the code here (the output baud code), or kNoCopy
};

// clang-format off
inline constexpr std::array<ComboBoxBinding, 20> kComboBoxBindings = {{
    {"ComboBox_RMode", "Receiver Mode", "GroupBox_GPSConfiguration", kReceiverModeItems, kGroupGPSConfiguration, 1, FieldType::kU8, CodeRule::kReceiverMode, kNoCopy},
    {"ComboBox_DifMode", "DGPS Mode", "GroupBox_GPSConfiguration", kDGPSModeItems, kGroupGPSConfiguration, 2, FieldType::kU8, CodeRule::kDGPSMode, kNoCopy},
    {"ComboBox_DCode", "Dynamics Code", "GroupBox_GPSConfiguration", kDynamicsCodeItems, kGroupGPSConfiguration, 3, FieldType::kU8, CodeRule::kItemPlusOne, kNoCopy},
    {"ComboBox_TMode", "Track Mode", "GroupBox_GPSConfiguration", kTrackModeItems, kGroupGPSConfiguration, 4, FieldType::kU8, CodeRule::kItemPlusOne, kNoCopy},
    {"ComboBox_BaudRateA", "Baud Rate", "GroupBox_Port1", kBaudRateItems, kGroupPortAConfiguration, 1, FieldType::kU8, CodeRule::kItem, 2},
    {"ComboBox_DataBitsA", "Data Bits", "GroupBox_Port1", kDataBitsItems, kGroupPortAConfiguration, 3, FieldType::kU8, CodeRule::kItemPlusThree, kNoCopy},
    {"ComboBox_ParityA", "Parity", "GroupBox_Port1", kParityItems, kGroupPortAConfiguration, 4, FieldType::kU8, CodeRule::kItem, kNoCopy},
    {"ComboBox_StopBitsA", "Stop Bits", "GroupBox_Port1", kStopBitsItems, kGroupPortAConfiguration, 5, FieldType::kU8, CodeRule::kItem, kNoCopy},
    {"ComboBox_InProtocolA", "Input Protocol", "GroupBox_Port1", kInProtocolAItems, kGroupPortAConfiguration, 7, FieldType::kU8, CodeRule::kInProtocolA, kNoCopy},
    {"ComboBox_OutProtocolA", "Output Protocol", "GroupBox_Port1", kOutProtocolItems, kGroupPortAConfiguration, 8, FieldType::kU8, CodeRule::kTwiceItem, kNoCopy},
    {"ComboBox_BaudRateB", "Baud Rate", "GroupBox_Port2", kBaudRateItems, kGroupPortBConfiguration, 1, FieldType::kU8, CodeRule::kItem, 2},
    {"ComboBox_DataBitsB", "Data Bits", "GroupBox_Port2", kDataBitsItems, kGroupPortBConfiguration, 3, FieldType::kU8, CodeRule::kItemPlusThree, kNoCopy},
    {"ComboBox_ParityB", "Parity", "GroupBox_Port2", kParityItems, kGroupPortBConfiguration, 4, FieldType::kU8, CodeRule::kItem, kNoCopy},
    {"ComboBox_StopBitsB", "Stop Bits", "GroupBox_Port2", kStopBitsItems, kGroupPortBConfiguration, 5, FieldType::kU8, CodeRule::kItem, kNoCopy},
    {"ComboBox_InProtocolB", "Input Protocol", "GroupBox_Port2", kInProtocolBItems, kGroupPortBConfiguration, 7, FieldType::kU8, CodeRule::kTwiceItem, kNoCopy},
    {"ComboBox_OutProtocolB", "Output Protocol", "GroupBox_Port2", kOutProtocolItems, kGroupPortBConfiguration, 8, FieldType::kU8, CodeRule::kTwiceItem, kNoCopy},
    {"ComboBox_Datum", "", "GroupBox_Datum", kDatumItems, kGroupDatum, 1, FieldType::kI16, CodeRule::kDatumIndex, kNoCopy},
    {"ComboBox_Switch", "Driver Switch", "GroupBox2", kSwitchItems, kGroupTimingOutputSettings, 1, FieldType::kU8, CodeRule::kItem, kNoCopy},
    {"ComboBox_TimeBase", "Time Base", "GroupBox2", kTimeBaseItems, kGroupTimingOutputSettings, 2, FieldType::kU8, CodeRule::kItem, kNoCopy},
    {"ComboBox_Polarity", "Polarity", "GroupBox2", kPolarityItems, kGroupTimingOutputSettings, 3, FieldType::kU8, CodeRule::kItem, kNoCopy},
}};
// clang-format on

// ---- Edits -------------------------------------------------------------------------------------

// The printf-style format an edit shows its number with.
enum class EditFormat : uint8_t {
    kFixed1,     // "%0.1f"
    kFixed2,     // "%.2f"
    kFixed3,     // "%.3f" (also written "%0.3f")
    kFixed14,    // "%0.14f"
    kExponent3,  // "%.3e"
    kUnsigned,   // "%u"
    kDecimal,    // "%d"
    kLong,       // "%ld", the 32-bit field read as signed
};

enum class EditConversion : uint8_t {
    kStrictInteger,  // the whole text an integer, else a conversion error; low 8 bits stored
    kStrictReal,     // the whole text a decimal number, else a conversion error
    kScan,           // the number at the start of the text ("%lf", "%f" or "%ld" by field type)
};

// When an edit is shown and read.
enum class EditCondition : uint8_t {
    kAlways,
    kAltitudeSet,  // only with altitude mode 0 ("Set Altitude"); otherwise shown empty, not read
    kCustomDatum,  // read only for datum index -1; otherwise its field is set to 0
};

// The elevation mask is held in radians and shown in degrees, with 3.14159 standing for pi. Both
// factors are the double values 57.295827908797776 and 0.017453277777777776; capture multiplies the
// extended-precision degrees by the latter as it is (the extended quotient 3.14159L / 180.0L is a
// little larger and rounds some texts to the next single).
constexpr double kDegreesPerRadian = 180.0 / 3.14159;
constexpr long double kRadiansPerDegree = static_cast<long double>(3.14159 / 180.0);

struct EditBinding {
    const char* control;
    const char* label;  // the caption in front of it; empty for none
    const char* unit;   // the caption after it; empty for none
    const char* box;
    int group;
    int offset;
    FieldType field;
    EditFormat format;
    EditConversion conversion;
    bool degrees;  // field in radians, edit in degrees
    EditCondition condition;
};

// clang-format off
inline constexpr std::array<EditBinding, 16> kEditBindings = {{
    {"Edit_Altitude", "", "m", "GroupBox5", kGroup2DAltitude, 1, FieldType::kSingle, EditFormat::kFixed3, EditConversion::kStrictReal, false, EditCondition::kAltitudeSet},
    {"Edit_NMEAInterval", "Output Interval (0-255 sec):", "", "GroupBox_NMEA", kGroupNMEAOutput, 1, FieldType::kU8, EditFormat::kUnsigned, EditConversion::kStrictInteger, false, EditCondition::kAlways},
    {"Edit_EMask", "Elevation Mask (degrees)", "", "GroupBox_GPSConfiguration", kGroupGPSConfiguration, 5, FieldType::kSingle, EditFormat::kFixed1, EditConversion::kStrictReal, true, EditCondition::kAlways},
    {"Edit_SMask", "Signal Level Mask (AMU)", "", "GroupBox_GPSConfiguration", kGroupGPSConfiguration, 9, FieldType::kSingle, EditFormat::kFixed1, EditConversion::kStrictReal, false, EditCondition::kAlways},
    {"Edit_PMask", "PDOP Mask", "", "GroupBox_GPSConfiguration", kGroupGPSConfiguration, 13, FieldType::kSingle, EditFormat::kFixed1, EditConversion::kStrictReal, false, EditCondition::kAlways},
    {"Edit_PSwitch", "PDOP Switch", "", "GroupBox_GPSConfiguration", kGroupGPSConfiguration, 17, FieldType::kSingle, EditFormat::kFixed1, EditConversion::kStrictReal, false, EditCondition::kAlways},
    {"Edit_DGPSAge", "DGPS Age Limit (seconds)", "", "GroupBox_GPSConfiguration", kGroupGPSConfiguration, 21, FieldType::kU8, EditFormat::kDecimal, EditConversion::kStrictInteger, false, EditCondition::kAlways},
    {"Edit_DX", "DX:", "", "Panel_DatumValues", kGroupDatum, 3, FieldType::kDouble, EditFormat::kFixed1, EditConversion::kStrictReal, false, EditCondition::kCustomDatum},
    {"Edit_DY", "DY:", "", "Panel_DatumValues", kGroupDatum, 11, FieldType::kDouble, EditFormat::kFixed1, EditConversion::kStrictReal, false, EditCondition::kCustomDatum},
    {"Edit_DZ", "DZ:", "", "Panel_DatumValues", kGroupDatum, 19, FieldType::kDouble, EditFormat::kFixed1, EditConversion::kStrictReal, false, EditCondition::kCustomDatum},
    {"Edit_A_Axis", "A-Axis:", "", "Panel_DatumValues", kGroupDatum, 27, FieldType::kDouble, EditFormat::kFixed3, EditConversion::kStrictReal, false, EditCondition::kCustomDatum},
    {"Edit_Eccentricity", "Eccentricity:", "", "Panel_DatumValues", kGroupDatum, 35, FieldType::kDouble, EditFormat::kFixed14, EditConversion::kStrictReal, false, EditCondition::kCustomDatum},
    {"Edit_Offset", "PPS Offset", "s", "GroupBox2", kGroupTimingOutputSettings, 4, FieldType::kDouble, EditFormat::kExponent3, EditConversion::kScan, false, EditCondition::kAlways},
    {"Edit_Bias", "Bias Uncertainty Threshold", "m", "GroupBox2", kGroupTimingOutputSettings, 12, FieldType::kSingle, EditFormat::kFixed2, EditConversion::kScan, false, EditCondition::kAlways},
    {"Edit_Width", "PPS Width:", "seconds", "GroupBox2", kGroupPPSWidth, 1, FieldType::kDouble, EditFormat::kExponent3, EditConversion::kScan, false, EditCondition::kAlways},
    {"Edit_Limit", "Self Survey Limit", "", "GroupBox3", kGroupSelfSurveyConfiguration, 3, FieldType::kU32, EditFormat::kLong, EditConversion::kScan, false, EditCondition::kAlways},
}};
// clang-format on

// ---- Fixed bytes -------------------------------------------------------------------------------

// Bytes that capture always writes with the same value (the port bytes of groups 5 and 6 by
// position, the subcodes it owns, the unused port bytes).
struct FixedCaptureByte {
    int group;
    int offset;
    uint8_t value;
};

inline constexpr std::array<FixedCaptureByte, 8> kFixedCaptureBytes = {{
    {kGroupNMEAOutput, 0, 0},
    {kGroupPortAConfiguration, 0, 0},
    {kGroupPortAConfiguration, 6, 0},
    {kGroupPortAConfiguration, 9, 0},
    {kGroupPortBConfiguration, 0, 1},
    {kGroupPortBConfiguration, 6, 0},
    {kGroupPortBConfiguration, 9, 0},
    {kGroupDatum, 0, 0x15},
}};

// The name of the focus sink, the hidden check box outside the visible area.
inline constexpr const char* kFocusSinkName = "CheckBox_Dummy";
