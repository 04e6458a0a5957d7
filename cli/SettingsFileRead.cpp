#include "cli/SettingsFileRead.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "settings/SettingsFile.h"

namespace {
struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
}  // namespace

namespace {

// Reads what the stream holds, at most one byte more than a settings file may have.
bool ReadBounded(std::FILE* stream, const std::string& path, SettingsFileBytes& file, std::string& error) {
    uint8_t buffer[kSettingsFileReadLimit + 1];
    const size_t count = std::fread(buffer, 1, sizeof buffer, stream);
    if (std::ferror(stream)) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (count > static_cast<size_t>(kSettingsFileReadLimit)) {
        error = path + ": more than " + std::to_string(kSettingsFileReadLimit) +
                " bytes is far too large for a settings file (" + std::to_string(kSettingsImageSize) +
                " bytes)";
        return false;
    }
    file.bytes.fill(0xFF);
    std::memcpy(file.bytes.data(), buffer, std::min(count, file.bytes.size()));
    file.size = static_cast<long long>(count);
    return true;
}

}  // namespace

bool ReadSettingsFile(const std::string& path, SettingsFileBytes& file, std::string& error) {
    // "-" is standard input: a pipe is read as far as a settings file can go, no further.
    if (path == "-") return ReadBounded(stdin, "standard input", file, error);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        error = path + ": is a folder, not a settings file";
        return false;
    }
    // A device or a pipe could block or never end: only plain files are read.
    if (!S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    if (info.st_size > kSettingsFileReadLimit) {
        error = path + ": " + std::to_string(info.st_size) + " bytes is far too large for a settings file (" +
                std::to_string(kSettingsImageSize) + " bytes)";
        return false;
    }

    std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(path.c_str(), "rb"));
    if (!stream) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    uint8_t buffer[kSettingsFileReadLimit + 1];
    const size_t count = std::fread(buffer, 1, sizeof buffer, stream.get());
    if (std::ferror(stream.get())) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (count > static_cast<size_t>(kSettingsFileReadLimit)) {
        error = path + ": the file grew past " + std::to_string(kSettingsFileReadLimit) +
                " bytes while being read";
        return false;
    }
    file.bytes.fill(0xFF);
    std::memcpy(file.bytes.data(), buffer, std::min(count, file.bytes.size()));
    file.size = static_cast<long long>(count);
    return true;
}

std::string SettingsFileSizeWarning(const std::string& path, const SettingsFileBytes& file) {
    if (file.size == kSettingsImageSize) return {};
    if (file.size < kSettingsImageSize)
        return path + " is " + std::to_string(file.size) + " bytes, not " +
               std::to_string(kSettingsImageSize) + ": the missing bytes read as FF";
    return path + " is " + std::to_string(file.size) + " bytes, not " + std::to_string(kSettingsImageSize) +
           ": the bytes after the first " + std::to_string(kSettingsImageSize) + " are ignored";
}
