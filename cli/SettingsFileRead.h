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
    long long size = 0;  // the file's length (169 for a text file: it gives the whole image)
    bool text = false;   // read from the text form
};

// A name ending in ".toml" (any case) is a settings file in the text form; any other, the binary.
bool IsSettingsTextName(const std::string& path);

// The image a text form gives: its base (read relative to folder, either form, chains followed,
// cycles refused) with its keys set over it. name is for the messages.
bool SettingsImageFromText(const std::string& text, const std::string& name, const std::string& folder,
                           std::array<uint8_t, kSettingsImageSize>& image, std::string& error);
// The contents of a text settings file (a regular file of at most a megabyte).
bool ReadSettingsTextFile(const std::string& path, std::string& text, std::string& error);

// A text form (IsSettingsTextName) is read with its bases into the whole image. Any other file:
// reads path as the window's loader does: at most 500 bytes, positions of the first 169 the file
// does not reach read as 0xFF, the rest ignored. False with a message naming the file when it
// cannot be read or is not a settings file at all (not a regular file, longer than 500 bytes).
bool ReadSettingsFile(const std::string& path, SettingsFileBytes& file, std::string& error);

// For a file of another length than 169 bytes: what the reader did about it; empty otherwise.
std::string SettingsFileSizeWarning(const std::string& path, const SettingsFileBytes& file);
