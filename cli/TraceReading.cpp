#include "cli/TraceReading.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "cli/ResultJson.h"
#include "link/Framing.h"
#include "settings/SettingsImage.h"

namespace {

int GroupNumber(const std::map<std::string, std::string>& values) {
    const auto it = values.find("group");
    const int group = it == values.end() ? 0 : std::atoi(it->second.c_str());
    return group >= 1 && group <= kGroupCount ? group : 0;
}

std::string ValueOf(const std::map<std::string, std::string>& values, const char* key) {
    const auto it = values.find(key);
    return it == values.end() ? std::string() : it->second;
}

// The received bytes of one port on their way through a Frame Decoder: those since the last packet
// ended, each with the event (kUntakenEvent, empty until told) that stands where it arrived.
class ReceivedBytes {
  public:
    // rx: every byte goes through the decoder; what it drops goes to the event of its arrival.
    void Take(const std::vector<uint8_t>& bytes, size_t slot, std::vector<TraceEvent>& told) {
        for (const uint8_t byte : bytes) {
            uint32_t dleBefore = decoder_.dleFlag;
            if (decoder_.collectedLength >= kPayloadBufferSize || decoder_.collectedLength < 0) {
                Drop(pending_.size(), told);  // the decoder's 512-byte guard
                dleBefore = 0;
            }
            if (FrameDecodeByte(decoder_.Fields(), byte) != 0) {
                pending_.clear();  // a packet took them
                continue;
            }
            // A DLE and a packet id begin a packet: what stood before that DLE is dropped.
            if (dleBefore != 0 && byte != kDLE && byte != kETX)
                Drop(pending_.empty() ? 0 : pending_.size() - 1, told);
            pending_.push_back({byte, slot});
        }
    }
    // A purge, new line settings, an open or a close, or the end of the trace: nothing pending
    // will be part of a packet.
    void DropAll(std::vector<TraceEvent>& told) {
        Drop(pending_.size(), told);
        decoder_ = FrameDecoder{};
    }

    // Some byte of the event at slot is still on its way (the last pending ones are the newest).
    bool Waits(size_t slot) const { return !pending_.empty() && pending_.back().slot == slot; }

  private:
    struct Pending {
        uint8_t byte;
        size_t slot;
    };
    void Drop(size_t count, std::vector<TraceEvent>& told) {
        for (size_t i = 0; i < count; ++i)
            told[pending_[i].slot].fields.push_back(static_cast<char>(pending_[i].byte));
        pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    }

    FrameDecoder decoder_;
    std::vector<Pending> pending_;  // bounded: the decoder drops what grows past 512 payload bytes
};

std::string Printable(const std::string& bytes) {
    std::string text = bytes;
    for (char& c : text)
        if (c < 0x20 || c > 0x7E) c = '.';
    return text;
}

std::string Hex(const std::string& bytes) {
    return HexBytes(reinterpret_cast<const uint8_t*>(bytes.data()), static_cast<int>(bytes.size()));
}

// One event as the conversation shows it, indent being where its lines after the first begin.
std::string Told(const TraceEvent& e, const std::string& indent) {
    if (e.event == "packet-tx" || e.event == "packet-rx") {
        const std::map<std::string, std::string> values = TracePacketValues(e.fields);
        std::string text = std::string(e.event == "packet-tx" ? "PC -> receiver  " : "receiver -> PC  ") +
                           ValueOf(values, "id");
        if (!ValueOf(values, "sub").empty()) text += "-" + ValueOf(values, "sub");
        if (const int group = GroupNumber(values); group != 0)
            text += "  " + std::string(SettingsGroup(group).name);
        return text + "  (" + ValueOf(values, "length") + " bytes)";
    }
    if (e.event == kUntakenEvent) {
        // Sixteen bytes a line, in hex and as text (a dot for what is no printable character).
        std::string text = "received, no packet took " + std::to_string(e.fields.size()) + " bytes:";
        for (size_t at = 0; at < e.fields.size(); at += 16) {
            const std::string piece = e.fields.substr(at, 16);
            std::string hex = Hex(piece);
            hex.resize(16 * 3 - 1, ' ');
            text += "\n" + indent + hex + "  " + Printable(piece);
        }
        return text;
    }
    return e.event + (e.fields.empty() ? "" : " " + e.fields);
}

}  // namespace

bool ReadTraceConversation(const std::string& path, TraceConversation& conversation, std::string& error) {
    std::map<int, ReceivedBytes> received;
    const bool read = ReadTraceEvents(
        path, conversation.header, conversation.badLines,
        [&](TraceEvent&& e) {
            std::vector<TraceEvent>& told = conversation.ports[e.port];
            if (e.event == "tx") return;  // the packets tell what was sent
            if (e.event == "rx") {
                told.push_back({e.ms, e.port, kUntakenEvent, {}, {}});
                ReceivedBytes& bytes = received[e.port];
                bytes.Take(HexToBytes(e.fields), told.size() - 1, told);
                // Its bytes all went into packets (the usual case): nothing stands for them.
                if (told.back().fields.empty() && !bytes.Waits(told.size() - 1)) told.pop_back();
                return;
            }
            if (e.event == "purge" || e.event == "line" || e.event == "open" || e.event == "close")
                received[e.port].DropAll(told);
            // The packet's fields are taken apart again when told: kept whole they would cost
            // many times the line.
            e.values.clear();
            told.push_back(std::move(e));
        },
        error);
    for (auto& [port, bytes] : received) {
        std::vector<TraceEvent>& told = conversation.ports[port];
        bytes.DropAll(told);
        std::erase_if(told, [](const TraceEvent& e) { return e.event == kUntakenEvent && e.fields.empty(); });
    }
    return read;
}

std::string TraceConversationText(const TraceConversation& trace) {
    std::string text = trace.header.empty() ? std::string() : trace.header + "\n";
    const std::string indent(2 + 10 + 4 + 2, ' ');
    for (const auto& [port, events] : trace.ports) {
        text += "\nComm " + std::to_string(port) + "\n";
        for (const TraceEvent& e : events) {
            char time[32];
            std::snprintf(time, sizeof time, "%10.3f s  ", static_cast<double>(e.ms) / 1000.0);
            text += "  " + std::string(time) + Told(e, indent) + "\n";
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
            if (e.event == kUntakenEvent) {
                item["length"] = e.fields.size();
                item["data"] = Hex(e.fields);
                item["text"] = Printable(e.fields);
            } else if (e.event == "packet-tx" || e.event == "packet-rx") {
                const std::map<std::string, std::string> values = TracePacketValues(e.fields);
                item["id"] = ValueOf(values, "id");
                if (!ValueOf(values, "sub").empty()) item["sub"] = ValueOf(values, "sub");
                if (const int group = GroupNumber(values); group != 0) item["group"] = GroupJson(group);
                item["length"] = std::atoi(ValueOf(values, "length").c_str());
                item["data"] = ValueOf(values, "data");
            } else {
                item["text"] = e.fields;
            }
            entry["events"].push_back(std::move(item));
        }
        json["ports"].push_back(std::move(entry));
    }
    json["skippedLines"] = trace.badLines;
    return json;
}
