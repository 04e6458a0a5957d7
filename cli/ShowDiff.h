// show and diff: a settings file field by field, and the fields in which two files differ.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "cli/SettingsFileRead.h"
#include "settings/SettingsFields.h"

// Every group of the file, one field a line, decoded as the main window shows it.
std::string ShowText(const std::string& path, const SettingsFileBytes& file);
nlohmann::ordered_json ShowJson(const std::string& path, const SettingsFileBytes& file);

struct FieldDifference {
    SettingsField first;
    SettingsField second;
    std::string firstHex;
    std::string secondHex;
};

// The fields whose bits differ, in group and byte order. Two fields that read the same in the
// window's format but differ in their bytes count as different.
std::vector<FieldDifference> DiffSettings(const SettingsFileBytes& first, const SettingsFileBytes& second);
std::string DiffText(const std::vector<FieldDifference>& differences);
nlohmann::ordered_json DiffJson(const std::string& firstPath, const std::string& secondPath,
                                const std::vector<FieldDifference>& differences);
