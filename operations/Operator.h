// The person at the screen, as the long operations see them. The windows answer with message
// boxes, the busy cursor and the summary window; tests answer from a script; the command-line
// tool prints.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// How far a run of Configure Receivers had gone with a port when a stop request ended it (see
// OperationWait.h), in the order a port passes through them.
enum class RunStep : uint8_t {
    kOpening,    // its port was being opened: nothing was sent
    kLinkCheck,  // Link Checks only: nothing was written
    kWriting,    // set commands were sent, Save Settings was not: unsaved, perhaps partly written
    kSaving,     // Save Settings was sent: the settings were saved, not read back
    kVerifying,  // the groups were being read back
    kFinished,   // the port has its Port Result (it failed to open or never answered)
};

// What an operation is doing now, as the procedures publish it: the step, its pass and what is
// left. The window shows it as one text (ProgressText); the command-line tool's board and the
// fleet's runs take the fields.
struct OperationProgress {
    int port = 0;      // the port the operation works on when it is the only one, else 0
    std::string step;  // "Link Check", "Verifying", "Writing settings", ...; empty: finished
    int pass = 0;      // 1..passes; 0 for a step without passes
    int passes = 0;
    int left = -1;         // how many are left, -1 when not told
    std::string leftWhat;  // what they are: "groups still missing", "receivers not answering yet"
};

// "Link Check, pass 2 of 8": the step and its pass.
inline std::string StepText(const OperationProgress& progress) {
    if (progress.pass == 0) return progress.step;
    return progress.step + ", pass " + std::to_string(progress.pass) + " of " +
           std::to_string(progress.passes);
}
// "Comm 3: Verifying, pass 2 of 8: 4 groups still missing"; empty when the operation has finished.
inline std::string ProgressText(const OperationProgress& progress) {
    if (progress.step.empty()) return {};
    std::string text = progress.port > 0 ? "Comm " + std::to_string(progress.port) + ": " : std::string();
    text += StepText(progress);
    if (progress.left >= 0) text += ": " + std::to_string(progress.left) + " " + progress.leftWhat;
    return text;
}

class Operator {
  public:
    virtual ~Operator() = default;

    // A message box with the warning icon and OK.
    virtual void Warning(const std::string& title, const std::string& text) = 0;
    // The same, about a port that would not open: the text stays as given, and why the port failed
    // (the driver's reason, such as "busy: held by PID 4711 (minicom)") goes where the operator can
    // look it up. Those who have no such place show the text alone.
    virtual void PortWarning(const std::string& title, const std::string& text,
                             const std::string& /*reason*/) {
        Warning(title, text);
    }
    // A message box with the warning icon, OK and Cancel: true for OK.
    virtual bool AskOkCancel(const std::string& title, const std::string& text) = 0;
    // The hourglass while an operation runs.
    virtual void SetBusy(bool busy) = 0;
    // Shows the configuration summary from the Port Contexts' results; returns when it is closed.
    virtual void ShowConfigurationSummary() = 0;
    // Gives the focus to the main window's focus sink after an operation.
    virtual void FocusSink() = 0;
    // What the operation is doing now; an empty step when it has finished. The first progress of a
    // load comes once its port is open.
    virtual void Progress(const OperationProgress& /*progress*/) {}
    // A stop request ended Configure Receivers before its summary: steps[commIndex] tells how far
    // each port had gone. Called while the Port Contexts still hold what happened, before they are
    // reset and the ports closed. The window program never stops a run this way.
    virtual void RunStopped(const std::vector<RunStep>& /*steps*/) {}
};
