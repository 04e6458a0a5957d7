// Fuzz targets: each entry takes any bytes, drives one receive or load path of the system with
// them, and checks what must hold whatever the bytes are. bench/fuzz.sh builds every entry into a
// libFuzzer program (clang); the unit test tests/robustness/FuzzCorpusReplayTest.cpp links the same
// entries and replays the committed corpora (fuzz/corpus/<target>/) through them.
#pragma once

#include <cstddef>
#include <cstdint>

using FuzzEntry = int (*)(const uint8_t* data, size_t size);

// Frame Decoder and Report Handler of a Port Context in each Operation Mode, on a stream put on the
// port in reads of random sizes.
int FuzzReportStream(const uint8_t* data, size_t size);
// The settings file loaded into the window's controls, captured back, and every set command the
// image then produces.
int FuzzSettingsFile(const uint8_t* data, size_t size);
// The settings text form through its reader; what it takes goes to text and back unchanged.
int FuzzSettingsText(const uint8_t* data, size_t size);
// The break reply probe on the port, and the parser on the probe's copy and on the raw text.
int FuzzBreakReply(const uint8_t* data, size_t size);
// The network serial port's receive path: the telnet COM-PORT decoder in reads of random sizes.
int FuzzTelnetReceive(const uint8_t* data, size_t size);
// The emulated receiver's command handling on a stream of frames from the PC side.
int FuzzEmulatorCommands(const uint8_t* data, size_t size);
// The network serial port's receive side through the real device on a socket pair.
int FuzzNetworkReceive(const uint8_t* data, size_t size);

struct FuzzTarget {
    const char* name;  // also the corpus folder name and the libFuzzer program's suffix
    FuzzEntry entry;
};

inline constexpr FuzzTarget kFuzzTargets[] = {
    {"report_stream", FuzzReportStream},     {"settings_file", FuzzSettingsFile},
    {"settings_text", FuzzSettingsText},     {"break_reply", FuzzBreakReply},
    {"telnet_receive", FuzzTelnetReceive},   {"emulator_commands", FuzzEmulatorCommands},
    {"network_receive", FuzzNetworkReceive},
};

// A broken rule. The default handler prints the target and the rule and aborts, which libFuzzer
// reports as a crash with the input that caused it; the replay test installs one that fails the
// test and goes on.
using FuzzFailureHandler = void (*)(const char* target, const char* rule);
void SetFuzzFailureHandler(FuzzFailureHandler handler);
void FuzzCheck(bool holds, const char* target, const char* rule);
