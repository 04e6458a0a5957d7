// Setting one field of the image from a value, read as the window reads its control.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>

#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/Conversions.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsText.h"
#include "settings/SettingsTextParts.h"

using namespace settings_text;

namespace {

// Text stands for whatever type the field wants (a value typed on the command line).
bool StringLike(const SettingsValue& value) {
    return value.type == SettingsValueType::kText || value.type == SettingsValueType::kString;
}
bool IntegerLike(const SettingsValue& value) {
    return value.type == SettingsValueType::kText || value.type == SettingsValueType::kInteger;
}

bool WrongType(const SettingsValue& value, std::string& error, const std::string& wanted) {
    error = "'" + value.text + "' is not " + wanted;
    return false;
}

bool SetRadio(const SettingsField& field, const SettingsValue& value, uint8_t* bytes, std::string& error) {
    const bool stringLike = StringLike(value);
    const bool integerLike = IntegerLike(value);
    long long number = 0;
    const std::vector<const RadioButtonBinding*> buttons = ButtonsOf(field);
    std::string choices;
    for (const RadioButtonBinding* button : buttons) {
        if (stringLike && SameWord(value.text, button->caption)) {
            bytes[0] = button->code;
            return true;
        }
        choices += std::string(choices.empty() ? "" : ", ") + "\"" + button->caption + "\"";
    }
    if (integerLike && ParseInteger(value.text, 0, 255, number)) {
        bytes[0] = static_cast<uint8_t>(number);
        return true;
    }
    return WrongType(value, error,
                     "a choice of " + field.name + ": " + choices + ", or a code from 0 to 255");
}

bool SetCombo(const SettingsField& field, const SettingsValue& value, uint8_t* bytes, std::string& error) {
    const bool stringLike = StringLike(value);
    const bool integerLike = IntegerLike(value);
    long long number = 0;
    const ComboBoxBinding* combo = ComboOf(field);
    if (combo == nullptr) return WrongType(value, error, "a value of " + field.name);
    std::vector<int> items;
    for (size_t i = 0; i < combo->items.size(); ++i)
        if (stringLike && SameWord(value.text, combo->items[i])) items.push_back(static_cast<int>(i));
    int code = 0;
    if (items.size() == 1) {
        code = CodeForItem(combo->rule, items[0]);
    } else if (items.size() > 1) {
        std::string codes;
        for (const int item : items)
            codes += (codes.empty() ? "" : ", ") + std::to_string(CodeForItem(combo->rule, item));
        error = "'" + value.text + "' names more than one item of " + field.name + ": give its code (" +
                codes + ")";
        return false;
    } else if (const bool wide = combo->field == FieldType::kI16;
               integerLike && ParseInteger(value.text, wide ? -32768 : 0, wide ? 32767 : 255, number)) {
        code = static_cast<int>(number);
    } else {
        std::string list;
        if (combo->items.size() <= 10)
            for (const char* item : combo->items) list += std::string(list.empty() ? "" : ", ") + item;
        else
            list = "the names of the list";
        return WrongType(value, error, "an item of " + field.name + " (" + list + ") or its code");
    }
    if (combo->field == FieldType::kI16)
        PutU16BE(static_cast<uint16_t>(code), bytes);
    else
        bytes[0] = static_cast<uint8_t>(code);
    return true;
}

bool SetEdit(const SettingsField& field, const SettingsValue& value, uint8_t* bytes, std::string& error) {
    const bool stringLike = StringLike(value);
    const EditBinding* edit = EditOf(field);
    if (edit == nullptr || value.type == SettingsValueType::kBoolean)
        return WrongType(value, error, "a number for " + field.name);
    std::string literal = value.text;
    if (value.type == SettingsValueType::kFloat)  // TOML allows 1_000.5
        literal.erase(std::remove(literal.begin(), literal.end(), '_'), literal.end());
    const bool real = edit->field == FieldType::kSingle || edit->field == FieldType::kDouble;
    std::array<uint8_t, 8> converted{};
    std::memcpy(converted.data(), bytes, static_cast<size_t>(field.width));
    if (real && stringLike && literal.rfind("hex:", 0) == 0) {
        if (!ParseHex(std::string_view(literal).substr(4), field.width, converted.data()))
            return WrongType(value, error,
                             "hex: and the " + std::to_string(field.width) + " bytes of " + field.name);
    } else {
        try {
            if (!StoreEditText(*edit, literal, converted.data())) {
                error = (real ? RealErrorText(literal) : IntegerErrorText(literal)) + ".";
                return false;
            }
        } catch (const ConversionError& conversion) {
            error = std::string(conversion.what()) + ".";
            return false;
        }
    }
    std::memcpy(bytes, converted.data(), static_cast<size_t>(field.width));
    return true;
}

bool SetCheckBox(const SettingsField& field, const SettingsValue& value, uint8_t* bytes, std::string& error) {
    const bool text = value.type == SettingsValueType::kText;
    const bool integerLike = IntegerLike(value);
    long long number = 0;
    const uint8_t mask = field.bitMasks[0];
    int state = -1;
    if (value.type == SettingsValueType::kBoolean || text) {
        for (const char* word : {"true", "on", "yes", "1"})
            if (SameWord(value.text, word)) state = 1;
        for (const char* word : {"false", "off", "no", "0"})
            if (SameWord(value.text, word)) state = 0;
    }
    if (state >= 0) {
        if (field.bit == kFlagByte)
            bytes[0] = static_cast<uint8_t>(state);
        else
            bytes[0] = static_cast<uint8_t>(state != 0 ? (bytes[0] | mask) : (bytes[0] & ~mask));
        return true;
    }
    // A flag byte holds any value; the window shows every one but 0 checked.
    if (field.bit == kFlagByte && integerLike && ParseInteger(value.text, 0, 255, number)) {
        bytes[0] = static_cast<uint8_t>(number);
        return true;
    }
    return WrongType(value, error,
                     std::string("true or false for the check box ") + field.name +
                         (field.bit == kFlagByte ? " (or the byte, 0 to 255)" : ""));
}

bool SetBits(const SettingsField& field, const SettingsValue& value, uint8_t* bytes, std::string& error) {
    const bool stringLike = StringLike(value);
    std::array<uint8_t, kLargestGroup> parsed{};
    if (!stringLike || !ParseHex(value.text, field.width, parsed.data()))
        return WrongType(value, error,
                         "hex of " + std::to_string(field.width) + (field.width == 1 ? " byte" : " bytes"));
    for (int i = 0; i < field.width; ++i) {
        const uint8_t mask = field.bitMasks[static_cast<size_t>(i)];
        if ((parsed[static_cast<size_t>(i)] & ~mask) != 0) {
            std::array<uint8_t, 4> masks{};
            std::copy(field.bitMasks.begin(), field.bitMasks.end(), masks.begin());
            error = "'" + value.text + "' sets bits outside " + field.name + " (mask 0x" +
                    CompactHex(masks.data(), field.width) + ")";
            return false;
        }
    }
    for (int i = 0; i < field.width; ++i) {
        const uint8_t mask = field.bitMasks[static_cast<size_t>(i)];
        bytes[i] = static_cast<uint8_t>((bytes[i] & ~mask) | (parsed[static_cast<size_t>(i)] & mask));
    }
    return true;
}

}  // namespace

bool SetSettingsField(const SettingsKey& key, const SettingsValue& value, uint8_t* image,
                      std::string& error) {
    const SettingsField& field = key.layout;
    uint8_t* bytes = image + SettingsGroup(field.group).offset + field.offset;
    switch (field.kind) {
        case FieldKind::kRadio:
            return SetRadio(field, value, bytes, error);
        case FieldKind::kCombo:
            return SetCombo(field, value, bytes, error);
        case FieldKind::kEdit:
            return SetEdit(field, value, bytes, error);
        case FieldKind::kCheckBox:
            return SetCheckBox(field, value, bytes, error);
        case FieldKind::kOtherBits:
        case FieldKind::kBytes:
            return SetBits(field, value, bytes, error);
    }
    return false;
}
