// A settings view without a window: the main window's settings controls as the control tables list
// them, held in memory. Edits start empty, combo boxes without a selection, check boxes and radio
// buttons clear, every control enabled but the five custom-datum edits. The controls behave like
// the window's where display and capture rely on them: an item index outside a combo box's list
// selects nothing, and choosing a radio button clears the others of its box.
//
// The unit tests, the fuzz targets and the command-line tool each use one; what to do about a
// control name the tables do not have, or a control used as a kind it is not (the text of a check
// box), is theirs to say through BadControl. Such a call changes nothing and reads as a fresh
// control: empty text, clear, no selection, enabled.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "settings/SettingsView.h"

class MemorySettingsView : public SettingsView {
  public:
    enum class ControlFault : uint8_t {
        kUnknown,    // no control of the tables has this name
        kWrongKind,  // text of a non-edit, check state of a non-button, item of a non-combo box
    };

    MemorySettingsView();

    void SetText(std::string_view control, const std::string& text) override;
    std::string Text(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    bool Checked(std::string_view control) const override;
    void SetItemIndex(std::string_view control, int index) override;
    int ItemIndex(std::string_view control) const override;
    void SetEnabled(std::string_view control, bool enabled) override;
    bool Enabled(std::string_view control) const override;
    // There is no focus to move.
    void FocusSink() override {}

  protected:
    // Told of every call on a control that is not there or not of the kind the call needs.
    virtual void BadControl(std::string_view control, ControlFault fault) const;

  private:
    enum class Kind : uint8_t { kCheckBox, kRadioButton, kComboBox, kEdit };
    struct Control {
        Kind kind = Kind::kEdit;
        const char* box = "";
        int itemCount = 0;
        std::string text;
        bool checked = false;
        int itemIndex = -1;
        bool enabled = true;
    };

    // What a call needs the control to be.
    enum class Use : uint8_t { kAny, kEdit, kButton, kComboBox };
    // The control (const for a const view), or nullptr after telling BadControl.
    template <typename View>
    static auto* Find(View& view, std::string_view name, Use use);

    std::map<std::string, Control, std::less<>> controls_;
};
