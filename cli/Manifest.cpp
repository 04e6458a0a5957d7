#include "cli/Manifest.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Arguments.h"

namespace {

constexpr long long kMaxManifestSize = 4 << 20;  // some ten thousand lines and more
constexpr size_t kMaxLineLength = 4096;

// The fields of a line up to its comment.
std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream words(line);
    for (std::string word; words >> word;) {
        if (word[0] == '#') break;
        fields.push_back(word);
    }
    return fields;
}

}  // namespace

bool ReadManifest(const std::string& path, const std::string& defaultFile, const PortLine& defaultPc,
                  std::vector<FleetReceiver>& receivers, std::vector<std::string>& errors) {
    const size_t before = errors.size();
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        errors.push_back(path + ": " + std::strerror(errno));
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxManifestSize) {
        errors.push_back(path + (S_ISREG(info.st_mode) ? ": too large for a manifest" : ": not a file"));
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        errors.push_back(path + ": cannot be read");
        return false;
    }
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::string line;
    for (int number = 1; std::getline(file, line); ++number) {
        const std::string origin = path + ":" + std::to_string(number);
        if (line.size() > kMaxLineLength) {
            errors.push_back(origin + ": a line of more than " + std::to_string(kMaxLineLength) +
                             " characters");
            continue;
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::vector<std::string> fields = Fields(line);
        if (fields.empty()) continue;
        if (fields.size() > 3) {
            errors.push_back(origin + ": expected DEVICE [SETTINGS_FILE] [PC_SETTINGS], not " +
                             std::to_string(fields.size()) + " fields");
            continue;
        }
        FleetReceiver receiver;
        receiver.origin = origin;
        receiver.device = fields[0];
        receiver.pcLine = defaultPc;
        if (fields.size() > 1) {
            const std::filesystem::path settings(fields[1]);
            receiver.settingsFile =
                settings.is_absolute() || folder.empty() ? fields[1] : (folder / settings).string();
        } else if (!defaultFile.empty()) {
            receiver.settingsFile = defaultFile;
        } else {
            errors.push_back(origin + ": no settings file: name one on the line or on the command line");
            continue;
        }
        if (fields.size() > 2 && !ParsePortLine(fields[2], receiver.pcLine)) {
            errors.push_back(origin + ": " + PcSettingsProblem("PC_SETTINGS", fields[2]));
            continue;
        }
        receivers.push_back(std::move(receiver));
    }
    if (errors.size() == before && receivers.empty()) errors.push_back(path + ": names no receiver");
    return errors.size() == before;
}
