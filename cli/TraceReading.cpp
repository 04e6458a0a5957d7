#include "cli/TraceReading.h"

#include <cstdio>
#include <cstdlib>

#include "settings/SettingsImage.h"

namespace {

std::string GroupName(const std::string& number) {
    const int group = std::atoi(number.c_str());
    return group >= 1 && group <= kGroupCount ? SettingsGroup(group).name : "";
}

// One event as the conversation shows it; empty for raw bytes (the packets tell them).
std::string Told(const TraceEvent& e) {
    if (e.event == "packet-tx" || e.event == "packet-rx") {
        const std::map<std::string, std::string> values = TracePacketValues(e.fields);
        const auto value = [&](const char* key) {
            const auto it = values.find(key);
            return it == values.end() ? std::string() : it->second;
        };
        std::string text =
            std::string(e.event == "packet-tx" ? "PC -> receiver  " : "receiver -> PC  ") + value("id");
        if (!value("sub").empty()) text += "-" + value("sub");
        const std::string group = GroupName(value("group"));
        if (!group.empty()) text += "  " + group;
        text += "  (" + value("length") + " bytes)";
        return text;
    }
    if (e.event == "tx" || e.event == "rx") return {};
    return e.event + (e.fields.empty() ? "" : " " + e.fields);
}

}  // namespace

bool ReadTraceConversation(const std::string& path, TraceConversation& conversation, std::string& error) {
    return ReadTraceEvents(
        path, conversation.header, conversation.badLines,
        [&](TraceEvent&& e) {
            std::vector<TraceEvent>& told = conversation.ports[e.port];
            if (e.event == "tx" || e.event == "rx") return;
            // The packet's fields are taken apart again when told: kept whole they would cost
            // many times the line.
            e.values.clear();
            told.push_back(std::move(e));
        },
        error);
}

std::string TraceConversationText(const TraceConversation& trace) {
    std::string text = trace.header.empty() ? std::string() : trace.header + "\n";
    for (const auto& [port, events] : trace.ports) {
        text += "\nComm " + std::to_string(port) + "\n";
        for (const TraceEvent& e : events) {
            const std::string told = Told(e);
            if (told.empty()) continue;
            char time[32];
            std::snprintf(time, sizeof time, "%10.3f s  ", static_cast<double>(e.ms) / 1000.0);
            text += "  " + std::string(time) + told + "\n";
        }
    }
    if (trace.badLines > 0)
        text += "\n(" + std::to_string(trace.badLines) + " lines that are no events were skipped)\n";
    return text;
}

nlohmann::ordered_json TraceConversationJson(const std::string& path, const TraceConversation& trace) {
    nlohmann::ordered_json json;
    json["file"] = path;
    json["header"] = trace.header;
    json["ports"] = nlohmann::ordered_json::array();
    for (const auto& [port, events] : trace.ports) {
        nlohmann::ordered_json entry;
        entry["comm"] = port;
        entry["events"] = nlohmann::ordered_json::array();
        for (const TraceEvent& e : events) {
            nlohmann::ordered_json item;
            item["ms"] = e.ms;
            item["event"] = e.event;
            const std::map<std::string, std::string> values = e.event.rfind("packet-", 0) == 0
                                                                  ? TracePacketValues(e.fields)
                                                                  : std::map<std::string, std::string>();
            if (values.empty()) {
                item["text"] = e.fields;
            } else {
                for (const auto& [key, value] : values) item[key] = value;
                const std::string group = GroupName(values.count("group") ? values.at("group") : "");
                if (!group.empty()) item["groupName"] = group;
            }
            entry["events"].push_back(std::move(item));
        }
        json["ports"].push_back(std::move(entry));
    }
    json["skippedLines"] = trace.badLines;
    return json;
}
