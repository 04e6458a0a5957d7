// What the emulator is asked to be: its line, its transport and the faults it injects.
// Parsed from kirp-emulator's command line, or filled in by tests that run it in-process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "emulator/ReceiverModel.h"

struct EmulatorOptions {
    bool usePty = false;  // --pty; otherwise an RFC 2217 server (--listen)
    std::string listenHost = "127.0.0.1";
    uint16_t listenPort = 0;  // 0: the system picks one
    int count = 1;            // independent receivers
    PortLine portB;           // factory Port B line (9600 8N1)
    bool autoOutput = false;  // unsolicited reports once a period
    int autoOutputPeriodMs = 1000;
    bool silent = false;            // sends nothing at all
    bool noBreakReply = false;      // no text after a line break
    ReceiverFaults faults;          // --ignore, --differ, --no-save
    int latencyMs = 0;              // delay before each answer
    int64_t hangupAfterBytes = -1;  // hang up after sending this many bytes (−1: never)
    int resetSilenceMs = 1500;      // how long a reset keeps the receiver silent
    std::string logFile;            // every packet received and sent, in hex
    // What the receivers start from instead of the factory settings (--settings, --from-trace):
    // one entry per receiver, the last used again for any further receivers.
    std::vector<ReceiverSettings> startSettings;
};

enum class EmulatorArgsResult { Run, Help, Version, Error };

// A settings file's 169 bytes as a receiver holds them (report form; 2D Altitude in its 9-byte 4A
// form). False for a file that is not exactly 169 bytes.
bool ReceiverSettingsFromFile(const std::string& path, ReceiverSettings& settings, std::string& error);
// Each port's groups from the last report of each group in a trace, starting from the factory
// settings for what the trace lacks; ports in number order. False when the trace has no report.
bool ReceiverSettingsFromTrace(const std::string& path, std::vector<ReceiverSettings>& settings,
                               std::string& error);

// Parses the command line (without the program name). On Error `error` says why.
EmulatorArgsResult ParseEmulatorArguments(const std::vector<std::string>& args, EmulatorOptions& options,
                                          std::string& error);
// The --help text, factory settings included.
std::string EmulatorHelpText();
// "1,4,13" → flags by group number 1..13; false for anything else.
bool ParseGroupList(const std::string& text, std::array<bool, kGroupCount + 1>& groups);
