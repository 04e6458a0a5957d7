// The summary of a fleet as text (its JSON: ResultJson.cpp), and the names of what became of a receiver.
#include <cmath>
#include <cstring>
#include <string>

#include "cli/Fleet.h"
#include "cli/ResultJson.h"
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

}  // namespace

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
            // verify writes nothing, and does not say it of itself.
            return kind == RunKind::kConfigure ? "at the Link Check; nothing was written"
                                               : "at the Link Check";
        case RunStep::kWriting:
            return "after set commands were sent, before Save Settings: it may hold unsaved, partly "
                   "written settings";
        case RunStep::kSaving:
            return "after Save Settings was sent: the settings were written and saved, not read back";
        case RunStep::kVerifying:
            return kind == RunKind::kConfigure ? "while reading the groups back: the settings were written "
                                                 "and saved, not all compared"
                                               : "while reading the groups back";
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

std::string FleetSummaryText(RunKind kind, const std::vector<FleetReceiver>& receivers,
                             const FleetResult& result) {
    std::string text = kind == RunKind::kVerify ? "Verification Summary\n" : "Configuration Summary\n";
    for (size_t i = 0; i < receivers.size(); ++i) {
        const FleetOutcome& outcome = result.outcomes[i];
        text += PortLabel(result, outcome) + " (" + receivers[i].device + "): ";
        if (outcome.interrupted) {
            text += "interrupted " + InterruptedText(kind, outcome.step) + "\n";
            continue;
        }
        if (!outcome.reported) {
            text += "no result: " + outcome.noResult + "\n";
            continue;
        }
        text += OutcomeText(kind, outcome.summary) + "\n";
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
                text += "    " + FieldChangeLine(change, kind == RunKind::kConfigure) + "\n";
        }
    }
    return text;
}
