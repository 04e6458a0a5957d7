// Reading a settings file for the command-line tool: the bytes the window's loader would take,
// with the checks a script needs (a missing file, a folder, a device or a file far too large for a
// settings file is an error, not something to read).
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/SettingsImage.h"

struct SettingsFileBytes {
    std::array<uint8_t, kSettingsImageSize> bytes{};
    long long size = 0;  // the file's length
};

// Reads path as the window's loader does: at most 500 bytes, positions of the first 169 the file
// does not reach read as 0xFF, the rest ignored. False with a message naming the file when it
// cannot be read or is not a settings file at all (not a regular file, longer than 500 bytes).
bool ReadSettingsFile(const std::string& path, SettingsFileBytes& file, std::string& error);

// For a file of another length than 169 bytes: what the reader did about it; empty otherwise.
std::string SettingsFileSizeWarning(const std::string& path, const SettingsFileBytes& file);
