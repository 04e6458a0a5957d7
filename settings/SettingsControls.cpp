#include "settings/SettingsControls.h"

#include <string_view>

// Compile-time checks of the control tables: every binding lies inside its group, no bit is bound
// twice, and no control name is used twice.
namespace {

constexpr bool InsideGroup(int groupNo, int offset, FieldType field) {
    return groupNo >= 1 && groupNo <= kGroupCount && offset >= 0 &&
           offset + FieldWidth(field) <= kSettingsGroups[static_cast<size_t>(groupNo - 1)].length;
}

constexpr bool CheckBoxesValid() {
    for (size_t i = 0; i < kCheckBoxBindings.size(); ++i) {
        const CheckBoxBinding& b = kCheckBoxBindings[i];
        if (!InsideGroup(b.group, b.offset, b.field)) return false;
        if (b.field != FieldType::kU8 && b.field != FieldType::kU32) return false;
        if (b.bit == kFlagByte ? b.field != FieldType::kU8 : (b.bit < 0 || b.bit >= 8 * FieldWidth(b.field)))
            return false;
        for (size_t j = 0; j < i; ++j) {
            const CheckBoxBinding& o = kCheckBoxBindings[j];
            if (o.group == b.group && o.offset == b.offset && o.bit == b.bit) return false;
        }
    }
    return true;
}

constexpr bool CombosValid() {
    for (const ComboBoxBinding& b : kComboBoxBindings) {
        if (!InsideGroup(b.group, b.offset, b.field) || b.items.empty()) return false;
        if (b.copyOffset != kNoCopy && !InsideGroup(b.group, b.copyOffset, b.field)) return false;
        // Every item is shown for the code it stores.
        for (int item = 0; item < static_cast<int>(b.items.size()); ++item)
            if (ItemForCode(b.rule, CodeForItem(b.rule, item)) != item) return false;
    }
    return true;
}

constexpr bool EditsValid() {
    for (const EditBinding& b : kEditBindings) {
        if (!InsideGroup(b.group, b.offset, b.field)) return false;
        const bool integerField = b.field == FieldType::kU8 || b.field == FieldType::kU32;
        const bool integerFormat = b.format == EditFormat::kUnsigned || b.format == EditFormat::kDecimal ||
                                   b.format == EditFormat::kLong;
        if (integerField != integerFormat) return false;
        if (b.conversion == EditConversion::kStrictInteger && b.field != FieldType::kU8) return false;
        if (b.conversion == EditConversion::kStrictReal && integerField) return false;
    }
    return true;
}

constexpr bool RadioButtonsValid() {
    for (const RadioButtonBinding& b : kRadioButtonBindings) {
        bool ruled = false;
        for (const RadioModeRule& r : kRadioModeRules)
            ruled = ruled || (r.group == b.group && r.offset == b.offset);
        if (!ruled || !InsideGroup(b.group, b.offset, FieldType::kU8)) return false;
    }
    return true;
}

template <typename Table>
constexpr void AddNames(const Table& table, std::string_view* names, size_t& count) {
    for (const auto& entry : table) names[count++] = entry.control;
}

constexpr bool NamesUnique() {
    std::string_view names[kCheckBoxBindings.size() + kRadioButtonBindings.size() + kComboBoxBindings.size() +
                           kEditBindings.size() + kSettingsBoxes.size() + 1]{};
    size_t count = 0;
    AddNames(kCheckBoxBindings, names, count);
    AddNames(kRadioButtonBindings, names, count);
    AddNames(kComboBoxBindings, names, count);
    AddNames(kEditBindings, names, count);
    for (const SettingsBox& box : kSettingsBoxes) names[count++] = box.name;
    names[count++] = kFocusSinkName;
    for (size_t i = 0; i < count; ++i)
        for (size_t j = 0; j < i; ++j)
            if (names[i] == names[j]) return false;
    return true;
}

static_assert(CheckBoxesValid());
static_assert(CombosValid());
static_assert(EditsValid());
static_assert(RadioButtonsValid());
static_assert(NamesUnique());
static_assert(kDatumItems.size() == 181);

}  // namespace
