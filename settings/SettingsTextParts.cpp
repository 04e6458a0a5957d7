#include "settings/SettingsTextParts.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/Conversions.h"

namespace settings_text {

const EditBinding* EditOf(const SettingsField& field) {
    for (const EditBinding& edit : kEditBindings)
        if (field.control == edit.control) return &edit;
    return nullptr;
}

// The combo box of a field: its own, or the one whose code capture copies into it.
const ComboBoxBinding* ComboOf(const SettingsField& field) {
    for (const ComboBoxBinding& combo : kComboBoxBindings) {
        if (field.control == combo.control) return &combo;
        if (field.control.empty() && combo.group == field.group && combo.copyOffset == field.offset)
            return &combo;
    }
    return nullptr;
}

std::vector<const RadioButtonBinding*> ButtonsOf(const SettingsField& field) {
    std::vector<const RadioButtonBinding*> buttons;
    for (const RadioButtonBinding& button : kRadioButtonBindings)
        if (button.group == field.group && button.offset == field.offset) buttons.push_back(&button);
    return buttons;
}

int ReadCode(const ComboBoxBinding& combo, const uint8_t* bytes) {
    if (combo.field == FieldType::kI16) return static_cast<int16_t>(GetU16BE(bytes));
    return bytes[0];
}

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

bool SameWord(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// A whole decimal integer (optional sign) within [low, high].
bool ParseInteger(const std::string& text, long long low, long long high, long long& value) {
    if (text.empty() || text.size() > 20) return false;
    size_t i = (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (i == text.size()) return false;
    long long magnitude = 0;
    for (; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > (1LL << 40)) return false;
    }
    value = text[0] == '-' ? -magnitude : magnitude;
    return value >= low && value <= high;
}

// Hex digits, blanks between bytes allowed, an optional "0x" in front: exactly count bytes.
bool ParseHex(std::string_view text, int count, uint8_t* bytes) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    std::string digits;
    for (const char c : text) {
        if (c == ' ') continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() != static_cast<size_t>(2 * count)) return false;
    for (int i = 0; i < count; ++i)
        bytes[i] = static_cast<uint8_t>(std::stoi(digits.substr(static_cast<size_t>(2 * i), 2), nullptr, 16));
    return true;
}

std::string CompactHex(const uint8_t* bytes, int count) {
    std::string hex = HexBytes(bytes, count);
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    return hex;
}

// A decimal text TOML reads as a float: digits on both sides of a point, or an exponent.
bool TomlFloatText(const std::string& text) {
    size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
    const size_t start = i;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
    if (i == start || (text[start] == '0' && i - start > 1)) return false;
    bool fraction = false;
    if (i < text.size() && text[i] == '.') {
        const size_t digits = ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        if (i == digits) return false;
        fraction = true;
    }
    bool exponent = false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        const size_t digits = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i;
        if (i == digits) return false;
        exponent = true;
    }
    return i == text.size() && (fraction || exponent);
}

// The text of a real edit that the window's conversion turns back into exactly these bytes: the
// window's own text when it does, else the shortest "%.*g" that does; none for NaN, infinities and
// values no decimal text reaches.
std::string ExactRealText(const EditBinding& edit, const uint8_t* field, const std::string& shown) {
    const int width = FieldWidth(edit.field);
    auto givesBack = [&](const std::string& text) {
        if (!TomlFloatText(text)) return false;
        std::array<uint8_t, 8> bytes{};
        std::memcpy(bytes.data(), field, static_cast<size_t>(width));
        bytes[0] ^= 0xFF;  // so that a conversion that writes nothing cannot pass
        try {
            if (!StoreEditText(edit, text, bytes.data())) return false;
        } catch (const ConversionError&) {
            return false;
        }
        return std::memcmp(bytes.data(), field, static_cast<size_t>(width)) == 0;
    };
    if (givesBack(shown)) return shown;
    double value =
        edit.field == FieldType::kSingle ? static_cast<double>(GetSingleBE(field)) : GetDoubleBE(field);
    if (edit.degrees) value *= kDegreesPerRadian;
    for (int precision = 1; precision <= 17; ++precision) {
        std::string text = FormatC("%.*g", precision, value);
        if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
        if (givesBack(text)) return text;
    }
    return {};
}

std::string KindWord(const SettingsField& field) {
    switch (field.kind) {
        case FieldKind::kRadio:
            return "radio buttons";
        case FieldKind::kCombo:
            return "list";
        case FieldKind::kEdit:
            return "edit";
        case FieldKind::kCheckBox:
            return "check box";
        case FieldKind::kOtherBits:
            return "bits no check box shows, hex";
        case FieldKind::kBytes:
            return "bytes no control shows, hex";
    }
    return "";
}

std::string ImageBytes(int first, int width) {
    if (width == 1) return "image byte " + std::to_string(first);
    return "image bytes " + std::to_string(first) + "-" + std::to_string(first + width - 1);
}

// The deepest nesting of brackets and braces, counted without regard to strings and comments (so
// it may count too many, never too few).
int RoughNesting(const std::string& text) {
    int depth = 0;
    int deepest = 0;
    for (const char c : text) {
        if (c == '[' || c == '{') deepest = std::max(deepest, ++depth);
        if ((c == ']' || c == '}') && depth > 0) --depth;
    }
    return deepest;
}

std::string FirstLines(const std::string& text, int count) {
    size_t end = 0;
    for (int i = 0; i < count && end != std::string::npos; ++i) {
        end = text.find('\n', end == 0 ? 0 : end + 1);
    }
    std::string first = end == std::string::npos ? text : text.substr(0, end);
    while (!first.empty() && (first.back() == '\n' || first.back() == ' ')) first.pop_back();
    return first;
}

}  // namespace settings_text
