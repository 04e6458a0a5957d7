// The summary of a fleet as JSON, and the names of what became of a receiver.
#include <cmath>
#include <cstring>
#include <string>

#include "cli/Fleet.h"
#include "cli/StopSignals.h"
#include "link/PortContext.h"
#include "operations/SummaryTables.h"
#include "settings/SettingsImage.h"

const char* RunStepName(RunStep step) {
    switch (step) {
        case RunStep::kOpening:
            return "opening";
        case RunStep::kLinkCheck:
            return "link-check";
        case RunStep::kWriting:
            return "writing";
        case RunStep::kSaving:
            return "saving";
        case RunStep::kVerifying:
            return "verifying";
        case RunStep::kFinished:
            break;
    }
    return "finished";
}

std::string InterruptedText(RunKind kind, RunStep step) {
    switch (step) {
        case RunStep::kOpening:
            return "while its port was being opened; nothing was sent";
        case RunStep::kLinkCheck:
            return "at the Link Check; nothing was written";
        case RunStep::kWriting:
            return "after set commands were sent, before Save Settings: it may hold unsaved, partly "
                   "written settings";
        case RunStep::kSaving:
            return "after Save Settings was sent: the settings were written and saved, not read back";
        case RunStep::kVerifying:
            return kind == RunKind::kConfigure ? "while reading the groups back: the settings were written "
                                                 "and saved, not all compared"
                                               : "while reading the groups back; nothing was written";
        case RunStep::kFinished:
            break;
    }
    return "after it had finished";
}

std::string OutcomeResultName(const FleetOutcome& outcome) {
    if (outcome.reported) return PortResultName(outcome.summary.portResult);
    return outcome.interrupted ? "interrupted" : "no-result";
}

bool FleetSucceeded(const FleetResult& result) {
    if (result.stopped || result.signal != 0 || !result.auditError.empty() || result.outcomes.empty())
        return false;
    for (const FleetOutcome& outcome : result.outcomes)
        if (!outcome.reported || outcome.summary.portResult != kResultSuccess) return false;
    return true;
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
        json["audit"] = {{"written", result.auditWritten},
                         {"of", result.outcomes.size()},
                         {"error", result.auditError.empty() ? nlohmann::ordered_json()
                                                             : nlohmann::ordered_json(result.auditError)}};
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
        entry["interrupted"] = outcome.interrupted;
        entry["seconds"] = std::round(outcome.seconds * 1000) / 1000;
        if (outcome.interrupted) {
            entry["portResult"] = nullptr;
            entry["step"] = RunStepName(outcome.step);
            entry["text"] = "interrupted " + InterruptedText(kind, outcome.step);
            json["ports"].push_back(std::move(entry));
            continue;
        }
        if (!outcome.reported) {
            entry["portResult"] = nullptr;
            entry["text"] = "no result: " + outcome.noResult;
            json["ports"].push_back(std::move(entry));
            continue;
        }
        entry["portResult"] = port.portResult;
        entry["text"] = PortResultText(port.portResult);
        if (!outcome.reason.is_null()) entry["reason"] = outcome.reason;
        if (ResultAnswered(port.portResult)) {
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
