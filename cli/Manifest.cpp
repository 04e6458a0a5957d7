#include "cli/Manifest.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/Arguments.h"
#include "settings/SettingsText.h"

namespace {

constexpr long long kMaxManifestSize = 4 << 20;  // some ten thousand lines and more
constexpr size_t kMaxLineLength = 4096;

// The fields of a line up to its comment, separated by blanks; a double-quoted stretch (with \"
// and \\ inside) belongs to its field, blanks and '#' included. False for an unclosed quote.
bool Fields(const std::string& line, std::vector<std::string>& fields) {
    std::string field;
    bool inField = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t') {
            if (inField) fields.push_back(std::move(field));
            field.clear();
            inField = false;
            continue;
        }
        if (c == '#' && !inField) break;
        inField = true;
        if (c != '"') {
            field += c;
            continue;
        }
        for (++i;; ++i) {
            if (i >= line.size()) return false;
            if (line[i] == '"') break;
            if (line[i] == '\\' && i + 1 < line.size() && (line[i + 1] == '"' || line[i + 1] == '\\')) ++i;
            field += line[i];
        }
    }
    if (inField) fields.push_back(std::move(field));
    return true;
}

// "group.key=VALUE": a field that sets a key of the settings rather than naming a file. Anything
// else with an '=' in it (a file name) is not one.
bool IsAssignment(const std::string& field) {
    const size_t equals = field.find('=');
    if (equals == std::string::npos || equals == 0) return false;
    const std::string name = field.substr(0, equals);
    return name.find('.') != std::string::npos && std::all_of(name.begin(), name.end(), [](char c) {
               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
           });
}

// What a manifest's lines share: the folder their names are taken from and the defaults of the
// command line.
struct ManifestDefaults {
    std::filesystem::path folder;
    const std::string& settingsFile;
    const PortLine& pcLine;
};

// Why a line cannot be taken as text (too long, a control character in it); empty when it can.
// Takes a closing carriage return off the line.
std::string TextProblem(std::string& line) {
    if (line.size() > kMaxLineLength)
        return "a line of more than " + std::to_string(kMaxLineLength) + " characters";
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto control = std::find_if(line.begin(), line.end(), [](char c) {
        return (static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F;
    });
    if (control == line.end()) return {};
    char code[8];
    std::snprintf(code, sizeof code, "0x%02X", static_cast<unsigned>(static_cast<unsigned char>(*control)));
    return std::string("a control character (") + code + ") in the line";
}

// The settings this receiver gets over its file's: the KEY=VALUE fields after the others, which
// are taken off fields. False with a problem for a stray field or a key unknown or given twice.
bool TakeOverrides(std::vector<std::string>& fields, FleetReceiver& receiver, std::string& problem) {
    const auto first = std::find_if(fields.begin() + 1, fields.end(), IsAssignment);
    std::vector<std::string> assignments(first, fields.end());
    fields.erase(first, fields.end());
    if (fields.size() > 3) {
        problem = "expected DEVICE [SETTINGS_FILE] [PC_SETTINGS] [KEY=VALUE]..., not " +
                  std::to_string(fields.size()) + " fields before the first KEY=VALUE";
        return false;
    }
    const auto stray = std::find_if_not(assignments.begin(), assignments.end(), IsAssignment);
    if (stray != assignments.end()) {
        problem = "'" + *stray + "' after KEY=VALUE is no KEY=VALUE";
        return false;
    }
    for (const std::string& assignment : assignments) {
        const std::string name = assignment.substr(0, assignment.find('='));
        if (FindSettingsKey(name) == nullptr) {
            problem = "'" + name + "' is no key of the settings (vandel-settings(5))";
            return false;
        }
        for (const auto& [given, value] : receiver.overrides) {
            if (given != name) continue;
            problem = name + " is given twice";
            return false;
        }
        receiver.overrides.emplace_back(name, assignment.substr(name.size() + 1));
    }
    return true;
}

// DEVICE [SETTINGS_FILE] [PC_SETTINGS] into receiver, the defaults where a field is left out.
bool TakeDeviceFields(std::vector<std::string> fields, const ManifestDefaults& defaults,
                      FleetReceiver& receiver, std::string& problem) {
    receiver.device = fields[0];
    receiver.pcLine = defaults.pcLine;
    // DEVICE PC_SETTINGS: the PC settings where a settings file could stand.
    PortLine pcLine;
    if (fields.size() == 2 && ParsePortLine(fields[1], pcLine))
        fields = {fields[0], std::string(), fields[1]};
    if (fields.size() > 1 && !fields[1].empty()) {
        const std::filesystem::path settings(fields[1]);
        receiver.settingsFile = settings.is_absolute() || defaults.folder.empty()
                                    ? fields[1]
                                    : (defaults.folder / settings).string();
    } else if (!defaults.settingsFile.empty()) {
        receiver.settingsFile = defaults.settingsFile;
    } else {
        problem = "no settings file: name one on the line or on the command line";
        return false;
    }
    if (fields.size() > 2 && !ParsePortLine(fields[2], receiver.pcLine)) {
        problem = PcSettingsProblem("PC_SETTINGS", fields[2]);
        return false;
    }
    return true;
}

enum class ManifestLine { kBlank, kReceiver, kProblem };

ManifestLine ReadLine(std::string& line, const ManifestDefaults& defaults, FleetReceiver& receiver,
                      std::string& problem) {
    problem = TextProblem(line);
    if (!problem.empty()) return ManifestLine::kProblem;
    std::vector<std::string> fields;
    if (!Fields(line, fields)) {
        problem = "a quote (\") is not closed";
        return ManifestLine::kProblem;
    }
    if (fields.empty()) return ManifestLine::kBlank;
    if (!TakeOverrides(fields, receiver, problem) ||
        !TakeDeviceFields(std::move(fields), defaults, receiver, problem))
        return ManifestLine::kProblem;
    return ManifestLine::kReceiver;
}

// Opens a manifest that is a regular file of at most kMaxManifestSize bytes; a problem if not.
bool OpenManifest(const std::string& path, std::ifstream& file, std::vector<FleetProblem>& problems) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        problems.push_back({0, path + ": " + std::strerror(errno)});
        return false;
    }
    if (!S_ISREG(info.st_mode) || info.st_size > kMaxManifestSize) {
        problems.push_back(
            {0, path + (S_ISREG(info.st_mode) ? ": too large for a manifest" : ": not a file")});
        return false;
    }
    file.open(path, std::ios::binary);
    if (!file) {
        problems.push_back({0, path + ": cannot be read"});
        return false;
    }
    return true;
}

}  // namespace

bool ReadManifest(const std::string& path, const std::string& defaultFile, const PortLine& defaultPc,
                  std::vector<FleetReceiver>& receivers, std::vector<FleetProblem>& problems) {
    const size_t before = problems.size();
    std::ifstream file;
    if (!OpenManifest(path, file, problems)) return false;
    // Names are taken from the manifest's own folder, also when it is reached through a link.
    ManifestDefaults defaults{{}, defaultFile, defaultPc};
    std::error_code ec;
    defaults.folder = std::filesystem::canonical(path, ec).parent_path();
    if (ec) defaults.folder = std::filesystem::path(path).parent_path();
    std::string line;
    std::string problem;
    for (size_t number = 1; std::getline(file, line); ++number) {
        const std::string origin = path + ":" + std::to_string(number);
        FleetReceiver receiver;
        switch (ReadLine(line, defaults, receiver, problem)) {
            case ManifestLine::kBlank:
                break;
            case ManifestLine::kProblem:
                problems.push_back({number, origin + ": " + problem});
                break;
            case ManifestLine::kReceiver:
                receiver.origin = origin;
                receiver.line = number;
                receivers.push_back(std::move(receiver));
                break;
        }
    }
    if (problems.size() == before && receivers.empty()) problems.push_back({0, path + ": names no receiver"});
    return problems.size() == before;
}
