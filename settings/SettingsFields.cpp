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

std::vector<SettingsField> DecodeSettingsGroup(int groupNo, const uint8_t* group) {
    std::vector<SettingsField> fields;
    if (groupNo < 1 || groupNo > kGroupCount) return fields;
    const int length = SettingsGroup(groupNo).length;

    MemorySettingsView view;
    ShowThrough(view, groupNo, group);

    // Each field is sorted by the first byte of the field it belongs to, then by when it was added,
    // so that the check boxes of a mask stay in bit order and its other bits follow them.
    struct Entry {
        int key;
        size_t sequence;
        SettingsField field;
    };
    std::vector<Entry> entries;
    std::array<uint8_t, kLargestGroup> covered{};
    auto add = [&](int key, SettingsField field) {
        for (int i = 0; i < field.width; ++i)
            covered[static_cast<size_t>(field.offset + i)] |= field.bitMasks[static_cast<size_t>(i)];
        entries.push_back({key, entries.size(), std::move(field)});
    };

    for (const RadioModeRule& rule : kRadioModeRules) {
        if (rule.group != groupNo) continue;
        SettingsField field = WholeBytes(groupNo, rule.offset, 1, FieldKind::kRadio);
        field.code = group[rule.offset];
        field.text = "no button (code " + std::to_string(field.code) + ")";
        for (const RadioButtonBinding& button : kRadioButtonBindings) {
            if (button.group != groupNo || button.offset != rule.offset) continue;
            if (field.name.empty()) field.name = BoxCaption(button.box);
            if (view.Checked(button.control)) {
                field.control = button.control;
                field.text = button.caption;
            }
        }
        add(rule.offset, std::move(field));
    }

    for (const ComboBoxBinding& combo : kComboBoxBindings) {
        if (combo.group != groupNo) continue;
        SettingsField field = WholeBytes(groupNo, combo.offset, FieldWidth(combo.field), FieldKind::kCombo);
        field.control = combo.control;
        field.name = LabelOr(combo.label, combo.control);
        field.code = ReadCode(combo.field, group + combo.offset);
        field.text = ItemText(combo, view.ItemIndex(combo.control), field.code);
        add(combo.offset, std::move(field));

        if (combo.copyOffset == kNoCopy) continue;
        // The copy capture keeps beside the shown code (the output baud rate), read with the same items.
        SettingsField copy =
            WholeBytes(groupNo, combo.copyOffset, FieldWidth(combo.field), FieldKind::kCombo);
        copy.name = LabelOr(combo.label, combo.control) + " (output)";
        copy.code = ReadCode(combo.field, group + combo.copyOffset);
        copy.text = ItemText(combo, ItemForCode(combo.rule, copy.code), copy.code);
        add(combo.copyOffset, std::move(copy));
    }

    for (const EditBinding& edit : kEditBindings) {
        if (edit.group != groupNo) continue;
        SettingsField field = WholeBytes(groupNo, edit.offset, FieldWidth(edit.field), FieldKind::kEdit);
        field.control = edit.control;
        field.name = LabelOr(edit.label, edit.control);
        if (*edit.unit != '\0') field.name += std::string(" (") + edit.unit + ")";
        field.text = view.Text(edit.control);
        if (edit.condition == EditCondition::kAltitudeSet && group[0] != 0) {
            // The window leaves the altitude out unless "Set Altitude" is chosen; the file still
            // holds it, so it is printed in the window's format all the same.
            std::array<uint8_t, kLargestGroup> setForm{};
            std::memcpy(setForm.data(), group, static_cast<size_t>(length));
            setForm[0] = 0;
            MemorySettingsView setView;
            ShowThrough(setView, groupNo, setForm.data());
            field.text = setView.Text(edit.control);
            field.shown = false;
        }
        add(edit.offset, std::move(field));
    }

    struct MaskField {
        int offset;
        int width;
    };
    std::vector<MaskField> maskFields;
    for (const CheckBoxBinding& box : kCheckBoxBindings) {
        if (box.group != groupNo) continue;
        const MaskBitPosition position = BitPosition(box);
        SettingsField field;
        field.group = groupNo;
        field.offset = position.byte;
        field.width = 1;
        field.bitMasks = {position.mask};
        field.kind = FieldKind::kCheckBox;
        field.control = box.control;
        field.name = box.caption;
        field.bit = box.bit;
        field.checked = view.Checked(box.control);
        field.text = field.checked ? "on" : "off";
        add(box.offset, std::move(field));
        if (box.bit != kFlagByte && std::none_of(maskFields.begin(), maskFields.end(),
                                                 [&](const MaskField& m) { return m.offset == box.offset; }))
            maskFields.push_back({box.offset, FieldWidth(box.field)});
    }
    for (const MaskField& mask : maskFields) {
        SettingsField field;
        field.group = groupNo;
        field.offset = mask.offset;
        field.width = mask.width;
        field.kind = FieldKind::kOtherBits;
        bool any = false;
        for (int i = 0; i < mask.width; ++i) {
            const auto other = static_cast<uint8_t>(~covered[static_cast<size_t>(mask.offset + i)]);
            field.bitMasks.push_back(other);
            any = any || other != 0;
        }
        if (!any) continue;
        field.name =
            RangeName("Other bits of byte", "Other bits of bytes", mask.offset, mask.offset + mask.width - 1);
        std::string hex = FieldHex(field, group);
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
        field.text = "0x" + hex;
        add(mask.offset, std::move(field));
    }

    // Runs of bytes no control shows.
    for (int first = 0; first < length;) {
        if (covered[static_cast<size_t>(first)] != 0) {
            ++first;
            continue;
        }
        int last = first;
        while (last + 1 < length && covered[static_cast<size_t>(last + 1)] == 0) ++last;
        SettingsField field = WholeBytes(groupNo, first, last - first + 1, FieldKind::kBytes);
        field.name = RangeName("Byte", "Bytes", first, last);
        field.text = HexBytes(group + first, field.width);
        add(first, std::move(field));
        first = last + 1;
    }

    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.key != b.key ? a.key < b.key : a.sequence < b.sequence;
    });
    fields.reserve(entries.size());
    for (Entry& entry : entries) fields.push_back(std::move(entry.field));
    return fields;
}
