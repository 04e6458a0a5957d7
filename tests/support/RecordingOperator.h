// An Operator for tests: answers the message boxes and the summary from a script given in
// advance, records everything it is told, and fails the test at any box or summary the script
// does not expect (a wrong title, a wrong text, or one too many).
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "operations/Operator.h"

class RecordingOperator : public Operator {
  public:
    enum class Kind { Warning, Question, Busy, Summary, FocusSink };
    struct Event {
        Kind kind;
        std::string title;
        std::string text;
        bool flag = false;  // Busy: on or off; Question: the answer given
    };

    // Script: the next box must be a warning with this title (and this text, when given).
    RecordingOperator& ExpectWarning(const std::string& title, std::optional<std::string> text = {});
    // Script: the next box must be an OK/Cancel question with this title; answered OK when `ok`.
    RecordingOperator& ExpectQuestion(const std::string& title, bool ok,
                                      std::optional<std::string> text = {});
    // Script: the next thing shown is the configuration summary; onShow runs while it is "up".
    RecordingOperator& ExpectSummary(std::function<void()> onShow = {});

    void Warning(const std::string& title, const std::string& text) override;
    bool AskOkCancel(const std::string& title, const std::string& text) override;
    void SetBusy(bool busy) override;
    void ShowConfigurationSummary() override;
    void FocusSink() override;
    void Progress(const OperationProgress& step) override { progress.push_back(ProgressText(step)); }

    const std::vector<Event>& Log() const { return log; }
    // Every progress text, in order (kept apart from the log of boxes and calls).
    const std::vector<std::string>& ProgressTexts() const { return progress; }
    // Everything scripted has been shown.
    bool ScriptDone() const { return script.empty(); }
    int Count(Kind kind) const;
    // SetBusy(true) and SetBusy(false) calls balance.
    bool BusyBalanced() const;

  private:
    struct Step {
        Kind kind;
        std::string title;
        std::optional<std::string> text;
        bool ok = false;
        std::function<void()> onShow;
    };
    std::optional<Step> Next(Kind kind, const std::string& title, const std::string& text);

    std::deque<Step> script;
    std::vector<Event> log;
    std::vector<std::string> progress;
};
