#include "cli/CliOperator.h"

#include "cli/CommNames.h"
#include "cli/Progress.h"

void CliOperator::Say(const std::string& text) {
    if (board_ != nullptr) {
        board_->Message(text);
        return;
    }
    std::fprintf(messages_, "%s\n", text.c_str());
    std::fflush(messages_);
}

void CliOperator::Warning(const std::string& title, const std::string& text) {
    warningTitles_.push_back(title);
    Say(title + ": " + NameDevices(text));
}

bool CliOperator::AskOkCancel(const std::string& title, const std::string& text) {
    if (askedElsewhere_ && answerYes_) return true;
    Say(title + ": " + text);
    if (answerYes_) {
        Say("Going on: --yes was given.");
    } else {
        Say("Configuration aborted: give --yes to configure anyway.");
        declined_ = true;
    }
    return answerYes_;
}

void CliOperator::ShowConfigurationSummary() {
    summaryShown_ = true;
    CaptureSummary();
}

void CliOperator::RunStopped(const std::vector<RunStep>& steps) {
    runStopped_ = true;
    steps_ = steps;
    CaptureSummary();
}

void CliOperator::CaptureSummary() {
    for (size_t i = 0; i < summary_.size(); ++i) {
        summary_[i].portResult = PortContexts[i].portResult;
        summary_[i].groupStatus = PortContexts[i].groupStatus;
        for (int g = 1; g <= kGroupCount; ++g) {
            const size_t at = static_cast<size_t>(g - 1);
            summary_[i].differences[at] = summary_[i].groupStatus[at] == kGroupDiffers
                                              ? DifferingFieldsOfPort(static_cast<int>(i), g)
                                              : std::vector<FieldChange>{};
        }
    }
}

void CliOperator::Progress(const OperationProgress& progress) {
    if (!progress.step.empty()) lastStep_ = ProgressText(progress);
    SetRunStep(progress);
}
