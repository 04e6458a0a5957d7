// Settings display: each operation copies its group into the Settings Image, then sets the
// group's controls through the settings view (when one is registered).
#pragma once

#include <cstdint>

void Show2DAltitude(const uint8_t* group);
void ShowIOOptions(const uint8_t* group);
void ShowNMEAOutput(const uint8_t* group);
void ShowGPSConfiguration(const uint8_t* group);
void ShowPortConfiguration(uint8_t port /* 0 Port A, 1 Port B */, const uint8_t* group);
void ShowDatum(const uint8_t* group);
void ShowTimingOutputSettings(const uint8_t* group);
void ShowPortBAutomaticOutput(const uint8_t* group);
void ShowTimingOutputOptions(const uint8_t* group);
void ShowPPSWidth(const uint8_t* group);
void ShowPacket8EA5Masks(const uint8_t* group);
void ShowSelfSurveyConfiguration(const uint8_t* group);

// Shows group groupNo (1..13) with its display operation (groups 5 and 6 by position).
void ShowGroup(int groupNo, const uint8_t* group);
