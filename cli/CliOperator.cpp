#include "cli/CliOperator.h"

#include "cli/Progress.h"

void CliOperator::Warning(const std::string& title, const std::string& text) {
    warningTitles_.push_back(title);
    std::fprintf(messages_, "%s: %s\n", title.c_str(), text.c_str());
    std::fflush(messages_);
}

bool CliOperator::AskOkCancel(const std::string& title, const std::string& text) {
    if (askedElsewhere_ && answerYes_) return true;
    std::fprintf(messages_, "%s: %s\n", title.c_str(), text.c_str());
    if (answerYes_) {
        std::fprintf(messages_, "Going on: --yes was given.\n");
    } else {
        std::fprintf(messages_, "Configuration aborted: give --yes to configure anyway.\n");
        declined_ = true;
    }
    std::fflush(messages_);
    return answerYes_;
}

void CliOperator::ShowConfigurationSummary() {
    summaryShown_ = true;
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

void CliOperator::Progress(const std::string& text) {
    SetRunStep(text);
}
