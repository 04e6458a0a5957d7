// Between the fleet's runs in processes of their own (FleetChildren.cpp: what the runs say and what
// becomes of it) and the system's way of starting and watching processes
// (platform/RunProcesses*.cpp).
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/Fleet.h"
#include "cli/Progress.h"

struct RunProcess;  // the process behind a run, as the system knows it

struct ChildRun {
    RunKind kind = RunKind::kConfigure;
    size_t run = 0;
    std::vector<size_t> members;
    std::string requestText;
    std::string eventLine;
    std::string errLine;
    std::string lastError;  // its last message
    std::vector<std::optional<FleetOutcome>> outcomes;
    bool ended = false;  // its end event came
    std::chrono::steady_clock::time_point start;
    std::chrono::system_clock::time_point started;
    double seconds = 0;
    std::string spawnError;
    std::string howItEnded;  // "ended with exit status 1", "ended by signal 9 (Killed)"
    long pid = -1;
    std::shared_ptr<RunProcess> process;
};

// What a run wrote on its event stream and on its standard error (any pieces).
void TakeRunEvents(ChildRun& child, const char* bytes, size_t count, ProgressBoard& board);
void TakeRunErrors(ChildRun& child, const char* bytes, size_t count, ProgressBoard& board);

long CurrentProcessId();
// Starts this program as the run (`vandel-cli --fleet-run`) and hands it child.requestText; false
// with child.spawnError when it cannot.
bool StartRun(ChildRun& child);
// Reads what the runs say until every one has ended. A stop signal is passed on to every run (a
// second one too); a run still there after its grace is killed, as is a run that closed its
// output and does not end.
void WatchRuns(std::vector<ChildRun>& children, ProgressBoard& board);

// After the fleet is told to stop: how long its runs have to close their ports and report, and
// after a second signal; then they are killed. A run that closed its output has as long to exit.
constexpr auto kStopGrace = std::chrono::seconds(5);
constexpr auto kStopAtOnceGrace = std::chrono::seconds(1);
constexpr auto kExitGrace = std::chrono::seconds(5);
