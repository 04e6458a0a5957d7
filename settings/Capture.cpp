#include "settings/Capture.h"

#include <cstring>

#include "bytes/ByteOrder.h"
#include "settings/Conversions.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsImage.h"
#include "settings/SettingsView.h"

namespace {

void WriteCode(const ComboBoxBinding& combo, uint8_t* group, int offset, int code) {
    if (combo.field == FieldType::kI16)
        PutU16BE(static_cast<uint16_t>(code), group + offset);
    else
        group[offset] = static_cast<uint8_t>(code);  // the low 8 bits: no selection stores what -1 gives
}

// Reads whether an edit is read now, from the bytes this capture has already written.
bool EditRead(const EditBinding& edit, const uint8_t* group) {
    switch (edit.condition) {
        case EditCondition::kAlways:
            return true;
        case EditCondition::kAltitudeSet:
            return group[0] == 0;
        case EditCondition::kCustomDatum:
            return static_cast<int16_t>(GetU16BE(group + 1)) == -1;
    }
    return true;
}

void CaptureEdit(const SettingsView& view, const EditBinding& edit, uint8_t* group) {
    uint8_t* field = group + edit.offset;
    if (!EditRead(edit, group)) {
        // Parameters beside a listed datum are not read and become zero; the altitude keeps its bytes.
        if (edit.condition == EditCondition::kCustomDatum)
            std::memset(field, 0, static_cast<size_t>(FieldWidth(edit.field)));
        return;
    }
    StoreEditText(edit, view.Text(edit.control), field);
}

// One capture step: the group's fixed bytes, its radio buttons, its combo boxes, its edits (in
// table order; a failing strict conversion stops here with the earlier fields written), and last
// its check boxes.
void CaptureGroup(const SettingsView& view, int groupNo) {
    uint8_t* group = SettingsGroupBytes(groupNo);

    for (const FixedCaptureByte& fixed : kFixedCaptureBytes)
        if (fixed.group == groupNo) group[fixed.offset] = fixed.value;

    for (const RadioModeRule& rule : kRadioModeRules) {
        if (rule.group != groupNo) continue;
        bool chosen = false;
        for (const RadioButtonBinding& button : kRadioButtonBindings) {
            if (button.group == groupNo && button.offset == rule.offset && view.Checked(button.control)) {
                group[rule.offset] = button.code;
                chosen = true;
                break;
            }
        }
        if (!chosen && rule.noneChosenCode != kKeepByte)
            group[rule.offset] = static_cast<uint8_t>(rule.noneChosenCode);
    }

    for (const ComboBoxBinding& combo : kComboBoxBindings) {
        if (combo.group != groupNo) continue;
        const int code = CodeForItem(combo.rule, view.ItemIndex(combo.control));
        WriteCode(combo, group, combo.offset, code);
        if (combo.copyOffset != kNoCopy) WriteCode(combo, group, combo.copyOffset, code);
    }

    for (const EditBinding& edit : kEditBindings)
        if (edit.group == groupNo) CaptureEdit(view, edit, group);

    // Every mask field with a check box is rebuilt from its check boxes alone.
    for (const CheckBoxBinding& box : kCheckBoxBindings)
        if (box.group == groupNo)
            std::memset(group + box.offset, 0, static_cast<size_t>(FieldWidth(box.field)));
    for (const CheckBoxBinding& box : kCheckBoxBindings) {
        if (box.group != groupNo || !view.Checked(box.control)) continue;
        const MaskBitPosition position = BitPosition(box);
        group[position.byte] |= box.bit == kFlagByte ? 1 : position.mask;
    }
}

}  // namespace

bool StoreEditText(const EditBinding& edit, const std::string& text, uint8_t* field) {
    switch (edit.conversion) {
        case EditConversion::kStrictInteger:
            field[0] = static_cast<uint8_t>(StrictInteger(text));  // no range check: the low 8 bits
            return true;
        case EditConversion::kStrictReal: {
            long double value = StrictReal(text);
            if (edit.degrees) value *= kRadiansPerDegree;
            if (edit.field == FieldType::kSingle)
                PutSingleBE(StrictRealToSingle(value, text), field);
            else
                PutDoubleBE(StrictRealToDouble(value, text), field);
            return true;
        }
        case EditConversion::kScan:
            // A text that does not begin with a number leaves the field as it was.
            if (edit.field == FieldType::kDouble) {
                const auto value = ScanDouble(text);
                if (value) PutDoubleBE(*value, field);
                return value.has_value();
            }
            if (edit.field == FieldType::kSingle) {
                const auto value = ScanSingle(text);
                if (value) PutSingleBE(*value, field);
                return value.has_value();
            }
            const auto value = ScanInteger32(text);
            if (value) PutU32BE(static_cast<uint32_t>(*value), field);
            return value.has_value();
    }
    return false;
}

void CaptureSettings() {
    const SettingsView* view = CurrentSettingsView();
    if (view == nullptr) return;  // no window: the image already holds the settings
    for (const SettingsGroupInfo& group : kSettingsGroups) CaptureGroup(*view, group.number);
}
