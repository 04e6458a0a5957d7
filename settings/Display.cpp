#include "settings/Display.h"

#include <cstring>

#include "settings/SettingsImage.h"

// For now each display operation only stores its group; the controls follow.
static void StoreGroup(int groupNo, const uint8_t* group) {
    std::memcpy(SettingsGroupBytes(groupNo), group, static_cast<size_t>(SettingsGroup(groupNo).length));
}

void Show2DAltitude(const uint8_t* group) { StoreGroup(kGroup2DAltitude, group); }
void ShowIOOptions(const uint8_t* group) { StoreGroup(kGroupIOOptions, group); }
void ShowNMEAOutput(const uint8_t* group) { StoreGroup(kGroupNMEAOutput, group); }
void ShowGPSConfiguration(const uint8_t* group) { StoreGroup(kGroupGPSConfiguration, group); }
void ShowPortConfiguration(uint8_t port, const uint8_t* group) {
    StoreGroup(port == 0 ? kGroupPortAConfiguration : kGroupPortBConfiguration, group);
}
void ShowDatum(const uint8_t* group) { StoreGroup(kGroupDatum, group); }
void ShowTimingOutputSettings(const uint8_t* group) { StoreGroup(kGroupTimingOutputSettings, group); }
void ShowPortBAutomaticOutput(const uint8_t* group) { StoreGroup(kGroupPortBAutomaticOutput, group); }
void ShowTimingOutputOptions(const uint8_t* group) { StoreGroup(kGroupTimingOutputOptions, group); }
void ShowPPSWidth(const uint8_t* group) { StoreGroup(kGroupPPSWidth, group); }
void ShowPacket8EA5Masks(const uint8_t* group) { StoreGroup(kGroupPacket8EA5Masks, group); }
void ShowSelfSurveyConfiguration(const uint8_t* group) { StoreGroup(kGroupSelfSurveyConfiguration, group); }

void ShowGroup(int groupNo, const uint8_t* group) {
    switch (groupNo) {
        case kGroup2DAltitude: Show2DAltitude(group); break;
        case kGroupIOOptions: ShowIOOptions(group); break;
        case kGroupNMEAOutput: ShowNMEAOutput(group); break;
        case kGroupGPSConfiguration: ShowGPSConfiguration(group); break;
        case kGroupPortAConfiguration: ShowPortConfiguration(0, group); break;
        case kGroupPortBConfiguration: ShowPortConfiguration(1, group); break;
        case kGroupDatum: ShowDatum(group); break;
        case kGroupTimingOutputSettings: ShowTimingOutputSettings(group); break;
        case kGroupPortBAutomaticOutput: ShowPortBAutomaticOutput(group); break;
        case kGroupTimingOutputOptions: ShowTimingOutputOptions(group); break;
        case kGroupPPSWidth: ShowPPSWidth(group); break;
        case kGroupPacket8EA5Masks: ShowPacket8EA5Masks(group); break;
        case kGroupSelfSurveyConfiguration: ShowSelfSurveyConfiguration(group); break;
        default: break;
    }
}
