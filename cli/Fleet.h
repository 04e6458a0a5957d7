// A fleet: the receivers of one configure or verify, each with its settings file and PC-side line
// settings. One run of the operation takes at most twenty ports sharing one settings file and one
// PC side, so a fleet runs as several runs side by side: one in this process when a single run
// holds it all, else each in a process of its own (this program again, with --json), started,
// watched and collected here. Results come back per receiver, in the order given.
#pragma once

#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/CliOperator.h"
#include "cli/SettingsFileRead.h"
#include "link/PortConfiguration.h"
#include "operations/ConfigureReceivers.h"

class ProgressBoard;

struct FleetReceiver {
    std::string device;
    std::string settingsFile;
    PortLine pcLine;     // the PC side's line settings for the first Link Check
    std::string origin;  // "MANIFEST:LINE" for a receiver of a manifest, empty from the command line
};

// The settings files of a fleet, each read once: path → bytes (exactly 169).
using FleetFiles = std::map<std::string, SettingsFileBytes>;

// What became of one receiver.
struct FleetOutcome {
    size_t run = 0;  // 1.. in the order the runs were formed
    int comm = 0;    // 1..20 within its run
    bool reported = false;
    std::string noResult;  // when not reported: why the run gave no result for it
    PortSummary summary;
    nlohmann::ordered_json reason;  // for a port that would not open: code, detail, pid, text
    double seconds = 0;             // how long its run took
};

struct FleetResult {
    bool stopped = false;  // stopped at the "Invalid Configuration" question: nothing was sent
    size_t runCount = 0;
    std::vector<FleetOutcome> outcomes;  // one per receiver, in the order given
};

// The PC side's line settings when none are given.
PortLine DefaultPcLine();

// Reads every settings file of the fleet (each must be exactly 169 bytes) and checks every device
// name, and that no device appears twice under any name. Nothing is opened. Each problem is one
// message, prefixed with the receiver's origin where it has one.
bool CheckFleet(const std::vector<FleetReceiver>& receivers, FleetFiles& files,
                std::vector<std::string>& errors);

// The runs: receivers sharing a settings file and PC side, at most twenty to a run, each run's
// receivers in the order given and the runs in the order their first receivers were given.
std::vector<std::vector<size_t>> PlanFleetRuns(const std::vector<FleetReceiver>& receivers);

struct FleetRunOptions {
    RunKind kind = RunKind::kConfigure;
    bool yes = false;     // --yes: go on past the "Invalid Configuration" question
    std::string trace;    // --trace FILE: one run writes FILE, several write FILE.1, FILE.2, ...
    int progressFd = -1;  // this process runs one run for another: its port states go there
};

FleetResult RunFleet(const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                     const FleetRunOptions& options, ProgressBoard& board, std::FILE* err);

// The summary of a fleet, as text and as JSON, and a port's entry read back from that JSON (how
// the results of the runs in other processes come back).
std::string FleetSummaryText(RunKind kind, const std::vector<FleetReceiver>& receivers,
                             const FleetResult& result);
nlohmann::ordered_json FleetSummaryJson(RunKind kind, const std::string& file,
                                        const std::vector<FleetReceiver>& receivers,
                                        const FleetResult& result);
bool OutcomeFromJson(const nlohmann::json& entry, FleetOutcome& outcome);
// The name of an outcome's result: the Port Result's name, or "no-result".
std::string OutcomeResultName(const FleetOutcome& outcome);
// Every receiver succeeded.
bool FleetSucceeded(const FleetResult& result);
