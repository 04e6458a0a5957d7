#include "settings/Display.h"

#include <cstring>
#include <string>

#include "bytes/ByteOrder.h"
#include "settings/Conversions.h"
#include "settings/Datum.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsImage.h"
#include "settings/SettingsView.h"

namespace {

void StoreGroup(int groupNo, const uint8_t* group) {
    std::memmove(SettingsGroupBytes(groupNo), group, static_cast<size_t>(SettingsGroup(groupNo).length));
}

int ReadCode(const ComboBoxBinding& combo, const uint8_t* group) {
    if (combo.field == FieldType::kI16) return static_cast<int16_t>(GetU16BE(group + combo.offset));
    return group[combo.offset];
}

double ReadReal(const EditBinding& edit, const uint8_t* group) {
    const double value = edit.field == FieldType::kSingle
                             ? static_cast<double>(GetSingleBE(group + edit.offset))
                             : GetDoubleBE(group + edit.offset);
    return edit.degrees ? value * kDegreesPerRadian : value;
}

std::string EditText(const EditBinding& edit, const uint8_t* group) {
    const uint8_t* field = group + edit.offset;
    switch (edit.format) {
        case EditFormat::kFixed1:
            return FormatReal("%0.1f", ReadReal(edit, group));
        case EditFormat::kFixed2:
            return FormatReal("%.2f", ReadReal(edit, group));
        case EditFormat::kFixed3:
            return FormatReal("%.3f", ReadReal(edit, group));
        case EditFormat::kFixed14:
            return FormatReal("%0.14f", ReadReal(edit, group));
        case EditFormat::kExponent3:
            return FormatReal("%.3e", ReadReal(edit, group));
        case EditFormat::kUnsigned:
            return FormatC("%u", static_cast<unsigned>(field[0]));
        case EditFormat::kDecimal:
            return FormatC("%d", static_cast<int>(field[0]));
        case EditFormat::kLong:
            return FormatC("%ld", static_cast<long>(static_cast<int32_t>(GetU32BE(field))));
    }
    return {};
}

bool EditShown(const EditBinding& edit, const uint8_t* group) {
    return edit.condition != EditCondition::kAltitudeSet || group[0] == 0;
}

// Sets every control bound to group groupNo from the group's bytes in the image.
void ShowControls(int groupNo) {
    SettingsView* view = CurrentSettingsView();
    if (view == nullptr) return;
    const uint8_t* group = SettingsGroupBytes(groupNo);

    for (const RadioModeRule& rule : kRadioModeRules) {
        if (rule.group != groupNo) continue;
        const char* chosen = nullptr;
        for (const RadioButtonBinding& button : kRadioButtonBindings)
            if (button.group == groupNo && button.offset == rule.offset && button.code == group[rule.offset])
                chosen = button.control;
        if (chosen != nullptr) {
            view->SetChecked(chosen, true);
        } else if (rule.otherCodeClearsButtons) {
            for (const RadioButtonBinding& button : kRadioButtonBindings)
                if (button.group == groupNo && button.offset == rule.offset)
                    view->SetChecked(button.control, false);
        }
    }

    for (const ComboBoxBinding& combo : kComboBoxBindings) {
        if (combo.group != groupNo) continue;
        int item = ItemForCode(combo.rule, ReadCode(combo, group));
        if (item < 0 || item >= static_cast<int>(combo.items.size())) item = -1;  // no item stands for it
        view->SetItemIndex(combo.control, item);
    }

    for (const EditBinding& edit : kEditBindings)
        if (edit.group == groupNo)
            view->SetText(edit.control, EditShown(edit, group) ? EditText(edit, group) : "");

    for (const CheckBoxBinding& box : kCheckBoxBindings) {
        if (box.group != groupNo) continue;
        const MaskBitPosition position = BitPosition(box);
        view->SetChecked(box.control, (group[position.byte] & position.mask) != 0);
    }
}

void ShowGroupBytes(int groupNo, const uint8_t* group) {
    StoreGroup(groupNo, group);
    ShowControls(groupNo);
}

}  // namespace

void Show2DAltitude(const uint8_t* group) {
    ShowGroupBytes(kGroup2DAltitude, group);
}
void ShowIOOptions(const uint8_t* group) {
    ShowGroupBytes(kGroupIOOptions, group);
}
void ShowNMEAOutput(const uint8_t* group) {
    ShowGroupBytes(kGroupNMEAOutput, group);
}
void ShowGPSConfiguration(const uint8_t* group) {
    ShowGroupBytes(kGroupGPSConfiguration, group);
}

void ShowPortConfiguration(uint8_t port, const uint8_t* group) {
    // A report for a port the receiver does not have changes nothing, not even the image.
    if (port == 0)
        ShowGroupBytes(kGroupPortAConfiguration, group);
    else if (port == 1)
        ShowGroupBytes(kGroupPortBConfiguration, group);
}

void ShowDatum(const uint8_t* group) {
    ShowGroupBytes(kGroupDatum, group);
    // A selection made from code raises no change event: run the rule as a change from code.
    ComboBox_DatumChange(kDatumSelectedFromCode);
}

void ShowTimingOutputSettings(const uint8_t* group) {
    ShowGroupBytes(kGroupTimingOutputSettings, group);
}
void ShowPortBAutomaticOutput(const uint8_t* group) {
    ShowGroupBytes(kGroupPortBAutomaticOutput, group);
}
void ShowTimingOutputOptions(const uint8_t* group) {
    ShowGroupBytes(kGroupTimingOutputOptions, group);
}
void ShowPPSWidth(const uint8_t* group) {
    ShowGroupBytes(kGroupPPSWidth, group);
}
void ShowPacket8EA5Masks(const uint8_t* group) {
    ShowGroupBytes(kGroupPacket8EA5Masks, group);
}
void ShowSelfSurveyConfiguration(const uint8_t* group) {
    ShowGroupBytes(kGroupSelfSurveyConfiguration, group);
}

void ShowGroup(int groupNo, const uint8_t* group) {
    switch (groupNo) {
        case kGroup2DAltitude:
            Show2DAltitude(group);
            break;
        case kGroupIOOptions:
            ShowIOOptions(group);
            break;
        case kGroupNMEAOutput:
            ShowNMEAOutput(group);
            break;
        case kGroupGPSConfiguration:
            ShowGPSConfiguration(group);
            break;
        case kGroupPortAConfiguration:
            ShowPortConfiguration(0, group);
            break;
        case kGroupPortBConfiguration:
            ShowPortConfiguration(1, group);
            break;
        case kGroupDatum:
            ShowDatum(group);
            break;
        case kGroupTimingOutputSettings:
            ShowTimingOutputSettings(group);
            break;
        case kGroupPortBAutomaticOutput:
            ShowPortBAutomaticOutput(group);
            break;
        case kGroupTimingOutputOptions:
            ShowTimingOutputOptions(group);
            break;
        case kGroupPPSWidth:
            ShowPPSWidth(group);
            break;
        case kGroupPacket8EA5Masks:
            ShowPacket8EA5Masks(group);
            break;
        case kGroupSelfSurveyConfiguration:
            ShowSelfSurveyConfiguration(group);
            break;
        default:
            break;
    }
}
