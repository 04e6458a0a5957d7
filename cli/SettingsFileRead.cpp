#include "cli/SettingsFileRead.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "settings/SettingsFile.h"
#include "settings/SettingsText.h"

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

namespace {

constexpr long long kMostTextSize = 1 << 20;
constexpr size_t kMostBases = 16;

bool ReadAnySettingsFile(const std::string& path, SettingsFileBytes& file, std::string& error,
                         std::vector<std::string>& chain);

bool ImageFromText(const std::string& text, const std::string& name, const std::string& folder,
                   std::array<uint8_t, kSettingsImageSize>& image, std::string& error,
                   std::vector<std::string>& chain) {
    SettingsTextFile parsed;
    if (!ParseSettingsText(text, name, parsed, error)) return false;
    image.fill(0);
    if (parsed.hasBase) {
        if (parsed.base.empty()) {
            error = name + ": base names no file";
            return false;
        }
        const std::filesystem::path base = std::filesystem::path(folder) / parsed.base;
        SettingsFileBytes baseFile;
        if (!ReadAnySettingsFile(base.string(), baseFile, error, chain)) {
            error = name + ": base " + parsed.base + ": " + error;
            return false;
        }
        if (baseFile.size != kSettingsImageSize) {
            error = name + ": base " + parsed.base + " is " + std::to_string(baseFile.size) +
                    " bytes: a base is a whole settings file of " + std::to_string(kSettingsImageSize) +
                    " bytes";
            return false;
        }
        image = baseFile.bytes;
    }
    if (!ApplySettingsText(parsed, image.data(), error)) {
        error = name + ": " + error;
        return false;
    }
    return true;
}

bool ReadAnySettingsFile(const std::string& path, SettingsFileBytes& file, std::string& error,
                         std::vector<std::string>& chain) {
    if (!IsSettingsTextName(path)) return ReadSettingsFile(path, file, error);
    std::error_code ec;
    const std::string identity = std::filesystem::weakly_canonical(path, ec).string();
    for (const std::string& earlier : chain) {
        if (earlier == identity) {
            error = path + ": is its own base (";
            for (const std::string& each : chain) error += each + " -> ";
            error += identity + ")";
            return false;
        }
    }
    if (chain.size() >= kMostBases) {
        error = path + ": more than " + std::to_string(kMostBases) + " bases in a row";
        return false;
    }
    std::string text;
    if (!ReadSettingsTextFile(path, text, error)) return false;
    chain.push_back(identity);
    std::string folder = std::filesystem::path(path).parent_path().string();
    if (folder.empty()) folder = ".";
    const bool ok = ImageFromText(text, path, folder, file.bytes, error, chain);
    chain.pop_back();
    file.size = kSettingsImageSize;
    file.text = true;
    return ok;
}

}  // namespace

bool IsSettingsTextName(const std::string& path) {
    constexpr std::string_view kExtension = ".toml";
    if (path.size() <= kExtension.size()) return false;
    const std::string_view end = std::string_view(path).substr(path.size() - kExtension.size());
    return std::equal(end.begin(), end.end(), kExtension.begin(),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

bool ReadSettingsTextFile(const std::string& path, std::string& text, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error =
            path + (S_ISDIR(info.st_mode) ? ": is a folder, not a settings file" : ": not a regular file");
        return false;
    }
    if (info.st_size > kMostTextSize) {
        error = path + ": " + std::to_string(info.st_size) + " bytes is far too large for a settings file";
        return false;
    }
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream contents;
    contents << stream.rdbuf();
    if (!stream.good() && !stream.eof()) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    text = contents.str();
    if (text.size() > static_cast<size_t>(kMostTextSize)) {
        error = path + ": the file grew while being read";
        return false;
    }
    return true;
}

bool SettingsImageFromText(const std::string& text, const std::string& name, const std::string& folder,
                           std::array<uint8_t, kSettingsImageSize>& image, std::string& error) {
    std::vector<std::string> chain;
    std::error_code ec;
    chain.push_back(std::filesystem::weakly_canonical(name, ec).string());
    return ImageFromText(text, name, folder, image, error, chain);
}

bool ReadSettingsFile(const std::string& path, SettingsFileBytes& file, std::string& error) {
    if (IsSettingsTextName(path)) {
        std::vector<std::string> chain;
        return ReadAnySettingsFile(path, file, error, chain);
    }
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
