// vandel-cli trace: the conversation of each port of a trace, told packet by packet, with the
// received bytes no packet took in their place.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "serial/TraceRead.h"

// The event that stands for received bytes no packet took (noise at a wrong baud rate, the Break
// Reply's text, a packet cut short, what a purge dropped): its fields hold the bytes themselves.
constexpr const char* kUntakenEvent = "unframed";

// A trace as its conversation shows it: per port, in the order of the file, the events that are
// told (received bytes only where no packet took them; a packet's key=value fields are not kept).
struct TraceConversation {
    std::string header;
    std::map<int, std::vector<TraceEvent>> ports;
    int64_t badLines = 0;
};

// Reads the trace as a stream: what is kept is the told events, grouped by port as they come, so
// the time is linear in the file whatever the number of ports. The received bytes of each port go
// through a Frame Decoder as the program's own did; the bytes it dropped are told where they
// arrived. False with the reason.
bool ReadTraceConversation(const std::string& path, TraceConversation& conversation, std::string& error);
std::string TraceConversationText(const TraceConversation& trace);
nlohmann::ordered_json TraceConversationJson(const std::string& path, const TraceConversation& trace);
