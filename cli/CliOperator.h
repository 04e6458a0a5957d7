// The Operator of the command-line tool: message boxes become lines on standard error, the two
// "Invalid Configuration" questions are answered by --yes, and the configuration summary is kept
// for printing after the run (the run resets the Port Contexts once the summary is closed).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "link/PortContext.h"
#include "messages/FieldDifferences.h"
#include "operations/Operator.h"
#include "settings/SettingsImage.h"

struct PortSummary {
    uint8_t portResult = kResultNotInRun;
    std::array<uint8_t, kGroupCount> groupStatus{};
    // For each group that read back different: the fields that differ.
    std::array<std::vector<FieldChange>, kGroupCount> differences{};
};

class ProgressBoard;

// How the tool meets a question: answered yes (--yes) or declined; askedElsewhere: another process
// asked the question and printed it, this one only answers.
struct CliAnswers {
    bool yes = false;
    bool askedElsewhere = false;
};

class CliOperator final : public Operator {
  public:
    explicit CliOperator(std::FILE* messages, CliAnswers answers = {})
        : answerYes_(answers.yes), askedElsewhere_(answers.askedElsewhere), messages_(messages) {}

    void Warning(const std::string& title, const std::string& text) override;
    bool AskOkCancel(const std::string& title, const std::string& text) override;
    void SetBusy(bool) override {}
    void ShowConfigurationSummary() override;
    void FocusSink() override {}
    void Progress(const OperationProgress& progress) override;
    void RunStopped(const std::vector<RunStep>& steps) override;

    // While a progress board is drawn, messages go above it instead of into it.
    void SetBoard(ProgressBoard* board) { board_ = board; }

    const std::vector<std::string>& WarningTitles() const { return warningTitles_; }
    bool Declined() const { return declined_; }
    bool SummaryShown() const { return summaryShown_; }
    // A stop request ended the run: Summary() holds the ports that had finished, Steps() how far
    // each port had gone.
    bool RunWasStopped() const { return runStopped_; }
    const std::vector<RunStep>& Steps() const { return steps_; }
    // The last step the operation told of ("Comm 1: Requesting settings, pass 2 of 8").
    const std::string& LastStep() const { return lastStep_; }
    // Indexed by comm index 0..19, as the Port Contexts were when the summary was shown.
    const std::array<PortSummary, kPortContextCount>& Summary() const { return summary_; }

  private:
    bool answerYes_;
    bool askedElsewhere_;
    std::FILE* messages_;
    ProgressBoard* board_ = nullptr;
    void Say(const std::string& text);
    void CaptureSummary();
    std::vector<std::string> warningTitles_;
    bool declined_ = false;
    bool summaryShown_ = false;
    bool runStopped_ = false;
    std::vector<RunStep> steps_;
    std::string lastStep_;
    std::array<PortSummary, kPortContextCount> summary_{};
};
