// Reading a trace back (vandel-cli trace, kirp-emulator --from-trace): its lines parsed into events.
#pragma once

#include <cstdint>
#include <functional>
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
    int64_t badLines = 0;  // lines that are no events (skipped)
};

// A line longer than this is no event: it is skipped without being held in memory.
constexpr size_t kMaxTraceLineLength = 64 * 1024;

// Reads a trace as a stream, a line at a time, handing each event to onEvent as it is read; the
// header line and the count of lines that are no events go to `header` and `badLines`. Only a
// regular file is read: a folder, a FIFO or a device is refused before a byte is taken from it.
// False with the reason when the file cannot be read.
bool ReadTraceEvents(const std::string& path, std::string& header, int64_t& badLines,
                     const std::function<void(TraceEvent&&)>& onEvent, std::string& error);
// Every event of a trace in memory (for traces of one run: tests, the emulator's --from-trace).
bool ReadTrace(const std::string& path, ParsedTrace& trace, std::string& error);
// The key=value fields of a packet line ("id=8F sub=15 group=7 length=43 data=8F 15 ..."); data and
// detail run to the end of the line.
std::map<std::string, std::string> TracePacketValues(const std::string& fields);
// The bytes of a "data=" or raw-bytes field ("10 1F 10 03"); stops at the first thing that is no byte.
std::vector<uint8_t> HexToBytes(const std::string& hex);
