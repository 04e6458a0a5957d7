// Configure receivers: writes the Settings Image into the receivers of every Port Context in
// Operation Mode 2, side by side, saves, reads every group back, compares it, and shows the
// configuration summary. Shows no error box of its own: the outcome is each port's Port Result.
#pragma once

#include <array>
#include <cstdint>

#include "link/PortConfiguration.h"

class Operator;

// 9600 baud, 8 data bits, no parity, 1 stop bit: the line settings tried after a line break when a
// receiver did not answer at the PC Serial Settings.
inline constexpr std::array<uint8_t, kPortConfigurationSize> kFallbackLineSettings = {0, 7, 7, 3, 0,
                                                                                      0, 0, 0, 0, 0};

inline constexpr const char* kInvalidConfigurationTitle = "Invalid Configuration";
inline constexpr const char* kTimingModeNeedsStationaryText =
    "The receiver must be configured with a dynamics code of \"Stationary\"\nwhen in a timing mode with the "
    "self-survey enabled.  Click \"OK\" to continue\nanyway or \"Cancel\" to abort the configuration.";
inline constexpr const char* kPositionModeForbidsStationaryText =
    "The receiver cannot be configured with a dynamics code of \"Stationary\"\nwhen in a position mode with "
    "the "
    "self-survey enabled.  Click \"OK\" to continue\nanyway or \"Cancel\" to abort the configuration.";

// The question the survey/dynamics rule asks of the Settings Image (one of the two texts above), or
// nullptr when the settings pass it.
const char* InvalidConfigurationQuestion();

// The survey/dynamics rule: true when the run may go on (no question, or OK). On Cancel the
// selection is dropped (every Operation Mode back to 0).
bool ValidateConfiguration(Operator& op);

// What a run does: configure (write, save, read back and compare), or verify (read back and compare
// only: no set, save or control command is sent, and nothing is asked).
enum class RunKind { kConfigure, kVerify };

// The validation, then the run over the selected ports, then the summary through the Operator,
// then every Port Context reset and every port closed. Runs on the calling thread.
void ConfigureReceivers(Operator& op, RunKind kind = RunKind::kConfigure);
