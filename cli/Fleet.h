// A fleet: the receivers of one configure or verify, each with its settings file and PC-side line
// settings. One run of the operation takes at most twenty ports sharing one settings file and one
// PC side, so a fleet runs as several runs side by side: one in this process when a single run
// holds it all, else each in a process of its own (this program again, with --json), started,
// watched and collected here. Results come back per receiver, in the order given.
#pragma once

#include <chrono>
#include <cstdio>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "cli/CliOperator.h"
#include "cli/Color.h"
#include "cli/SettingsFileRead.h"
#include "link/PortConfiguration.h"
#include "operations/ConfigureReceivers.h"
#include "operations/Operator.h"

class ProgressBoard;

struct FleetReceiver {
    std::string device;
    std::string settingsFile;
    PortLine pcLine;     // the PC side's line settings for the first Link Check
    std::string origin;  // "MANIFEST:LINE" for a receiver of a manifest, empty from the command line
    size_t line = 0;     // its manifest line, 0 from the command line
    // Keys of the settings text form set over the file's settings for this receiver alone, with
    // their values as given ("2d_altitude.altitude_m", "312.5"), in the order given.
    std::vector<std::pair<std::string, std::string>> overrides;
};

// What a receiver's settings come from: its settings file, followed by its overrides when it has
// any ("site.toml with 2d_altitude.altitude_m=312.5"). Receivers with one source get the same bytes.
std::string SettingsSource(const FleetReceiver& receiver);

// A problem found before anything is opened: the manifest line it is on (0: none) and its message.
struct FleetProblem {
    size_t line = 0;
    std::string text;
};

// The settings of a fleet, each file read once: source (SettingsSource) → bytes (exactly 169), the
// overrides applied. These bytes, never the file again, are what the runs send and what the audit
// record hashes.
using FleetFiles = std::map<std::string, SettingsFileBytes>;

// What became of one receiver.
struct FleetOutcome {
    size_t run = 0;                    // 1.. in the order the runs were formed
    int comm = 0;                      // 1..20 within its run
    bool reported = false;             // it has its Port Result (summary)
    bool interrupted = false;          // a stop signal ended its run before it had one
    RunStep step = RunStep::kOpening;  // when interrupted: how far its run had gone with it
    std::string noResult;              // when neither: why the run gave no result for it
    PortSummary summary;
    nlohmann::ordered_json reason;  // for a port that would not open: code, detail, pid, text
    std::chrono::system_clock::time_point started{};  // when its run started on it
    double seconds = 0;  // from then until its result was known, or its run ended
};

struct FleetResult {
    bool stopped = false;  // stopped at the "Invalid Configuration" question: nothing was sent
    int signal = 0;        // the stop signal that interrupted the fleet (SIGINT ...), 0 for none
    size_t runCount = 0;
    std::vector<FleetOutcome> outcomes;  // one per receiver, in the order given
    // The audit record, when one was asked for: how many lines reached it, and why not the rest.
    bool audited = false;
    size_t auditWritten = 0;
    std::string auditError;
};

// "opening", "link-check", "writing", "saving", "verifying", "finished": for scripts.
const char* RunStepName(RunStep step);
// What an interrupted receiver may hold, for people.
std::string InterruptedText(RunKind kind, RunStep step);

// The PC side's line settings when none are given.
PortLine DefaultPcLine();

// Reads every settings file of the fleet once (each must be exactly 169 bytes) and checks every
// device name, and that no device appears twice under any name (a tty by its device number, a
// network port by its resolved addresses and port). Nothing is opened. A name that can never be a
// serial device (a regular file, a folder, a character device that is no tty, a malformed network
// name) is a problem; a device that is not there now is not: it is that receiver's failure to
// open when the run comes to it. Each problem is one message, prefixed with the receiver's origin
// where it has one.
bool CheckFleet(const std::vector<FleetReceiver>& receivers, FleetFiles& files,
                std::vector<FleetProblem>& problems);

// The runs: receivers sharing a settings file and PC side, at most twenty to a run, each run's
// receivers in the order given and the runs in the order their first receivers were given.
std::vector<std::vector<size_t>> PlanFleetRuns(const std::vector<FleetReceiver>& receivers);

struct FleetRunOptions {
    RunKind kind = RunKind::kConfigure;
    bool yes = false;   // --yes: go on past the "Invalid Configuration" question
    std::string trace;  // --trace FILE: one run writes FILE, several write FILE.1, FILE.2, ...
    int eventFd = -1;   // this process runs one run for another: its events go there (RunProtocol.h)
};

FleetResult RunFleet(const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                     const FleetRunOptions& options, ProgressBoard& board, std::FILE* err);

// One run in this process (RunFleet's, or a run for another process): the receivers at members,
// all with one settings file and PC side.
void RunHere(const std::vector<FleetReceiver>& receivers, const std::vector<size_t>& members,
             const FleetFiles& files, const FleetRunOptions& options, ProgressBoard& board, std::FILE* err,
             FleetResult& result);
// The runs of a fleet in processes of their own (FleetChildren.cpp).
void RunInChildren(const std::vector<FleetReceiver>& receivers, const std::vector<std::vector<size_t>>& runs,
                   const FleetFiles& files, const FleetRunOptions& options, ProgressBoard& board,
                   FleetResult& result);

// How the text summary is laid out: brief lists only the receivers that did not succeed (and the
// total); color paints the results.
struct SummaryStyle {
    bool brief = false;
    bool color = false;
};
// The summary of a fleet as text (FleetText.cpp): a line per receiver, those that did not succeed
// first, the groups of each that answered under a heading naming its port and device, and the
// closing total ("60 receivers: 38 successful, 20 could not be opened, 1 differing"); 80 columns.
std::string FleetSummaryText(RunKind kind, const std::vector<FleetReceiver>& receivers,
                             const FleetResult& result, const SummaryStyle& style = {});
// What became of a receiver in a line's words (the Port Result's text, "interrupted: ...", "no
// result: ..."), and its colour: green for success, red when its receiver was not reached or gave
// no result, yellow when it answered wrong or was interrupted.
std::string OutcomeText(RunKind kind, const FleetOutcome& outcome);
Tone OutcomeTone(const FleetOutcome& outcome);
Tone PortResultTone(uint8_t portResult);
// The summary of a fleet as JSON.
nlohmann::ordered_json FleetSummaryJson(RunKind kind, const std::string& file,
                                        const std::vector<FleetReceiver>& receivers,
                                        const FleetResult& result);
// The name of an outcome's result: the Port Result's name, "interrupted" or "no-result".
std::string OutcomeResultName(const FleetOutcome& outcome);
// Every receiver succeeded.
bool FleetSucceeded(const FleetResult& result);
