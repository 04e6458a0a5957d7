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
};

enum class EmulatorArgsResult { Run, Help, Error };

// Parses the command line (without the program name). On Error `error` says why.
EmulatorArgsResult ParseEmulatorArguments(const std::vector<std::string>& args, EmulatorOptions& options,
                                          std::string& error);
// The --help text, factory settings included.
std::string EmulatorHelpText();
// "1,4,13" → flags by group number 1..13; false for anything else.
bool ParseGroupList(const std::string& text, std::array<bool, kGroupCount + 1>& groups);
