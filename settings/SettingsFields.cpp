#include "settings/SettingsFields.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "bytes/ByteOrder.h"
#include "settings/Datum.h"
#include "settings/Display.h"
#include "settings/MemorySettingsView.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsView.h"

namespace {

constexpr int kLargestGroup = 43;

// Shows the group through its display operation into view, a fresh window-less view that keeps what
// display sets, so that the tool prints exactly the texts the main window would show. Then puts back
// the image bytes, the registered view and the datum edit state the operation may have changed.
void ShowThrough(MemorySettingsView& view, int groupNo, const uint8_t* group) {
    const int length = SettingsGroup(groupNo).length;
    std::array<uint8_t, kLargestGroup> imageBefore{};
    std::memcpy(imageBefore.data(), SettingsGroupBytes(groupNo), static_cast<size_t>(length));
    SettingsView* const previousView = CurrentSettingsView();
    const bool datumEditsBefore = CustomDatumEditsEnabled;

    RegisterSettingsView(&view);
    ShowGroup(groupNo, group);

    RegisterSettingsView(previousView);
    CustomDatumEditsEnabled = datumEditsBefore;
    std::memcpy(SettingsGroupBytes(groupNo), imageBefore.data(), static_cast<size_t>(length));
}

std::string BoxCaption(const char* box) {
    for (const SettingsBox& entry : kSettingsBoxes)
        if (std::string_view(entry.name) == box) return entry.caption;
    return box;
}

// "Output Interval (0-255 sec):" → "Output Interval (0-255 sec)".
std::string Trimmed(std::string_view label) {
    while (!label.empty() && (label.back() == ':' || label.back() == ' ')) label.remove_suffix(1);
    return std::string(label);
}

// "Edit_A_Axis" → "A Axis": the purpose part of a control name, for a control without a label.
std::string ControlPurpose(std::string_view control) {
    const size_t underscore = control.find('_');
    std::string purpose(underscore == std::string_view::npos ? control : control.substr(underscore + 1));
    std::replace(purpose.begin(), purpose.end(), '_', ' ');
    return purpose;
}

std::string LabelOr(const char* label, const char* control) {
    std::string name = Trimmed(label);
    return name.empty() ? ControlPurpose(control) : name;
}

int ReadCode(FieldType field, const uint8_t* bytes) {
    if (field == FieldType::kI16) return static_cast<int16_t>(GetU16BE(bytes));
    return bytes[0];
}

std::string ItemText(const ComboBoxBinding& combo, int item, int code) {
    if (item < 0 || item >= static_cast<int>(combo.items.size()))
        return "no item (code " + std::to_string(code) + ")";
    const std::string_view text = combo.items[static_cast<size_t>(item)];
    // The code follows the item text when the text alone would not give it back: an item that
    // appears twice in the list, or a code the window shows with the item of another code (a
    // receiver mode of 2 shows "Time only (1 SV)", which stands for 1).
    const auto copies = std::count_if(combo.items.begin(), combo.items.end(),
                                      [&](const char* other) { return text == other; });
    std::string result(text);
    if (copies > 1 || CodeForItem(combo.rule, item) != code) result += " (code " + std::to_string(code) + ")";
    return result;
}

SettingsField WholeBytes(int groupNo, int offset, int width, FieldKind kind) {
    SettingsField field;
    field.group = groupNo;
    field.offset = offset;
    field.width = width;
    field.bitMasks.assign(static_cast<size_t>(width), 0xFF);
    field.kind = kind;
    return field;
}

std::string RangeName(const char* singular, const char* plural, int first, int last) {
    if (first == last) return std::string(singular) + " " + std::to_string(first);
    return std::string(plural) + " " + std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

const char* FieldKindName(FieldKind kind) {
    switch (kind) {
        case FieldKind::kRadio:
            return "radio";
        case FieldKind::kCombo:
            return "combo";
        case FieldKind::kEdit:
            return "edit";
        case FieldKind::kCheckBox:
            return "check";
        case FieldKind::kOtherBits:
            return "bits";
        case FieldKind::kBytes:
            return "bytes";
    }
    return "bytes";
}

bool SettingsField::Differs(const uint8_t* groupA, const uint8_t* groupB) const {
    for (int i = 0; i < width; ++i) {
        const auto k = static_cast<size_t>(offset + i);
        if (((groupA[k] ^ groupB[k]) & bitMasks[static_cast<size_t>(i)]) != 0) return true;
    }
    return false;
}

std::string HexBytes(const uint8_t* bytes, int count) {
    std::string text;
    char digits[4];
    for (int i = 0; i < count; ++i) {
        std::snprintf(digits, sizeof digits, "%02X", bytes[i]);
        if (i > 0) text += ' ';
        text += digits;
    }
    return text;
}

std::string FieldHex(const SettingsField& field, const uint8_t* group) {
    std::array<uint8_t, kLargestGroup> masked{};
    for (int i = 0; i < field.width; ++i)
        masked[static_cast<size_t>(i)] = group[field.offset + i] & field.bitMasks[static_cast<size_t>(i)];
    return HexBytes(masked.data(), field.width);
}

namespace {

// The fields of one group, gathered control kind by control kind. Each field is sorted by the first
// byte of the field it belongs to, then by when it was added, so that the check boxes of a mask stay
// in bit order and its other bits follow them.
class GroupDecoder {
  public:
    GroupDecoder(int groupNo, const uint8_t* group)
        : groupNo_(groupNo), group_(group), length_(SettingsGroup(groupNo).length) {
        ShowThrough(view_, groupNo, group);
    }

    std::vector<SettingsField> Fields() {
        AddRadioFields();
        AddComboFields();
        AddEditFields();
        AddOtherBits(AddCheckBoxFields());
        AddUnshownBytes();
        return Sorted();
    }

  private:
    struct Entry {
        int key;
        size_t sequence;
        SettingsField field;
    };
    struct MaskField {
        int offset;
        int width;
    };

    void Add(int key, SettingsField field) {
        for (int i = 0; i < field.width; ++i)
            covered_[static_cast<size_t>(field.offset + i)] |= field.bitMasks[static_cast<size_t>(i)];
        entries_.push_back({key, entries_.size(), std::move(field)});
    }

    void AddRadioFields() {
        for (const RadioModeRule& rule : kRadioModeRules) {
            if (rule.group != groupNo_) continue;
            SettingsField field = WholeBytes(groupNo_, rule.offset, 1, FieldKind::kRadio);
            field.code = group_[rule.offset];
            field.text = "no button (code " + std::to_string(field.code) + ")";
            for (const RadioButtonBinding& button : kRadioButtonBindings) {
                if (button.group != groupNo_ || button.offset != rule.offset) continue;
                if (field.name.empty()) field.name = BoxCaption(button.box);
                if (view_.Checked(button.control)) {
                    field.control = button.control;
                    field.text = button.caption;
                }
            }
            Add(rule.offset, std::move(field));
        }
    }

    void AddComboFields() {
        for (const ComboBoxBinding& combo : kComboBoxBindings) {
            if (combo.group != groupNo_) continue;
            SettingsField field =
                WholeBytes(groupNo_, combo.offset, FieldWidth(combo.field), FieldKind::kCombo);
            field.control = combo.control;
            field.name = LabelOr(combo.label, combo.control);
            field.code = ReadCode(combo.field, group_ + combo.offset);
            field.text = ItemText(combo, view_.ItemIndex(combo.control), field.code);
            Add(combo.offset, std::move(field));

            if (combo.copyOffset == kNoCopy) continue;
            // The copy capture keeps beside the shown code (the output baud rate), read with the same items.
            SettingsField copy =
                WholeBytes(groupNo_, combo.copyOffset, FieldWidth(combo.field), FieldKind::kCombo);
            copy.name = LabelOr(combo.label, combo.control) + " (output)";
            copy.code = ReadCode(combo.field, group_ + combo.copyOffset);
            copy.text = ItemText(combo, ItemForCode(combo.rule, copy.code), copy.code);
            Add(combo.copyOffset, std::move(copy));
        }
    }

    // The window leaves the altitude out unless "Set Altitude" is chosen; the file still holds it,
    // so it is printed in the window's format all the same.
    std::string AltitudeAsSet(const EditBinding& edit) const {
        std::array<uint8_t, kLargestGroup> setForm{};
        std::memcpy(setForm.data(), group_, static_cast<size_t>(length_));
        setForm[0] = 0;
        MemorySettingsView setView;
        ShowThrough(setView, groupNo_, setForm.data());
        return setView.Text(edit.control);
    }

    void AddEditFields() {
        for (const EditBinding& edit : kEditBindings) {
            if (edit.group != groupNo_) continue;
            SettingsField field = WholeBytes(groupNo_, edit.offset, FieldWidth(edit.field), FieldKind::kEdit);
            field.control = edit.control;
            field.name = LabelOr(edit.label, edit.control);
            if (*edit.unit != '\0') field.name += std::string(" (") + edit.unit + ")";
            field.text = view_.Text(edit.control);
            if (edit.condition == EditCondition::kAltitudeSet && group_[0] != 0) {
                field.text = AltitudeAsSet(edit);
                field.shown = false;
            }
            Add(edit.offset, std::move(field));
        }
    }

    // Adds a field per check box; returns the masks they are bits of.
    std::vector<MaskField> AddCheckBoxFields() {
        std::vector<MaskField> maskFields;
        for (const CheckBoxBinding& box : kCheckBoxBindings) {
            if (box.group != groupNo_) continue;
            const MaskBitPosition position = BitPosition(box);
            SettingsField field;
            field.group = groupNo_;
            field.offset = position.byte;
            field.width = 1;
            field.bitMasks = {position.mask};
            field.kind = FieldKind::kCheckBox;
            field.control = box.control;
            field.name = box.caption;
            field.bit = box.bit;
            field.checked = view_.Checked(box.control);
            field.text = field.checked ? "on" : "off";
            Add(box.offset, std::move(field));
            if (box.bit != kFlagByte &&
                std::none_of(maskFields.begin(), maskFields.end(),
                             [&](const MaskField& m) { return m.offset == box.offset; }))
                maskFields.push_back({box.offset, FieldWidth(box.field)});
        }
        return maskFields;
    }

    // The bits of each mask that no check box shows, as one field per mask that has any.
    void AddOtherBits(const std::vector<MaskField>& maskFields) {
        for (const MaskField& mask : maskFields) {
            SettingsField field;
            field.group = groupNo_;
            field.offset = mask.offset;
            field.width = mask.width;
            field.kind = FieldKind::kOtherBits;
            bool any = false;
            for (int i = 0; i < mask.width; ++i) {
                const auto other = static_cast<uint8_t>(~covered_[static_cast<size_t>(mask.offset + i)]);
                field.bitMasks.push_back(other);
                any = any || other != 0;
            }
            if (!any) continue;
            field.name = RangeName("Other bits of byte", "Other bits of bytes", mask.offset,
                                   mask.offset + mask.width - 1);
            std::string hex = FieldHex(field, group_);
            hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
            field.text = "0x" + hex;
            Add(mask.offset, std::move(field));
        }
    }

    // Runs of bytes no control shows.
    void AddUnshownBytes() {
        for (int first = 0; first < length_;) {
            if (covered_[static_cast<size_t>(first)] != 0) {
                ++first;
                continue;
            }
            int last = first;
            while (last + 1 < length_ && covered_[static_cast<size_t>(last + 1)] == 0) ++last;
            SettingsField field = WholeBytes(groupNo_, first, last - first + 1, FieldKind::kBytes);
            field.name = RangeName("Byte", "Bytes", first, last);
            field.text = HexBytes(group_ + first, field.width);
            Add(first, std::move(field));
            first = last + 1;
        }
    }

    std::vector<SettingsField> Sorted() {
        std::stable_sort(entries_.begin(), entries_.end(), [](const Entry& a, const Entry& b) {
            return a.key != b.key ? a.key < b.key : a.sequence < b.sequence;
        });
        std::vector<SettingsField> fields;
        fields.reserve(entries_.size());
        for (Entry& entry : entries_) fields.push_back(std::move(entry.field));
        return fields;
    }

    const int groupNo_;
    const uint8_t* const group_;
    const int length_;
    MemorySettingsView view_;
    std::vector<Entry> entries_;
    std::array<uint8_t, kLargestGroup> covered_{};
};

}  // namespace

std::vector<SettingsField> DecodeSettingsGroup(int groupNo, const uint8_t* group) {
    if (groupNo < 1 || groupNo > kGroupCount) return {};
    return GroupDecoder(groupNo, group).Fields();
}
