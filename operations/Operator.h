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
    // What the operation is doing now ("Comm 3: Link Check, pass 2 of 8"); an empty text when it has
    // finished. The first progress of a load comes once its port is open.
    virtual void Progress(const std::string& /*text*/) {}
    // A stop request ended Configure Receivers before its summary: steps[commIndex] tells how far
    // each port had gone. Called while the Port Contexts still hold what happened, before they are
    // reset and the ports closed. The window program never stops a run this way.
    virtual void RunStopped(const std::vector<RunStep>& /*steps*/) {}
};
