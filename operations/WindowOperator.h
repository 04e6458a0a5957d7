// The Operator of the window program: message boxes with the warning icon, the override cursor,
// the summary window, and the main window's focus sink through the settings view.
#pragma once

#include "operations/Operator.h"

class WindowOperator : public Operator {
public:
    void Warning(const std::string& title, const std::string& text) override;
    bool AskOkCancel(const std::string& title, const std::string& text) override;
    void SetBusy(bool busy) override;
    void ShowConfigurationSummary() override;
    void FocusSink() override;

private:
    int busyDepth = 0;  // override cursors pushed by this operator, so SetBusy(false) never pops one it did not push
};

// The one window operator the dialogs use.
WindowOperator& TheWindowOperator();
