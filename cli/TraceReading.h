// vandel-cli trace: the conversation of each port of a trace, told packet by packet.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "serial/TraceRead.h"

// A trace as its conversation shows it: per port, in the order of the file, the events that are
// told (the raw bytes are left out: the packets tell them; a packet's key=value fields are not kept).
struct TraceConversation {
    std::string header;
    std::map<int, std::vector<TraceEvent>> ports;
    int64_t badLines = 0;
};

// Reads the trace as a stream: what is kept is the told events, grouped by port as they come, so
// the time is linear in the file whatever the number of ports. False with the reason.
bool ReadTraceConversation(const std::string& path, TraceConversation& conversation, std::string& error);
std::string TraceConversationText(const TraceConversation& trace);
nlohmann::ordered_json TraceConversationJson(const std::string& path, const TraceConversation& trace);
