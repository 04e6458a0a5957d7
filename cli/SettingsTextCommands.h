// The commands of the settings text form: show --toml, convert, set, get and check, and the warning
// set, convert and the fleet give for settings that would stop a configure at the "Invalid
// Configuration" question.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "settings/SettingsImage.h"
#include "settings/SettingsText.h"

int RunConvert(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunSet(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunGet(const CliArguments& arguments, std::FILE* out, std::FILE* err);
int RunCheck(const CliArguments& arguments, std::FILE* out, std::FILE* err);

// The keys that decide the self-survey/dynamics rule with their values ("KEY = VALUE, ..."), empty
// when the settings pass it; question (when given) is set to the question it asks, or nullptr.
std::string InvalidConfigurationFields(const std::array<uint8_t, kSettingsImageSize>& image,
                                       const char** question = nullptr);
// Empty when the settings pass the self-survey/dynamics rule; else what stops the configure,
// naming the keys that decide it and their values.
std::string InvalidConfigurationWarning(const std::string& path,
                                        const std::array<uint8_t, kSettingsImageSize>& image);

// The settings in the form the name of path asks for: the text form for ".toml", else the bytes.
std::string SettingsFileContents(const std::string& path,
                                 const std::array<uint8_t, kSettingsImageSize>& image);

// text (a settings text file) with the values of keys taken from image: a key the text gives is
// rewritten where it stands, a key it does not give (only those in added) is put under its
// table. Comments, layout and every other key stay as they are. A base named relative to the
// text's folder is renamed relative to newFolder, where the edited text goes.
bool EditSettingsText(const std::string& text, const std::string& name,
                      const std::vector<const SettingsKey*>& keys,
                      const std::vector<const SettingsKey*>& added, const uint8_t* image,
                      const std::string& newFolder, std::string& edited, std::string& error);
