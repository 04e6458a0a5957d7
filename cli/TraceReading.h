// vandel-cli trace: the conversation of each port of a trace, told packet by packet.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "serial/TraceRead.h"

std::string TraceConversationText(const ParsedTrace& trace);
nlohmann::ordered_json TraceConversationJson(const std::string& path, const ParsedTrace& trace);
