#include "settings/SettingsText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <toml.hpp>

#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/Conversions.h"
#include "settings/SettingsControls.h"

namespace {

constexpr int kLargestGroup = 43;
// Arrays and inline tables nested deeper than this are refused before the parser sees them: a
// settings file has none, and the parser descends once per level.
constexpr int kMostNesting = 32;

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
        std::string text = FormatReal("%.*g", precision, value);
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

}  // namespace

int SettingsKey::ImageOffset() const {
    return SettingsGroup(layout.group).offset + layout.offset;
}

std::string SnakeCase(std::string_view text) {
    std::string out;
    bool gap = false;
    for (const char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c))) {
            if (gap && !out.empty()) out += '_';
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            gap = false;
        } else {
            gap = true;
        }
    }
    return out;
}

std::string GroupTableName(int groupNo) {
    return SnakeCase(SettingsGroup(groupNo).name);
}

const std::vector<SettingsKey>& SettingsKeys() {
    static const std::vector<SettingsKey> keys = [] {
        std::vector<SettingsKey> all;
        const std::array<uint8_t, kLargestGroup> zeros{};
        for (const SettingsGroupInfo& group : kSettingsGroups) {
            for (SettingsField& field : DecodeSettingsGroup(group.number, zeros.data())) {
                SettingsKey key;
                key.table = GroupTableName(group.number);
                key.key = SnakeCase(field.name);
                field.text.clear();
                if (field.kind == FieldKind::kRadio)
                    field.control.clear();  // the layout has no button chosen
                key.layout = std::move(field);
                all.push_back(std::move(key));
            }
        }
        return all;
    }();
    return keys;
}

const SettingsKey* FindSettingsKey(std::string_view path) {
    for (const SettingsKey& key : SettingsKeys())
        if (path.size() == key.table.size() + 1 + key.key.size() &&
            path.substr(0, key.table.size()) == key.table && path[key.table.size()] == '.' &&
            path.substr(key.table.size() + 1) == key.key)
            return &key;
    return nullptr;
}

bool SetSettingsField(const SettingsKey& key, const SettingsValue& value, uint8_t* image,
                      std::string& error) {
    const SettingsField& field = key.layout;
    uint8_t* group = image + SettingsGroup(field.group).offset;
    uint8_t* bytes = group + field.offset;
    const bool text = value.type == SettingsValueType::kText;
    const bool stringLike = text || value.type == SettingsValueType::kString;
    const bool integerLike = text || value.type == SettingsValueType::kInteger;
    long long number = 0;
    auto wrongType = [&](const std::string& wanted) {
        error = "'" + value.text + "' is not " + wanted;
        return false;
    };

    switch (field.kind) {
        case FieldKind::kRadio: {
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
            return wrongType("a choice of " + field.name + ": " + choices + ", or a code from 0 to 255");
        }
        case FieldKind::kCombo: {
            const ComboBoxBinding* combo = ComboOf(field);
            if (combo == nullptr) return wrongType("a value of " + field.name);
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
                error = "'" + value.text + "' names more than one item of " + field.name +
                        ": give its code (" + codes + ")";
                return false;
            } else if (const bool wide = combo->field == FieldType::kI16;
                       integerLike &&
                       ParseInteger(value.text, wide ? -32768 : 0, wide ? 32767 : 255, number)) {
                code = static_cast<int>(number);
            } else {
                std::string list;
                if (combo->items.size() <= 10)
                    for (const char* item : combo->items)
                        list += std::string(list.empty() ? "" : ", ") + item;
                else
                    list = "the names of the list";
                return wrongType("an item of " + field.name + " (" + list + ") or its code");
            }
            if (combo->field == FieldType::kI16)
                PutU16BE(static_cast<uint16_t>(code), bytes);
            else
                bytes[0] = static_cast<uint8_t>(code);
            return true;
        }
        case FieldKind::kEdit: {
            const EditBinding* edit = EditOf(field);
            if (edit == nullptr || value.type == SettingsValueType::kBoolean)
                return wrongType("a number for " + field.name);
            std::string literal = value.text;
            if (value.type == SettingsValueType::kFloat)  // TOML allows 1_000.5
                literal.erase(std::remove(literal.begin(), literal.end(), '_'), literal.end());
            const bool real = edit->field == FieldType::kSingle || edit->field == FieldType::kDouble;
            std::array<uint8_t, 8> converted{};
            std::memcpy(converted.data(), bytes, static_cast<size_t>(field.width));
            if (real && stringLike && literal.rfind("hex:", 0) == 0) {
                if (!ParseHex(std::string_view(literal).substr(4), field.width, converted.data()))
                    return wrongType("hex: and the " + std::to_string(field.width) + " bytes of " +
                                     field.name);
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
        case FieldKind::kCheckBox: {
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
            return wrongType(std::string("true or false for the check box ") + field.name +
                             (field.bit == kFlagByte ? " (or the byte, 0 to 255)" : ""));
        }
        case FieldKind::kOtherBits:
        case FieldKind::kBytes: {
            std::array<uint8_t, kLargestGroup> parsed{};
            if (!stringLike || !ParseHex(value.text, field.width, parsed.data()))
                return wrongType("hex of " + std::to_string(field.width) +
                                 (field.width == 1 ? " byte" : " bytes"));
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
    }
    return false;
}

namespace {

FieldValueText ValueOf(const SettingsKey& key, const SettingsField& shown, const uint8_t* group) {
    const SettingsField& field = key.layout;
    const uint8_t* bytes = group + field.offset;
    auto string = [](const std::string& text) { return FieldValueText{Quoted(text), text}; };
    auto integer = [](long long number) {
        return FieldValueText{std::to_string(number), std::to_string(number)};
    };
    switch (field.kind) {
        case FieldKind::kRadio:
            for (const RadioButtonBinding* button : ButtonsOf(field))
                if (button->code == bytes[0]) return string(button->caption);
            return integer(bytes[0]);
        case FieldKind::kCombo: {
            const ComboBoxBinding* combo = ComboOf(field);
            const int code = ReadCode(*combo, bytes);
            const int item = ItemForCode(combo->rule, code);
            if (item >= 0 && item < static_cast<int>(combo->items.size()) &&
                CodeForItem(combo->rule, item) == code) {
                const std::string_view text = combo->items[static_cast<size_t>(item)];
                if (std::count_if(combo->items.begin(), combo->items.end(),
                                  [&](const char* other) { return SameWord(text, other); }) == 1)
                    return string(std::string(text));
            }
            return integer(code);
        }
        case FieldKind::kEdit: {
            const EditBinding* edit = EditOf(field);
            if (edit == nullptr) return string("hex:" + CompactHex(bytes, field.width));
            if (edit->field == FieldType::kU8) return integer(bytes[0]);
            if (edit->field == FieldType::kU32) return integer(static_cast<int32_t>(GetU32BE(bytes)));
            const std::string text = ExactRealText(*edit, bytes, shown.text);
            if (!text.empty()) return {text, text};
            return string("hex:" + CompactHex(bytes, field.width));
        }
        case FieldKind::kCheckBox:
            if (field.bit == kFlagByte && bytes[0] > 1) return integer(bytes[0]);
            return shown.checked ? FieldValueText{"true", "true"} : FieldValueText{"false", "false"};
        case FieldKind::kOtherBits: {
            std::array<uint8_t, 4> masked{};
            for (size_t i = 0; i < masked.size() && i < static_cast<size_t>(field.width); ++i)
                masked[i] = bytes[i] & field.bitMasks[i];
            return string("0x" + CompactHex(masked.data(), field.width));
        }
        case FieldKind::kBytes:
            return string(HexBytes(bytes, field.width));
    }
    return {};
}

// The keys of one group with their values.
std::vector<std::pair<const SettingsKey*, FieldValueText>> GroupValues(int groupNo, const uint8_t* group) {
    std::vector<std::pair<const SettingsKey*, FieldValueText>> values;
    const std::vector<SettingsField> shown = DecodeSettingsGroup(groupNo, group);
    size_t index = 0;
    for (const SettingsKey& key : SettingsKeys()) {
        if (key.layout.group != groupNo) continue;
        // The fields of a group depend on its layout alone: both lists match entry by entry.
        if (index < shown.size()) values.emplace_back(&key, ValueOf(key, shown[index], group));
        ++index;
    }
    return values;
}

}  // namespace

FieldValueText SettingsFieldValue(const SettingsKey& key, const uint8_t* image) {
    for (auto& [each, value] : GroupValues(key.layout.group, image + SettingsGroup(key.layout.group).offset))
        if (each == &key) return value;
    return {};
}

std::string SettingsKeyComment(const SettingsKey& key) {
    return key.layout.name + "; " + KindWord(key.layout) + "; " +
           ImageBytes(key.ImageOffset(), key.layout.width);
}

std::string SettingsToText(const uint8_t* image) {
    std::string text =
        "# Vandel Configurator settings: the 169-byte settings image, one table per group.\n"
        "# vandel-settings(5) describes every key; base = \"FILE\" takes the keys not given here from "
        "FILE.\n";
    for (const SettingsGroupInfo& group : kSettingsGroups) {
        text += "\n# Group " + std::to_string(group.number) + ": " + group.name + ", " +
                ImageBytes(group.offset, group.length) + "\n[" + GroupTableName(group.number) + "]\n";
        for (const auto& [key, value] : GroupValues(group.number, image + group.offset))
            text += key->key + " = " + value.toml + "  # " + SettingsKeyComment(*key) + "\n";
    }
    return text;
}

bool ParseSettingsText(const std::string& text, const std::string& name, SettingsTextFile& file,
                       std::string& error) {
    file = SettingsTextFile{};
    if (RoughNesting(text) > kMostNesting) {
        error = name + ": nested more than " + std::to_string(kMostNesting) + " deep: not a settings file";
        return false;
    }
    toml::value document;
    try {
        std::istringstream stream(text);
        document = toml::parse<toml::discard_comments>(stream, name);
    } catch (const std::exception& e) {
        error = FirstLines(e.what(), 6);
        return false;
    }
    if (!document.is_table()) {
        error = name + ": not a table of settings";
        return false;
    }
    auto where = [&](const toml::value& value) {
        return name + ":" + std::to_string(value.location().line()) + ": ";
    };
    for (const auto& [tableName, table] : document.as_table()) {
        if (tableName == "base") {
            if (!table.is_string()) {
                error = where(table) + "base wants the name of a settings file in quotes";
                return false;
            }
            file.hasBase = true;
            file.base = table.as_string().str;
            file.baseEntry.line = static_cast<int>(table.location().line());
            file.baseEntry.column = static_cast<int>(table.location().column());
            if (static_cast<size_t>(file.baseEntry.column - 1) + table.location().region() <=
                table.location().line_str().size())
                file.baseEntry.length = static_cast<int>(table.location().region());
            continue;
        }
        const bool known = std::any_of(SettingsKeys().begin(), SettingsKeys().end(),
                                       [&](const SettingsKey& key) { return key.table == tableName; });
        if (!known || !table.is_table()) {
            error =
                where(table) + "'" + tableName + "' is no group of the settings" + (known ? " table" : "");
            return false;
        }
        for (const auto& [keyName, value] : table.as_table()) {
            const SettingsKey* key = FindSettingsKey(tableName + "." + keyName);
            if (key == nullptr) {
                error = where(value) + "'" + tableName + "." + keyName + "' is no key of the settings";
                return false;
            }
            SettingsTextEntry entry;
            entry.key = key;
            const toml::source_location location = value.location();
            entry.line = static_cast<int>(location.line());
            entry.column = static_cast<int>(location.column());
            const std::string& line = location.line_str();
            if (entry.column >= 1 && static_cast<size_t>(entry.column - 1) + location.region() <= line.size())
                entry.length = static_cast<int>(location.region());
            switch (value.type()) {
                case toml::value_t::boolean:
                    entry.value = {SettingsValueType::kBoolean, value.as_boolean() ? "true" : "false"};
                    break;
                case toml::value_t::integer:
                    entry.value = {SettingsValueType::kInteger, std::to_string(value.as_integer())};
                    break;
                case toml::value_t::floating:
                    // The literal as written, so that it converts as the same text typed into the edit.
                    entry.value = {SettingsValueType::kFloat,
                                   entry.length > 0 ? line.substr(static_cast<size_t>(entry.column - 1),
                                                                  static_cast<size_t>(entry.length))
                                                    : FormatReal("%.17g", value.as_floating())};
                    break;
                case toml::value_t::string:
                    entry.value = {SettingsValueType::kString, value.as_string().str};
                    break;
                default:
                    error = where(value) + key->Path() + " takes a single value, not a " +
                            toml::stringize(value.type());
                    return false;
            }
            file.entries.push_back(std::move(entry));
        }
    }
    std::stable_sort(file.entries.begin(), file.entries.end(),
                     [](const SettingsTextEntry& a, const SettingsTextEntry& b) { return a.line < b.line; });
    return true;
}

std::vector<const SettingsKey*> FollowerKeys(const SettingsKey& key) {
    std::vector<const SettingsKey*> followers;
    const SettingsField& field = key.layout;
    for (const SettingsKey& other : SettingsKeys()) {
        if (other.layout.group != field.group || &other == &key) continue;
        for (const ComboBoxBinding& combo : kComboBoxBindings)
            if (field.control == combo.control && combo.copyOffset == other.layout.offset &&
                other.layout.control.empty())
                followers.push_back(&other);
        for (const EditBinding& edit : kEditBindings)
            if (field.control == "ComboBox_Datum" && edit.condition == EditCondition::kCustomDatum &&
                other.layout.control == edit.control)
                followers.push_back(&other);
    }
    return followers;
}

bool ApplySettingsValues(const std::vector<std::pair<const SettingsKey*, SettingsValue>>& values,
                         uint8_t* image, std::string& error) {
    std::set<const SettingsKey*> given;
    for (const auto& [key, value] : values) given.insert(key);
    for (const auto& [key, value] : values) {
        if (!SetSettingsField(*key, value, image, error)) {
            error = key->Path() + ": " + error;
            return false;
        }
    }
    // What the window writes along with a control, for the keys not given themselves.
    for (const auto& [key, value] : values) {
        uint8_t* group = image + SettingsGroup(key->layout.group).offset;
        for (const SettingsKey* follower : FollowerKeys(*key)) {
            if (given.count(follower) != 0) continue;
            uint8_t* bytes = group + follower->layout.offset;
            if (follower->layout.kind == FieldKind::kCombo) {
                std::memcpy(bytes, group + key->layout.offset, static_cast<size_t>(follower->layout.width));
            } else if (static_cast<int16_t>(GetU16BE(group + key->layout.offset)) != -1) {
                std::memset(bytes, 0, static_cast<size_t>(follower->layout.width));
            }
        }
    }
    return true;
}

bool ApplySettingsText(const SettingsTextFile& file, uint8_t* image, std::string& error) {
    std::vector<std::pair<const SettingsKey*, SettingsValue>> values;
    values.reserve(file.entries.size());
    for (const SettingsTextEntry& entry : file.entries) values.emplace_back(entry.key, entry.value);
    return ApplySettingsValues(values, image, error);
}

namespace {

std::string Roff(std::string text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out = "\\&" + out;
    return out;
}

std::string ValueDescription(const SettingsKey& key) {
    const SettingsField& field = key.layout;
    switch (field.kind) {
        case FieldKind::kRadio: {
            std::string text = "string, one of";
            for (const RadioButtonBinding* button : ButtonsOf(field))
                text += std::string(text.back() == 'f' ? " \"" : ", \"") + button->caption + "\" (" +
                        std::to_string(button->code) + ")";
            return text + "; or the code, integer 0 to 255";
        }
        case FieldKind::kCombo: {
            const ComboBoxBinding* combo = ComboOf(field);
            if (combo->items.size() > 10)
                return "string, a name of the datum list (\"Custom\" for the five parameters); or the index, "
                       "integer -32768 to 32767 (-1 custom, 0 to 179 the list)";
            std::string text = "string, one of";
            for (size_t i = 0; i < combo->items.size(); ++i)
                text += std::string(i == 0 ? " \"" : ", \"") + combo->items[i] + "\" (" +
                        std::to_string(CodeForItem(combo->rule, static_cast<int>(i))) + ")";
            return text + "; or the code, integer 0 to 255";
        }
        case FieldKind::kEdit: {
            const EditBinding* edit = EditOf(field);
            if (edit == nullptr) return "string, hex:" + std::to_string(field.width) + " bytes";
            switch (edit->conversion) {
                case EditConversion::kStrictInteger:
                    return "integer; the low 8 bits are stored";
                case EditConversion::kScan:
                    if (edit->field == FieldType::kU32) return "integer, -2147483648 to 2147483647";
                    return std::string(edit->field == FieldType::kDouble ? "float, double precision"
                                                                         : "float, single precision") +
                           "; or \"hex:\" and its bytes";
                case EditConversion::kStrictReal:
                    return std::string(edit->field == FieldType::kDouble ? "float, double precision"
                                                                         : "float, single precision") +
                           (edit->degrees ? ", in degrees (held in radians)" : "") +
                           "; or \"hex:\" and its bytes";
            }
            return "";
        }
        case FieldKind::kCheckBox:
            return field.bit == kFlagByte
                       ? "boolean (any byte other than 0 is on; or the byte, integer 0 to 255)"
                       : "boolean, bit " + std::to_string(field.bit);
        case FieldKind::kOtherBits: {
            std::array<uint8_t, 4> masks{};
            std::copy(field.bitMasks.begin(), field.bitMasks.end(), masks.begin());
            return "string, hex \"0x...\" of the bits under mask 0x" + CompactHex(masks.data(), field.width);
        }
        case FieldKind::kBytes:
            return "string, hex of " + std::to_string(field.width) + (field.width == 1 ? " byte" : " bytes");
    }
    return "";
}

}  // namespace

std::string SettingsManPage() {
    std::string page =
        ".\\\" Generated from the settings field table by packaging/settings_man.cpp; do not edit.\n"
        ".TH VANDEL-SETTINGS 5 \"\" \"Vandel Configurator\" \"File Formats\"\n"
        ".SH NAME\n"
        "vandel-settings \\- the settings file of Vandel Configurator, binary and text\n"
        ".SH DESCRIPTION\n"
        "A settings file holds one settings image of 169 bytes: thirteen groups laid end to end, each with\n"
        "the byte shape of the receiver report that carries it. The binary form (.dat) is the image\n"
        "verbatim. The text form (.toml) is a TOML document with one table per group and one key per\n"
        "field; every key's comment gives the window's caption, the kind of control and the image offset.\n"
        "Every image goes to text and back to the same 169 bytes: values no control shows are hex, and a\n"
        "real that no decimal text gives back exactly is written as a string, \\fB\"hex:\\fR and its bytes\n"
        "(\\fB\"hex:7FC00001\"\\fR).\n"
        ".PP\n"
        "Values are read as the main window reads its controls: the same conversions, the same messages.\n"
        "A text file may name a base, \\fBbase = \"rack.toml\"\\fR (either form, relative to the file's own\n"
        "folder), and give only the keys that differ; bases may chain, cycles are refused. A key given\n"
        "without the keys the window writes along with it brings them along: the output baud rate\n"
        "follows the baud rate, and a listed datum sets the five custom parameters to 0.\n"
        ".PP\n"
        "\\fBvandel-cli show \\-\\-json\\fR gives each field's \\fBgroupOffset\\fR (within its group) and\n"
        "\\fBimageOffset\\fR (within the image).\n"
        ".SH KEYS\n";
    int group = 0;
    for (const SettingsKey& key : SettingsKeys()) {
        if (key.layout.group != group) {
            group = key.layout.group;
            const SettingsGroupInfo& info = SettingsGroup(group);
            page += ".SS [" + Roff(key.table) + "] " + Roff(info.name) + ", " +
                    Roff(ImageBytes(info.offset, info.length)) + "\n";
        }
        page += ".TP\n\\fB" + Roff(key.Path()) + "\\fR\n" + Roff(key.layout.name) + "; " +
                Roff(KindWord(key.layout)) +
                (key.layout.control.empty() ? std::string() : " " + Roff(key.layout.control)) + "; " +
                Roff(ImageBytes(key.ImageOffset(), key.layout.width)) + ".\n.br\n" +
                Roff(ValueDescription(key)) + ".\n";
    }
    page +=
        ".SH EXAMPLE\n"
        ".nf\n"
        "base = \"rack.toml\"\n"
        "[2d_altitude]\n"
        "altitude_m = 312.5\n"
        "[timing_output_settings]\n"
        "pps_offset_s = 1.2e\\-07\n"
        ".fi\n"
        ".SH SEE ALSO\n"
        "vandel\\-cli(1), vandel\\-configurator(1)\n";
    return page;
}
