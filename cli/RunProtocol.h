// The private protocol between the fleet's parent and each run it starts in a process of its own.
//
// The parent starts this program as `vandel-cli --fleet-run` (an argument the public command line
// never sees), writes one request line on the run's standard input and closes it, and reads the
// run's events from the run's descriptor 3, one JSON object a line. Nothing else passes between
// them: the run reads no file by name and its standard output goes nowhere; its standard error
// (a crash, a sanitizer) is shown as the run's messages, filtered like them.
//
//   request {"protocol":1,"operation":"configure","yes":false,"pcSettings":"9600,8,N,1",
//            "settings":HEX,"devices":[HEX,...],"trace":HEX|null,"parent":PID,
//            "look":{"takenAt":NS,"unheld":[DEVICE,...]}}
//   events  {"event":"state","comm":N,"state":TEXT}       a port's progress ("result":N: its Port
//                                                         Result, once it is through early)
//           {"event":"message","text":TEXT}               what the operator is told
//           {"event":"port","comm":N,...}                 a port's outcome (PortEventLine)
//           {"event":"end","stopped":BOOL,"signal":N}     the run is over
//
// Device names, the trace's name and the settings bytes travel as hexadecimal: a name is any
// bytes, not text. "look" is the parent's one look at other processes for every run, the part of it
// for the run's devices (a device number each), when the system has one; a run opens those devices
// without a look of its own. A request of another protocol version is refused.
//
// On Windows the events come on the run's standard output, and its standard input stays open after
// the request: the parent passes a stop on as a line with the signal's number, and the input's end
// tells the run that the parent has gone (platform/RunSideWin32.cpp).
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/Fleet.h"
#include "serial/LocalDevice.h"

constexpr int kRunProtocolVersion = 1;
constexpr const char* kFleetRunArgument = "--fleet-run";
#ifdef _WIN32
constexpr int kRunEventFd = 1;  // a Windows process is handed its standard handles only
#else
constexpr int kRunEventFd = 3;
#endif

struct RunRequest {
    RunKind kind = RunKind::kConfigure;
    bool yes = false;
    PortLine pcLine;
    SettingsFileBytes settings;
    std::vector<std::string> devices;  // Comm 1.. in this order
    std::string trace;                 // empty: none
    long parent = 0;                   // the process that started the run
    HandedLook look;                   // takenAt 0: none
};

std::string RunRequestLine(const RunRequest& request);
bool ParseRunRequest(const std::string& line, RunRequest& request, std::string& error);

std::string StateEventLine(int comm, const std::string& state, uint8_t result = 0);
std::string MessageEventLine(const std::string& text);
std::string PortEventLine(const FleetOutcome& outcome);
std::string EndEventLine(bool stopped, int signal);
// A port event read back; false for anything a sane run would not send.
bool OutcomeFromPortEvent(const nlohmann::json& event, FleetOutcome& outcome);

// Writes a whole line to fd (a closed reader is ignored: the run goes on without it).
void WriteRunEvent(int fd, const std::string& line);

// The run's side: reads the request from standard input, runs it, answers on kRunEventFd.
// Returns the exit status.
int RunForFleet();
