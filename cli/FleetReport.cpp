// The summary of a fleet as text and as JSON, and a port's JSON entry read back.
#include <string>

#include "cli/Fleet.h"
#include "link/PortContext.h"
#include "operations/SummaryTables.h"
#include "settings/SettingsImage.h"

namespace {

// A port whose receiver answered the Link Check has a row of group results.
bool Answered(uint8_t portResult) {
    return portResult == kResultGroupMissing || portResult == kResultGroupDiffers ||
           portResult == kResultSuccess;
}

// "Comm 3" in a fleet of one run; "Run 2 Comm 3" when there are several.
std::string PortLabel(const FleetResult& result, const FleetOutcome& outcome) {
    const std::string comm = "Comm " + std::to_string(outcome.comm);
    return result.runCount > 1 ? "Run " + std::to_string(outcome.run) + " " + comm : comm;
}

std::string PortHeading(const FleetResult& result, const FleetOutcome& outcome) {
    const std::string port = "Comm Port " + std::to_string(outcome.comm);
    return "Summary for " + (result.runCount > 1 ? "Run " + std::to_string(outcome.run) + " " + port : port);
}

// A member of a JSON object that should be a string; empty when it is missing or is none.
std::string StringAt(const nlohmann::json& object, const char* key) {
    const auto at = object.find(key);
    return at != object.end() && at->is_string() ? at->get<std::string>() : std::string();
}

}  // namespace

std::string OutcomeResultName(const FleetOutcome& outcome) {
    return outcome.reported ? PortResultName(outcome.summary.portResult) : "no-result";
}

bool FleetSucceeded(const FleetResult& result) {
    if (result.stopped || result.outcomes.empty()) return false;
    for (const FleetOutcome& outcome : result.outcomes)
        if (!outcome.reported || outcome.summary.portResult != kResultSuccess) return false;
    return true;
}

std::string FleetSummaryText(RunKind kind, const std::vector<FleetReceiver>& receivers,
                             const FleetResult& result) {
    std::string text = kind == RunKind::kVerify ? "Verification Summary\n" : "Configuration Summary\n";
    for (size_t i = 0; i < receivers.size(); ++i) {
        const FleetOutcome& outcome = result.outcomes[i];
        text += PortLabel(result, outcome) + " (" + receivers[i].device + "): ";
        if (!outcome.reported) {
            text += "no result: " + outcome.noResult + "\n";
            continue;
        }
        text += std::string(PortResultText(outcome.summary.portResult)) + "\n";
        if (outcome.reason.contains("text"))
            text += "  reason: " + outcome.reason["text"].get<std::string>() + "\n";
    }
    for (size_t i = 0; i < receivers.size(); ++i) {
        const FleetOutcome& outcome = result.outcomes[i];
        if (!outcome.reported || !Answered(outcome.summary.portResult)) continue;
        text += "\n" + PortHeading(result, outcome) + "\n";
        for (const CommSummaryRow& row : kCommSummaryRows) {
            const size_t at = static_cast<size_t>(row.groupNo - 1);
            text += std::string("  ") + row.caption + ": " +
                    GroupStatusText(outcome.summary.groupStatus[at]) + "\n";
            for (const FieldChange& change : outcome.summary.differences[at])
                text += "    " + FieldChangeLine(change) + "\n";
        }
    }
    return text;
}

nlohmann::ordered_json FleetSummaryJson(RunKind kind, const std::string& file,
                                        const std::vector<FleetReceiver>& receivers,
                                        const FleetResult& result) {
    nlohmann::ordered_json json;
    json["operation"] = kind == RunKind::kVerify ? "verify" : "configure";
    json["file"] = file.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(file);
    json["success"] = FleetSucceeded(result);
    json["aborted"] = result.stopped;
    json["runs"] = result.runCount;
    json["ports"] = nlohmann::ordered_json::array();
    if (result.stopped) return json;
    for (size_t i = 0; i < receivers.size(); ++i) {
        const FleetOutcome& outcome = result.outcomes[i];
        const PortSummary& port = outcome.summary;
        nlohmann::ordered_json entry;
        entry["run"] = outcome.run;
        entry["comm"] = outcome.comm;
        entry["device"] = receivers[i].device;
        entry["file"] = receivers[i].settingsFile;
        entry["pcSettings"] = PortLineText(receivers[i].pcLine);
        entry["result"] = OutcomeResultName(outcome);
        if (!outcome.reported) {
            entry["portResult"] = nullptr;
            entry["text"] = "no result: " + outcome.noResult;
            json["ports"].push_back(std::move(entry));
            continue;
        }
        entry["portResult"] = port.portResult;
        entry["text"] = PortResultText(port.portResult);
        if (!outcome.reason.is_null()) entry["reason"] = outcome.reason;
        if (Answered(port.portResult)) {
            entry["groups"] = nlohmann::ordered_json::array();
            for (const CommSummaryRow& row : kCommSummaryRows) {
                const size_t at = static_cast<size_t>(row.groupNo - 1);
                const uint8_t status = port.groupStatus[at];
                nlohmann::ordered_json group;
                group["group"] = row.groupNo;
                group["name"] = SettingsGroup(row.groupNo).name;
                group["caption"] = row.caption;
                group["status"] = GroupStatusName(status);
                group["statusCode"] = status;
                group["text"] = GroupStatusText(status);
                if (status == kGroupDiffers) {
                    group["differences"] = nlohmann::ordered_json::array();
                    for (const FieldChange& change : port.differences[at])
                        group["differences"].push_back({{"field", change.field},
                                                        {"written", change.written},
                                                        {"readBack", change.readBack},
                                                        {"writtenHex", change.writtenHex},
                                                        {"readBackHex", change.readBackHex}});
                }
                entry["groups"].push_back(std::move(group));
            }
        }
        json["ports"].push_back(std::move(entry));
    }
    return json;
}

bool OutcomeFromJson(const nlohmann::json& entry, FleetOutcome& outcome) {
    outcome = FleetOutcome{};
    if (!entry.contains("comm") || !entry["comm"].is_number_integer()) return false;
    if (!entry.contains("portResult") || !entry["portResult"].is_number_integer()) return false;
    const int portResult = entry["portResult"].get<int>();
    if (portResult < 0 || portResult >= static_cast<int>(kPortResults.size())) return false;
    outcome.comm = entry["comm"].get<int>();
    outcome.summary.portResult = static_cast<uint8_t>(portResult);
    if (entry.contains("reason") && entry["reason"].is_object()) outcome.reason = entry["reason"];
    if (entry.contains("groups")) {
        if (!entry["groups"].is_array()) return false;
        for (const nlohmann::json& group : entry["groups"]) {
            if (!group.is_object()) return false;
            const nlohmann::json number = group.value("group", nlohmann::json());
            const nlohmann::json status = group.value("statusCode", nlohmann::json());
            if (!number.is_number_integer() || !status.is_number_integer()) return false;
            const int groupNo = number.get<int>();
            const int code = status.get<int>();
            if (groupNo < 1 || groupNo > kGroupCount || code < 0 ||
                code >= static_cast<int>(kGroupStatuses.size()))
                return false;
            const size_t at = static_cast<size_t>(groupNo - 1);
            outcome.summary.groupStatus[at] = static_cast<uint8_t>(code);
            if (!group.contains("differences") || !group["differences"].is_array()) continue;
            for (const nlohmann::json& change : group["differences"]) {
                if (!change.is_object()) return false;
                FieldChange field;
                field.group = groupNo;
                field.field = StringAt(change, "field");
                field.written = StringAt(change, "written");
                field.readBack = StringAt(change, "readBack");
                field.writtenHex = StringAt(change, "writtenHex");
                field.readBackHex = StringAt(change, "readBackHex");
                outcome.summary.differences[at].push_back(std::move(field));
            }
        }
    }
    outcome.reported = true;
    return true;
}
