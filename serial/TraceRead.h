// Reading a trace back (vandel-cli trace, kirp-emulator --from-trace): its lines parsed into events.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TraceEvent {
    int64_t ms = 0;
    int port = 0;
    std::string event;   // open, line, purge, break, close, tx, rx, packet-tx, packet-rx, note
    std::string fields;  // the rest of the line
    std::map<std::string, std::string> values;  // key=value fields of packet lines (data: its hex)
};

struct ParsedTrace {
    std::string header;  // the "# trace of ..." line
    std::vector<TraceEvent> events;
    int badLines = 0;  // lines that are no events (skipped)
};

// False with the reason when the file cannot be read.
bool ReadTrace(const std::string& path, ParsedTrace& trace, std::string& error);
// The bytes of a "data=" or raw-bytes field ("10 1F 10 03"); stops at the first thing that is no byte.
std::vector<uint8_t> HexToBytes(const std::string& hex);
