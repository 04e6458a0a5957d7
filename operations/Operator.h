// The person at the screen, as the long operations see them. The windows answer with message
// boxes, the busy cursor and the summary window; tests answer from a script; the command-line
// tool prints.
#pragma once

#include <string>

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
};
