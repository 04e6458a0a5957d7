// The settings file: the 169-byte Settings Image verbatim, no header, no checksum.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

constexpr int kSettingsFileReadLimit = 500;

// Reads an open file (at most 500 bytes; positions of the first 169 it does not reach count as
// 0xFF) and shows the thirteen groups in image order, then moves the focus to the focus sink.
// False, with the image and the window untouched, when reading the file fails.
bool LoadSettingsFromFile(std::FILE* file);

// Writes the Settings Image to path so that a failure never leaves a truncated file: a temporary
// file in the same folder, flushed and closed, renamed over the target. On failure the target is
// untouched and errorText holds the system's reason.
bool SaveSettingsImage(const std::string& path, std::string& errorText);
// The same for any bytes (the text form of the settings).
bool SaveFileAtomically(const std::string& path, const void* data, size_t size, std::string& errorText);

// What a save may write: a new regular file, or an existing regular file (through links, the file
// they point to). A folder, a device, a FIFO or a socket is refused, and so is a folder that does
// not exist. On success `target` is the path the save writes, links resolved; else errorText says why.
bool CheckSaveTarget(const std::string& path, std::string& target, std::string& errorText);
