#include "cli/Silence.h"

#include "link/PortContext.h"

namespace {

std::string Bytes(uint32_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

}  // namespace

const std::vector<std::string>& ConfigureLineRoles() {
    static const std::vector<std::string> roles = {"the PC side", "the fallback after the line break"};
    return roles;
}

std::vector<std::string> LoadLineRoles(bool usedBreakReply) {
    return {"waiting for the Break Reply", usedBreakReply ? "from the Break Reply" : "the PC side"};
}

bool NoPacketCameBack(int commIndex) {
    return PortContexts[static_cast<size_t>(commIndex)].tally.TotalPackets() == 0;
}

nlohmann::ordered_json SilenceReason(int commIndex, const std::vector<std::string>& roles) {
    const ReceiveTally& tally = PortContexts[static_cast<size_t>(commIndex)].tally;
    nlohmann::ordered_json tried = nlohmann::ordered_json::array();
    std::string settings;  // "9600,8,O,1 (the PC side) and 9600,8,N,1 (the fallback ...)"
    std::string noise;     // "37 at 9600,8,O,1 (the PC side), 12 at 9600,8,N,1 (the fallback ...)"
    size_t role = 0;
    for (int i = 0; i < tally.LineCount(); ++i) {
        const LineTally line = tally.Line(i);
        if (line.listens == 0) continue;  // set, but never listened at: not tried
        const std::string text = PortLineText(line.line);
        const std::string named = role < roles.size() ? roles[role] : std::string();
        ++role;
        nlohmann::ordered_json entry;
        entry["settings"] = text;
        entry["role"] = named;
        entry["received"] = line.received;
        entry["unframed"] = line.unframed;
        entry["packets"] = line.packets;
        tried.push_back(std::move(entry));
        const std::string where = text + (named.empty() ? "" : " (" + named + ")");
        settings += (settings.empty() ? "" : " and ") + where;
        noise += (noise.empty() ? "" : ", ") + std::to_string(line.unframed) + " at " + where;
    }
    if (settings.empty()) settings = "no line settings";

    nlohmann::ordered_json reason;
    const std::string packets = std::to_string(tally.TotalPackets()) + " packets";
    if (tally.TotalReceived() == 0) {
        reason["code"] = "nothing-received";
        reason["detail"] = "tried " + settings;
        reason["text"] = "nothing came back at all, at " + settings;
    } else if (tally.TotalPackets() == 0 && tally.TotalUnframed() == 0) {
        reason["code"] = "break-reply-only";
        reason["detail"] = "tried " + settings;
        reason["text"] = "only the reply to the line break came back, at " + settings;
    } else if (tally.TotalPackets() == 0) {
        reason["code"] = "unframed-bytes";
        reason["detail"] = noise;
        reason["text"] = Bytes(tally.TotalUnframed()) + " came back that do not frame as KIRP packets (" +
                         noise + "): the receiver uses other line settings; vandel-cli probe finds them";
    } else {
        reason["code"] = "no-answer-to-link-check";
        reason["detail"] = packets + "; tried " + settings;
        reason["text"] = packets + " came back, none of them an answer to the Link Check, at " + settings;
    }
    reason["received"] = tally.TotalReceived();
    reason["unframed"] = tally.TotalUnframed();
    reason["tried"] = std::move(tried);
    return reason;
}

std::string LoadSilenceLine(const std::vector<std::string>& warningTitles) {
    for (const std::string& title : warningTitles) {
        // Error 20 comes only after a usable Break Reply; Error 30 speaks of silence when no packet
        // at all came back.
        if (title == "Error 20" || (title == "Error 30" && NoPacketCameBack(0))) {
            const nlohmann::ordered_json reason = SilenceReason(0, LoadLineRoles(title == "Error 20"));
            return "  reason: " + reason["text"].get<std::string>() + "\n";
        }
    }
    return {};
}
