#include "cli/ShowDiff.h"

#include <algorithm>

#include "cli/ResultJson.h"
#include "settings/SettingsText.h"

namespace {

const uint8_t* GroupIn(const SettingsFileBytes& file, int groupNo) {
    return file.bytes.data() + SettingsGroup(groupNo).offset;
}

std::string FieldLine(const SettingsField& field) {
    std::string line = field.name + ": " + field.text;
    if (!field.shown) line += " (unused unless \"Set Altitude\" is chosen)";
    return line;
}

nlohmann::ordered_json ShownFieldJson(const SettingsField& field, const uint8_t* group) {
    nlohmann::ordered_json json = FieldJson(field);
    if (!field.control.empty()) json["control"] = field.control;
    json["text"] = field.text;
    json["hex"] = FieldHex(field, group);
    if (field.kind == FieldKind::kRadio || field.kind == FieldKind::kCombo) json["code"] = field.code;
    if (field.kind == FieldKind::kCheckBox) {
        json["bit"] = field.bit;
        json["checked"] = field.checked;
    }
    if (!field.shown) json["shown"] = false;
    return json;
}

}  // namespace

std::string ShowText(const std::string& path, const SettingsFileBytes& file) {
    std::string text = path + ": " + std::to_string(file.size) + " bytes\n";
    for (const SettingsGroupInfo& group : kSettingsGroups) {
        text += "Group " + std::to_string(group.number) + ": " + group.name + "\n";
        for (const SettingsField& field : DecodeSettingsGroup(group.number, GroupIn(file, group.number)))
            text += "  " + FieldLine(field) + "\n";
    }
    return text;
}

nlohmann::ordered_json ShowJson(const std::string& path, const SettingsFileBytes& file) {
    nlohmann::ordered_json json;
    json["file"] = path;
    json["size"] = file.size;
    json["groups"] = nlohmann::ordered_json::array();
    for (const SettingsGroupInfo& group : kSettingsGroups) {
        const uint8_t* bytes = GroupIn(file, group.number);
        nlohmann::ordered_json entry = GroupJson(group.number);
        entry["imageOffset"] = group.offset;
        entry["length"] = group.length;
        entry["hex"] = HexBytes(bytes, group.length);
        entry["fields"] = nlohmann::ordered_json::array();
        for (const SettingsField& field : DecodeSettingsGroup(group.number, bytes))
            entry["fields"].push_back(ShownFieldJson(field, bytes));
        json["groups"].push_back(std::move(entry));
    }
    return json;
}

std::vector<FieldDifference> DiffSettings(const SettingsFileBytes& first, const SettingsFileBytes& second) {
    std::vector<FieldDifference> differences;
    for (const SettingsGroupInfo& group : kSettingsGroups) {
        const uint8_t* a = GroupIn(first, group.number);
        const uint8_t* b = GroupIn(second, group.number);
        const std::vector<SettingsField> fieldsA = DecodeSettingsGroup(group.number, a);
        const std::vector<SettingsField> fieldsB = DecodeSettingsGroup(group.number, b);
        // The fields of a group depend on its layout only, so both lists match entry by entry.
        const size_t count = std::min(fieldsA.size(), fieldsB.size());
        for (size_t i = 0; i < count; ++i) {
            if (!fieldsA[i].Differs(a, b)) continue;
            differences.push_back({fieldsA[i], fieldsB[i], FieldHex(fieldsA[i], a), FieldHex(fieldsB[i], b)});
        }
    }
    return differences;
}

std::string DiffText(const std::vector<FieldDifference>& differences) {
    std::string text;
    for (const FieldDifference& d : differences) {
        text += std::string(SettingsGroup(d.first.group).name) + ": " + d.first.name + ": " + d.first.text +
                " -> " + d.second.text;
        // Equal texts hide a difference the format rounds away: the bytes tell it.
        if (d.first.text == d.second.text) text += " (bytes " + d.firstHex + " -> " + d.secondHex + ")";
        text += "\n";
    }
    return text;
}

nlohmann::ordered_json DiffJson(const std::string& firstPath, const std::string& secondPath,
                                const std::vector<FieldDifference>& differences) {
    nlohmann::ordered_json json;
    json["file1"] = firstPath;
    json["file2"] = secondPath;
    json["equal"] = differences.empty();
    // Each group that differs, with its fields that do: FILE1's values expected, FILE2's found.
    json["groups"] = nlohmann::ordered_json::array();
    for (const FieldDifference& d : differences) {
        if (json["groups"].empty() || json["groups"].back()["number"] != d.first.group) {
            json["groups"].push_back(GroupJson(d.first.group));
            json["groups"].back()["differences"] = nlohmann::ordered_json::array();
        }
        json["groups"].back()["differences"].push_back(
            DifferenceJson(d.first, d.first.text, d.second.text, d.firstHex, d.secondHex));
    }
    return json;
}
