// vandel-cli probe: hunts for the line settings of the receivers on some devices. Each device's PC
// side goes through the line settings a receiver can use, most likely first, with a Link Check at
// each and a short wait, until its receiver answers twice (a first answer is checked again at the
// settings before, since it may have come late, then at its own). Only Link Checks are sent: no
// receiver's settings change. Twenty devices at a time go side by side (one Port Context each).
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "link/PortConfiguration.h"

struct FleetReceiver;
class ProgressBoard;

struct ProbeOutcome {
    std::string device;
    bool opened = false;
    bool found = false;
    PortLine line;                  // found: the settings at which the receiver answered
    int tried = 0;                  // line settings tried
    uint32_t received = 0;          // bytes that came back, over all settings tried
    uint32_t unframed = 0;          // of them, bytes no packet took
    nlohmann::ordered_json reason;  // not opened, or not found: code, detail, text
};

// The line settings tried, in order: by baud rate 9600, 19200, 4800, 38400, 2400, 1200, 600, 300,
// 110; at each rate 8 data bits with no, odd and even parity and 1, then 2 stop bits, then the same
// with 7 data bits.
const std::vector<PortLine>& ProbeCandidates();

// progress(index, state) as each device moves on.
using ProbeProgress = std::function<void(size_t index, const std::string& state)>;
// Probes any number of devices, twenty at a time; results in the order given.
std::vector<ProbeOutcome> ProbeDevices(const std::vector<std::string>& devices,
                                       const ProbeProgress& progress);

// One line of text ("DEVICE: 19200,8,E,1") and the JSON entry of an outcome.
std::string ProbeOutcomeText(const ProbeOutcome& outcome);
nlohmann::ordered_json ProbeOutcomeJson(const ProbeOutcome& outcome);

int RunProbe(const CliArguments& arguments, std::FILE* out, std::FILE* err);

// --pc-settings auto for configure and verify: every receiver's PC side from a probe of its device.
// A receiver that is not found keeps the PC side it had, and a message above the board says why.
void ProbeFleetLines(std::vector<FleetReceiver>& receivers, ProgressBoard& board);
// --pc-settings auto for load: the PC Serial Settings from a probe of the device. False, with a
// message, when no receiver answered.
bool ProbeLoadLine(const std::string& device, bool quiet, std::FILE* err);

// "vandel-cli: wrote the settings of DEVICE to /absolute/path"
std::string WrittenToText(const std::string& device, const std::string& path);
