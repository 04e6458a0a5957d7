// A settings view without a window, built from the control tables: edits start empty, combo boxes
// without a selection, check boxes and radio buttons clear, the five datum edits disabled. It
// behaves like the window's controls where display and capture rely on it (an item index outside
// the list selects nothing, choosing a radio button clears the others of its box) and fails the
// test on a control name it does not know.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>

#include "settings/Datum.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsView.h"

class FakeSettingsView : public SettingsView {
  public:
    struct Control {
        enum Kind { kCheckBox, kRadioButton, kComboBox, kEdit };
        Control(Kind k = kEdit, const char* b = "", int count = 0) : kind(k), box(b), itemCount(count) {}
        Kind kind;
        const char* box = "";
        int itemCount = 0;
        std::string text;
        bool checked = false;
        int itemIndex = -1;
        bool enabled = true;
    };

    FakeSettingsView() {
        for (const auto& b : kCheckBoxBindings) controls_[b.control] = Control(Control::kCheckBox, b.box);
        for (const auto& b : kRadioButtonBindings)
            controls_[b.control] = Control(Control::kRadioButton, b.box);
        for (const auto& b : kComboBoxBindings)
            controls_[b.control] = Control(Control::kComboBox, b.box, static_cast<int>(b.items.size()));
        for (const auto& b : kEditBindings) controls_[b.control] = Control(Control::kEdit, b.box);
        for (const char* edit : kCustomDatumEdits) controls_[edit].enabled = false;
    }

    void SetText(std::string_view control, const std::string& text) override {
        Find(control, Control::kEdit).text = text;
    }
    std::string Text(std::string_view control) const override { return Find(control, Control::kEdit).text; }

    void SetChecked(std::string_view control, bool checked) override {
        Control& c = Find(control);
        if (c.kind == Control::kRadioButton && checked)
            for (auto& [name, other] : controls_)
                if (other.kind == Control::kRadioButton && std::string_view(other.box) == c.box)
                    other.checked = false;
        c.checked = checked;
    }
    bool Checked(std::string_view control) const override { return Find(control).checked; }

    void SetItemIndex(std::string_view control, int index) override {
        Control& c = Find(control, Control::kComboBox);
        c.itemIndex = (index >= 0 && index < c.itemCount) ? index : -1;
    }
    int ItemIndex(std::string_view control) const override {
        return Find(control, Control::kComboBox).itemIndex;
    }

    void SetEnabled(std::string_view control, bool enabled) override { Find(control).enabled = enabled; }
    bool Enabled(std::string_view control) const override { return Find(control).enabled; }

    void FocusSink() override { ++focusSinkCalls; }

    int focusSinkCalls = 0;

  private:
    Control& Find(std::string_view name) const {
        auto it = controls_.find(name);
        if (it == controls_.end()) {
            ADD_FAILURE() << "no settings control named " << name;
            return missing_;
        }
        return it->second;
    }
    Control& Find(std::string_view name, Control::Kind kind) const {
        Control& c = Find(name);
        if (&c != &missing_ && c.kind != kind) ADD_FAILURE() << name << " is not the kind of control used";
        return c;
    }

    mutable std::map<std::string, Control, std::less<>> controls_;
    mutable Control missing_;
};

// Registers a fresh fake view and puts the program-wide state back as at start-up: the image zero,
// the datum edits flag false. Unregisters the view at the end of the test.
class SettingsViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsImage.fill(0);
        CustomDatumEditsEnabled = false;
        RegisterSettingsView(&view);
    }
    void TearDown() override { RegisterSettingsView(nullptr); }

    FakeSettingsView view;
};
