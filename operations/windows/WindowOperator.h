// The Operator of the window program: message boxes with the warning icon, the override cursor,
// the summary window, the main window's focus sink through the settings view, and a small window
// that tells what a long operation is doing.
#pragma once

#include <QLabel>
#include <QPointer>
#include <string>

#include "operations/Operator.h"

class QLabel;
class QMessageBox;

class WindowOperator : public Operator {
  public:
    void Warning(const std::string& title, const std::string& text) override;
    void PortWarning(const std::string& title, const std::string& text, const std::string& reason) override;
    bool AskOkCancel(const std::string& title, const std::string& text) override;
    void SetBusy(bool busy) override;
    void ShowConfigurationSummary() override;
    void FocusSink() override;
    void Progress(const OperationProgress& progress) override;

    // The progress window, or nullptr before the first progress; for tests.
    QLabel* ProgressWindow() const { return progressWindow; }

  private:
    // Runs a message box: the progress window is gone first, and the pointer over the box is the
    // normal arrow even while an operation is busy.
    int RunBox(QMessageBox& box);
    void HideProgress();

    int busyDepth =
        0;  // override cursors pushed by this operator, so SetBusy(false) never pops one it did not push
    // Owned by the window it was shown over; gone with it.
    QPointer<QLabel> progressWindow;
};

// The one window operator the dialogs use.
WindowOperator& TheWindowOperator();

// Makes the waits of the long operations let the window system repaint (user input still waits
// until the operation is over). The window program calls it once at start.
void LetWindowsRepaintDuringWaits();
