// The names of what became of a receiver (the summary as text: FleetText.cpp; as JSON: ResultJson.cpp).
#include <cmath>
#include <cstring>
#include <string>

#include "cli/Fleet.h"
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
