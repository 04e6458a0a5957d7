// The settings view: how display and capture reach the main window's controls, by object name.
// The window registers one view when it is built; with none registered (tests, the command-line
// tool) the display operations still store their group in the Settings Image.
#pragma once

#include <string>
#include <string_view>

class SettingsView {
  public:
    virtual ~SettingsView() = default;

    virtual void SetText(std::string_view control, const std::string& text) = 0;
    virtual std::string Text(std::string_view control) const = 0;
    // Check boxes and radio buttons. Clearing a radio button leaves its group with none chosen.
    virtual void SetChecked(std::string_view control, bool checked) = 0;
    virtual bool Checked(std::string_view control) const = 0;
    // Combo boxes: the selected item index, −1 for no selection.
    virtual void SetItemIndex(std::string_view control, int index) = 0;
    virtual int ItemIndex(std::string_view control) const = 0;
    virtual void SetEnabled(std::string_view control, bool enabled) = 0;
    virtual bool Enabled(std::string_view control) const = 0;
    // Gives the input focus to the focus sink CheckBox_Dummy.
    virtual void FocusSink() = 0;
};

void RegisterSettingsView(SettingsView* view);  // nullptr unregisters
SettingsView* CurrentSettingsView();
