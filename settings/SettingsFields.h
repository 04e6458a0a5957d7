// The fields of a Settings Image as the command-line tool prints and compares them: every byte of
// every group, decoded through the main window's own control tables (captions, combo-box items,
// edit formats) and its own display operations. Bytes no control shows are given in hex.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/SettingsImage.h"

enum class FieldKind : uint8_t {
    kRadio,      // a mode byte chosen by radio buttons
    kCombo,      // a code chosen from a combo box (or the copy capture keeps of one)
    kEdit,       // a number in an edit
    kCheckBox,   // one bit (or a whole flag byte) behind a check box
    kOtherBits,  // the bits of a mask field that have no check box
    kBytes,      // bytes no control shows (carried, subcodes, port numbers)
};

const char* FieldKindName(FieldKind kind);

struct SettingsField {
    int group = 0;                  // 1..13
    int offset = 0;                 // first byte, within the group
    int width = 0;                  // bytes
    std::vector<uint8_t> bitMasks;  // per byte of [offset, offset + width): the bits this field is made of
    FieldKind kind = FieldKind::kBytes;
    std::string control;  // the window's control, empty for none
    std::string name;
    std::string text;      // as the window shows it; hex for bytes
    int code = 0;          // radio and combo: the stored code
    int bit = -1;          // check box: bit number within its mask field, −1 for a whole flag byte
    bool checked = false;  // check box
    bool shown = true;     // false for a value the window leaves out (the altitude beside "Cancel")

    // True when this field's bits differ between two copies of its group.
    bool Differs(const uint8_t* groupA, const uint8_t* groupB) const;
};

// Every field of one group (groupNo 1..13, group pointing at its bytes), in byte order. Groups that
// are all carried bytes still give one field. Leaves the Settings Image, the registered settings view
// and the datum edit state as they were.
std::vector<SettingsField> DecodeSettingsGroup(int groupNo, const uint8_t* group);

// "0A 1B 2C": upper-case hex, one blank between bytes.
std::string HexBytes(const uint8_t* bytes, int count);
// The bytes of a field, masked by its bit masks, as hex.
std::string FieldHex(const SettingsField& field, const uint8_t* group);
