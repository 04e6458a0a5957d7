#include "settings/MemorySettingsView.h"

#include "settings/Datum.h"
#include "settings/SettingsControls.h"

MemorySettingsView::MemorySettingsView() {
    auto add = [this](const char* name, Kind kind, const char* box, int itemCount = 0) {
        Control& control = controls_[name];
        control.kind = kind;
        control.box = box;
        control.itemCount = itemCount;
    };
    for (const CheckBoxBinding& b : kCheckBoxBindings) add(b.control, Kind::kCheckBox, b.box);
    for (const RadioButtonBinding& b : kRadioButtonBindings) add(b.control, Kind::kRadioButton, b.box);
    for (const ComboBoxBinding& b : kComboBoxBindings)
        add(b.control, Kind::kComboBox, b.box, static_cast<int>(b.items.size()));
    for (const EditBinding& b : kEditBindings) add(b.control, Kind::kEdit, b.box);
    for (const char* edit : kCustomDatumEdits) controls_[edit].enabled = false;
}

void MemorySettingsView::BadControl(std::string_view, ControlFault) const {}

template <typename View>
auto* MemorySettingsView::Find(View& view, std::string_view name, Use use) {
    const auto found = view.controls_.find(name);
    decltype(&found->second) control = nullptr;
    if (found == view.controls_.end()) {
        view.BadControl(name, ControlFault::kUnknown);
        return control;
    }
    const Kind kind = found->second.kind;
    const bool fits = use == Use::kAny || (use == Use::kEdit && kind == Kind::kEdit) ||
                      (use == Use::kComboBox && kind == Kind::kComboBox) ||
                      (use == Use::kButton && (kind == Kind::kCheckBox || kind == Kind::kRadioButton));
    if (fits) {
        control = &found->second;
    } else {
        view.BadControl(name, ControlFault::kWrongKind);
    }
    return control;
}

void MemorySettingsView::SetText(std::string_view control, const std::string& text) {
    if (Control* c = Find(*this, control, Use::kEdit)) c->text = text;
}

std::string MemorySettingsView::Text(std::string_view control) const {
    const Control* c = Find(*this, control, Use::kEdit);
    return c == nullptr ? std::string() : c->text;
}

void MemorySettingsView::SetChecked(std::string_view control, bool checked) {
    Control* c = Find(*this, control, Use::kButton);
    if (c == nullptr) return;
    if (c->kind == Kind::kRadioButton && checked)
        for (auto& [name, other] : controls_)
            if (other.kind == Kind::kRadioButton && std::string_view(other.box) == c->box)
                other.checked = false;
    c->checked = checked;
}

bool MemorySettingsView::Checked(std::string_view control) const {
    const Control* c = Find(*this, control, Use::kButton);
    return c != nullptr && c->checked;
}

void MemorySettingsView::SetItemIndex(std::string_view control, int index) {
    if (Control* c = Find(*this, control, Use::kComboBox))
        c->itemIndex = (index >= 0 && index < c->itemCount) ? index : -1;
}

int MemorySettingsView::ItemIndex(std::string_view control) const {
    const Control* c = Find(*this, control, Use::kComboBox);
    return c == nullptr ? -1 : c->itemIndex;
}

void MemorySettingsView::SetEnabled(std::string_view control, bool enabled) {
    if (Control* c = Find(*this, control, Use::kAny)) c->enabled = enabled;
}

bool MemorySettingsView::Enabled(std::string_view control) const {
    const Control* c = Find(*this, control, Use::kAny);
    return c == nullptr || c->enabled;
}
