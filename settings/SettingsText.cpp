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
#include "settings/SettingsTextParts.h"

using namespace settings_text;

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
            for (int i = 0; i < field.width; ++i)
                masked[static_cast<size_t>(i)] = bytes[i] & field.bitMasks[static_cast<size_t>(i)];
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

namespace {

std::string Where(const std::string& name, const toml::value& value) {
    return name + ":" + std::to_string(value.location().line()) + ": ";
}

// The place of value in its file, its length only when it stays on its line.
void Locate(const toml::value& value, int& line, int& column, int& length) {
    const toml::source_location location = value.location();
    line = static_cast<int>(location.line());
    column = static_cast<int>(location.column());
    if (column >= 1 && static_cast<size_t>(column - 1) + location.region() <= location.line_str().size())
        length = static_cast<int>(location.region());
}

bool ParseDocument(const std::string& text, const std::string& name, toml::value& document,
                   std::string& error) {
    if (RoughNesting(text) > kMostNesting) {
        error = name + ": nested more than " + std::to_string(kMostNesting) + " deep: not a settings file";
        return false;
    }
    try {
        std::istringstream stream(text);
        document = toml::parse<toml::discard_comments>(stream, name);
    } catch (const std::exception& e) {
        error = FirstLines(e.what(), 6);
        return false;
    }
    if (document.is_table()) return true;
    error = name + ": not a table of settings";
    return false;
}

bool TakeBase(const toml::value& base, const std::string& name, SettingsTextFile& file, std::string& error) {
    if (!base.is_string()) {
        error = Where(name, base) + "base wants the name of a settings file in quotes";
        return false;
    }
    file.hasBase = true;
    file.base = base.as_string().str;
    Locate(base, file.baseEntry.line, file.baseEntry.column, file.baseEntry.length);
    return true;
}

// The value of one key as its type and text.
bool TakeValue(const toml::value& value, const std::string& name, SettingsTextEntry& entry,
               std::string& error) {
    switch (value.type()) {
        case toml::value_t::boolean:
            entry.value = {SettingsValueType::kBoolean, value.as_boolean() ? "true" : "false"};
            return true;
        case toml::value_t::integer:
            entry.value = {SettingsValueType::kInteger, std::to_string(value.as_integer())};
            return true;
        case toml::value_t::floating:
            // The literal as written, so that it converts as the same text typed into the edit.
            entry.value = {SettingsValueType::kFloat,
                           entry.length > 0
                               ? value.location().line_str().substr(static_cast<size_t>(entry.column - 1),
                                                                    static_cast<size_t>(entry.length))
                               : FormatC("%.17g", value.as_floating())};
            return true;
        case toml::value_t::string:
            entry.value = {SettingsValueType::kString, value.as_string().str};
            return true;
        default:
            error = Where(name, value) + entry.key->Path() + " takes a single value, not a " +
                    toml::stringize(value.type());
            return false;
    }
}

// Every key of one group's table, as entries of file.
bool TakeGroup(const std::string& tableName, const toml::value& table, const std::string& name,
               SettingsTextFile& file, std::string& error) {
    const bool known = std::any_of(SettingsKeys().begin(), SettingsKeys().end(),
                                   [&](const SettingsKey& key) { return key.table == tableName; });
    if (!known || !table.is_table()) {
        error =
            Where(name, table) + "'" + tableName + "' is no group of the settings" + (known ? " table" : "");
        return false;
    }
    for (const auto& [keyName, value] : table.as_table()) {
        SettingsTextEntry entry;
        entry.key = FindSettingsKey(tableName + "." + keyName);
        if (entry.key == nullptr) {
            error = Where(name, value) + "'" + tableName + "." + keyName + "' is no key of the settings";
            return false;
        }
        Locate(value, entry.line, entry.column, entry.length);
        if (!TakeValue(value, name, entry, error)) return false;
        file.entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace

bool ParseSettingsText(const std::string& text, const std::string& name, SettingsTextFile& file,
                       std::string& error) {
    file = SettingsTextFile{};
    toml::value document;
    if (!ParseDocument(text, name, document, error)) return false;
    for (const auto& [tableName, table] : document.as_table()) {
        const bool taken = tableName == "base" ? TakeBase(table, name, file, error)
                                               : TakeGroup(tableName, table, name, file, error);
        if (!taken) return false;
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
