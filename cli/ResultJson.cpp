#include "cli/ResultJson.h"

#include <array>
#include <cmath>
#include <cstring>

#include "cli/CliOperator.h"
#include "cli/StopSignals.h"
#include "link/PortContext.h"
#include "operations/SummaryTables.h"
#include "settings/SettingsText.h"

namespace {

// The field of a group by its name; the fields of a group depend on its layout only.
const SettingsField* FieldNamed(int groupNo, const std::string& name) {
    static const std::array<std::vector<SettingsField>, kGroupCount> fields = [] {
        std::array<std::vector<SettingsField>, kGroupCount> all;
        const std::array<uint8_t, kMaxGroupLength> zeros{};
        for (int g = 1; g <= kGroupCount; ++g)
            all[static_cast<size_t>(g - 1)] = DecodeSettingsGroup(g, zeros.data());
        return all;
    }();
    if (groupNo < 1 || groupNo > kGroupCount) return nullptr;
    for (const SettingsField& field : fields[static_cast<size_t>(groupNo - 1)])
        if (field.name == name) return &field;
    return nullptr;
}

nlohmann::ordered_json GroupResultJson(const PortSummary& port, int groupNo, const char* caption) {
    const size_t at = static_cast<size_t>(groupNo - 1);
    const uint8_t status = port.groupStatus[at];
    nlohmann::ordered_json group = GroupJson(groupNo);
    group["caption"] = caption;
    group["status"] = GroupStatusName(status);
    group["statusCode"] = status;
    group["text"] = GroupStatusText(status);
    group["differences"] = nlohmann::ordered_json::array();
    for (const FieldChange& change : port.differences[at])
        group["differences"].push_back(DifferenceJson(change));
    return group;
}

}  // namespace

nlohmann::ordered_json GroupJson(int groupNo) {
    nlohmann::ordered_json json;
    json["number"] = groupNo;
    json["name"] = SettingsGroup(groupNo).name;
    json["table"] = GroupTableName(groupNo);
    return json;
}

nlohmann::ordered_json FieldJson(const SettingsField& field) {
    nlohmann::ordered_json json;
    json["name"] = field.name;
    json["key"] = GroupTableName(field.group) + "." + SnakeCase(field.name);
    json["kind"] = FieldKindName(field.kind);
    json["groupOffset"] = field.offset;
    json["imageOffset"] = SettingsGroup(field.group).offset + field.offset;
    json["width"] = field.width;
    return json;
}

nlohmann::ordered_json DifferenceJson(const SettingsField& field, const std::string& expected,
                                      const std::string& found, const std::string& expectedHex,
                                      const std::string& foundHex) {
    nlohmann::ordered_json json = FieldJson(field);
    json["expected"] = expected;
    json["found"] = found;
    json["expectedHex"] = expectedHex;
    json["foundHex"] = foundHex;
    return json;
}

nlohmann::ordered_json DifferenceJson(const FieldChange& change) {
    if (const SettingsField* field = FieldNamed(change.group, change.field))
        return DifferenceJson(*field, change.written, change.readBack, change.writtenHex, change.readBackHex);
    // A name this build does not know (a run of another version): what is known of it.
    return {{"name", change.field},
            {"expected", change.written},
            {"found", change.readBack},
            {"expectedHex", change.writtenHex},
            {"foundHex", change.readBackHex}};
}

std::string OutcomeText(RunKind kind, const PortSummary& summary) {
    if (kind == RunKind::kConfigure || !ResultAnswered(summary.portResult))
        return PortResultText(summary.portResult);
    if (summary.portResult == kResultSuccess) return "holds these settings";
    // The groups by what was found of them, in the summary's row order.
    constexpr std::array<std::pair<uint8_t, const char*>, 3> kFound = {
        {{kGroupDiffers, "differs"},
         {kGroupRequested, "could not be retrieved"},
         {kGroupReceived, "could not be verified"}}};
    std::string text;
    for (const auto& [status, words] : kFound) {
        std::string groups;
        for (const CommSummaryRow& row : kCommSummaryRows)
            if (summary.groupStatus[static_cast<size_t>(row.groupNo - 1)] == status)
                groups += (groups.empty() ? "" : ", ") + std::string(SettingsGroup(row.groupNo).name);
        if (!groups.empty()) text += (text.empty() ? "" : "; ") + std::string(words) + ": " + groups;
    }
    return text;
}

nlohmann::ordered_json PortOutcomeJson(RunKind kind, const FleetReceiver& receiver,
                                       const FleetOutcome& outcome) {
    nlohmann::ordered_json entry;
    entry["run"] = outcome.run;
    entry["comm"] = outcome.comm;
    entry["device"] = receiver.device;
    entry["file"] = receiver.settingsFile;
    entry["pcSettings"] = PortLineText(receiver.pcLine);
    entry["result"] = OutcomeResultName(outcome);
    entry["interrupted"] = outcome.interrupted;
    entry["seconds"] = std::round(outcome.seconds * 1000) / 1000;
    entry["portResult"] = outcome.reported ? nlohmann::ordered_json(outcome.summary.portResult) : nullptr;
    if (outcome.interrupted) {
        entry["step"] = RunStepName(outcome.step);
        entry["text"] = "interrupted " + InterruptedText(kind, outcome.step);
    } else if (!outcome.reported) {
        entry["text"] = "no result: " + outcome.noResult;
    } else {
        entry["text"] = OutcomeText(kind, outcome.summary);
    }
    if (!outcome.reason.is_null()) entry["reason"] = outcome.reason;
    entry["groups"] = nlohmann::ordered_json::array();
    if (outcome.reported && ResultAnswered(outcome.summary.portResult))
        for (const CommSummaryRow& row : kCommSummaryRows)
            entry["groups"].push_back(GroupResultJson(outcome.summary, row.groupNo, row.caption));
    return entry;
}

nlohmann::ordered_json FleetSummaryJson(RunKind kind, const std::string& file,
                                        const std::vector<FleetReceiver>& receivers,
                                        const FleetResult& result) {
    nlohmann::ordered_json json;
    json["operation"] = kind == RunKind::kVerify ? "verify" : "configure";
    json["file"] = file.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(file);
    json["success"] = FleetSucceeded(result);
    json["aborted"] = result.stopped;
    json["interrupted"] = result.signal != 0;
    json["signal"] = result.signal != 0 ? nlohmann::ordered_json(SignalName(result.signal)) : nullptr;
    json["runs"] = result.runCount;
    if (result.audited)
        json["audit"] = {{"recorded", result.auditWritten},
                         {"of", result.outcomes.size()},
                         {"error", result.auditError.empty() ? nlohmann::ordered_json()
                                                             : nlohmann::ordered_json(result.auditError)}};
    json["ports"] = nlohmann::ordered_json::array();
    if (result.stopped) return json;
    for (size_t i = 0; i < receivers.size(); ++i)
        json["ports"].push_back(PortOutcomeJson(kind, receivers[i], result.outcomes[i]));
    return json;
}
