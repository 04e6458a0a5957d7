#include "cli/SettingsTextCommands.h"

#include <algorithm>
#include <filesystem>
#include <map>

#include "cli/Commands.h"
#include "cli/SettingsFileRead.h"
#include "operations/ConfigureReceivers.h"
#include "settings/SettingsFile.h"

namespace {

using Image = std::array<uint8_t, kSettingsImageSize>;

std::string FolderOf(const std::string& path) {
    const std::string folder = std::filesystem::path(path).parent_path().string();
    return folder.empty() ? "." : folder;
}

// Writes the settings to path in the form its name asks for, atomically; a text form is read back
// first and must give the same image.
bool WriteSettings(const std::string& path, const std::string& contents, const Image& image, std::FILE* err) {
    std::string error;
    if (IsSettingsTextName(path)) {
        Image again{};
        if (!SettingsImageFromText(contents, path, FolderOf(path), again, error) || again != image) {
            Message(err, "cannot write " + path + ": the text would not read back as these settings" +
                             (error.empty() ? std::string() : ": " + error));
            return false;
        }
    }
    if (!SaveFileAtomically(path, contents.data(), contents.size(), error)) {
        Message(err, "cannot write " + path + ": " + error);
        return false;
    }
    return true;
}

void WarnInvalidConfiguration(const std::string& path, const Image& image, std::FILE* err) {
    const std::string warning = InvalidConfigurationWarning(path, image);
    if (!warning.empty()) Message(err, "warning: " + warning);
}

// "[table]" alone on its line (blanks and a comment allowed).
bool IsTableHeader(const std::string& line, const std::string& table) {
    std::string compact;
    for (const char c : line) {
        if (c == '#') break;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') compact += c;
    }
    return compact == "[" + table + "]";
}

}  // namespace

std::string SettingsFileContents(const std::string& path, const Image& image) {
    if (IsSettingsTextName(path)) return SettingsToText(image.data());
    return std::string(image.begin(), image.end());
}

std::string InvalidConfigurationFields(const Image& image, const char** question) {
    const Image before = SettingsImage;
    SettingsImage = image;
    const char* asked = InvalidConfigurationQuestion();
    SettingsImage = before;
    if (question != nullptr) *question = asked;
    if (asked == nullptr) return {};
    // The bytes the rule reads: the survey enable, the receiver mode and the dynamics code.
    constexpr std::pair<int, int> kRuleFields[] = {
        {kGroupSelfSurveyConfiguration, 1}, {kGroupGPSConfiguration, 1}, {kGroupGPSConfiguration, 3}};
    std::string fields;
    for (const auto& [group, offset] : kRuleFields) {
        for (const SettingsKey& key : SettingsKeys()) {
            if (key.layout.group != group || key.layout.offset != offset ||
                key.layout.kind == FieldKind::kBytes)
                continue;
            fields += (fields.empty() ? "" : ", ") + key.Path() + " = " +
                      SettingsFieldValue(key, image.data()).toml;
        }
    }
    return fields;
}

std::string InvalidConfigurationWarning(const std::string& path, const Image& image) {
    const char* question = nullptr;
    const std::string fields = InvalidConfigurationFields(image, &question);
    if (question == nullptr) return {};
    std::string text = question;
    std::replace(text.begin(), text.end(), '\n', ' ');
    return path + ": configure would stop at the \"Invalid Configuration\" question (" + fields +
           "): " + text;
}

namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        const size_t next = end == std::string::npos ? text.size() : end + 1;
        lines.push_back(text.substr(start, next - start));
        start = next;
    }
    return lines;
}

// The edits of one settings text: values rewritten in place, keys added under their tables.
struct TextEdits {
    struct Change {
        int line;
        int column;
        int length;
        std::string value;
    };
    std::vector<std::string> lines;
    std::vector<Change> changes;
    std::map<std::string, std::vector<std::string>> inserts;
    std::vector<std::string> tableOrder;

    // The new values of keys: in place where the text has the key, added where it is in added.
    bool ChangeKeys(const SettingsTextFile& parsed, const std::string& name,
                    const std::vector<const SettingsKey*>& keys, const std::vector<const SettingsKey*>& added,
                    const uint8_t* image, std::string& error) {
        for (const SettingsKey* key : keys) {
            const std::string value = SettingsFieldValue(*key, image).toml;
            const auto entry = std::find_if(parsed.entries.begin(), parsed.entries.end(),
                                            [&](const SettingsTextEntry& e) { return e.key == key; });
            if (entry != parsed.entries.end()) {
                if (entry->length == 0 || entry->line < 1 ||
                    static_cast<size_t>(entry->line) > lines.size()) {
                    error = name + ":" + std::to_string(entry->line) + ": the value of " + key->Path() +
                            " spans lines and cannot be rewritten in place";
                    return false;
                }
                changes.push_back({entry->line, entry->column, entry->length, value});
            } else if (std::find(added.begin(), added.end(), key) != added.end()) {
                if (inserts.count(key->table) == 0) tableOrder.push_back(key->table);
                inserts[key->table].push_back(key->key + " = " + value + "  # " + SettingsKeyComment(*key) +
                                              "\n");
            }
        }
        return true;
    }

    // A relative base named again from the folder the text is written to.
    bool MoveBase(const SettingsTextFile& parsed, const std::string& name, const std::string& newFolder,
                  std::string& error) {
        namespace fs = std::filesystem;
        if (!parsed.hasBase || !fs::path(parsed.base).is_relative() || parsed.base.empty()) return true;
        std::error_code ec;
        const fs::path from = fs::weakly_canonical(FolderOf(name), ec);
        const fs::path to = fs::weakly_canonical(newFolder, ec);
        const fs::path moved = fs::relative(from / parsed.base, to, ec);
        if (ec || moved.empty() || from == to) return true;
        if (parsed.baseEntry.length == 0) {
            error = name + ": the base spans lines and cannot be renamed for " + newFolder;
            return false;
        }
        std::string quoted = "\"";
        for (const char c : moved.string())
            quoted += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
        changes.push_back(
            {parsed.baseEntry.line, parsed.baseEntry.column, parsed.baseEntry.length, quoted + "\""});
        return true;
    }

    std::string Apply() {
        // Right to left within a line, so that each change keeps the columns of the ones before it.
        std::sort(changes.begin(), changes.end(), [](const Change& a, const Change& b) {
            return a.line != b.line ? a.line < b.line : a.column > b.column;
        });
        for (const Change& change : changes) {
            std::string& line = lines[static_cast<size_t>(change.line - 1)];
            line.replace(static_cast<size_t>(change.column - 1), static_cast<size_t>(change.length),
                         change.value);
        }
        std::string tail;
        for (const std::string& table : tableOrder) {
            std::vector<std::string>& newLines = inserts[table];
            const auto header = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
                return IsTableHeader(line, table);
            });
            if (header != lines.end()) {
                if (header->empty() || header->back() != '\n') *header += '\n';
                lines.insert(header + 1, newLines.begin(), newLines.end());
            } else {
                tail += "\n[" + table + "]\n";
                for (const std::string& line : newLines) tail += line;
            }
        }
        std::string edited;
        for (const std::string& line : lines) edited += line;
        if (!tail.empty() && !edited.empty() && edited.back() != '\n') edited += '\n';
        return edited + tail;
    }
};

}  // namespace

bool EditSettingsText(const std::string& text, const std::string& name,
                      const std::vector<const SettingsKey*>& keys,
                      const std::vector<const SettingsKey*>& added, const uint8_t* image,
                      const std::string& newFolder, std::string& edited, std::string& error) {
    SettingsTextFile parsed;
    if (!ParseSettingsText(text, name, parsed, error)) return false;
    TextEdits edits;
    edits.lines = Lines(text);
    if (!edits.ChangeKeys(parsed, name, keys, added, image, error) ||
        !edits.MoveBase(parsed, name, newFolder, error))
        return false;
    edited = edits.Apply();
    return true;
}

int RunConvert(const CliArguments& arguments, std::FILE*, std::FILE* err) {
    const std::string& from = arguments.files[0];
    const std::string& to = arguments.files[1];
    SettingsFileBytes file;
    if (!ReadFileOrSay(from, file, err)) return kExitUsage;
    std::string target;
    std::string error;
    if (!CheckSaveTarget(to, target, error)) {
        Message(err, to + ": " + error);
        return kExitUsage;
    }
    if (!WriteSettings(to, SettingsFileContents(to, file.bytes), file.bytes, err)) return kExitUsage;
    WarnInvalidConfiguration(to, file.bytes, err);
    return kExitSuccess;
}

int RunSet(const CliArguments& arguments, std::FILE*, std::FILE* err) {
    const std::string& path = arguments.files[0];
    const std::string target = arguments.output.empty() ? path : arguments.output;
    if (target == "-") {
        Message(err, "set writes a file: give -o FILE to read standard input");
        return kExitUsage;
    }
    std::vector<std::pair<const SettingsKey*, SettingsValue>> values;
    for (const std::string& assignment : arguments.assignments) {
        const size_t equals = assignment.find('=');
        const std::string name = assignment.substr(0, equals);
        const SettingsKey* key = equals == std::string::npos ? nullptr : FindSettingsKey(name);
        if (key == nullptr) {
            Message(err, equals == std::string::npos
                             ? "'" + assignment + "' is no KEY=VALUE"
                             : "'" + name + "' is no key of the settings (vandel-settings(5))");
            return kExitUsage;
        }
        if (std::any_of(values.begin(), values.end(), [&](const auto& v) { return v.first == key; })) {
            Message(err, name + " is given twice");
            return kExitUsage;
        }
        values.emplace_back(key, SettingsValue{SettingsValueType::kText, assignment.substr(equals + 1)});
    }
    SettingsFileBytes file;
    if (!ReadFileOrSay(path, file, err)) return kExitUsage;
    Image image = file.bytes;
    std::string error;
    if (!ApplySettingsValues(values, image.data(), error)) {
        Message(err, error);
        Message(err, (arguments.output.empty() ? path : target) + " is unchanged");
        return kExitUsage;
    }

    std::string contents;
    if (IsSettingsTextName(target) && IsSettingsTextName(path)) {
        // The text file keeps its comments and the keys not set; keys the window writes along with
        // a set one are rewritten where the file gives them.
        std::string text;
        if (!ReadSettingsTextFile(path, text, error)) {
            Message(err, error);
            return kExitUsage;
        }
        std::vector<const SettingsKey*> keys;
        std::vector<const SettingsKey*> added;
        for (const auto& [key, value] : values) {
            if (std::find(keys.begin(), keys.end(), key) == keys.end()) keys.push_back(key);
            added.push_back(key);
            for (const SettingsKey* follower : FollowerKeys(*key))
                if (std::find(keys.begin(), keys.end(), follower) == keys.end()) keys.push_back(follower);
        }
        // The keys that follow a set one are written only where the file gives them, unless the file
        // would then read differently (a base giving other values for them): then they are added too.
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!EditSettingsText(text, path, keys, attempt == 0 ? added : keys, image.data(),
                                  FolderOf(target), contents, error)) {
                Message(err, error);
                return kExitUsage;
            }
            std::array<uint8_t, kSettingsImageSize> again{};
            std::string ignored;
            if (SettingsImageFromText(contents, target, FolderOf(target), again, ignored) && again == image)
                break;
        }
    } else {
        contents = SettingsFileContents(target, image);
    }
    if (!WriteSettings(target, contents, image, err)) return kExitUsage;
    WarnInvalidConfiguration(target, image, err);
    return kExitSuccess;
}

int RunGet(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    std::vector<const SettingsKey*> keys;
    for (const std::string& name : arguments.assignments) {
        const SettingsKey* key = FindSettingsKey(name);
        if (key == nullptr) {
            Message(err, "'" + name + "' is no key of the settings (vandel-settings(5))");
            return kExitUsage;
        }
        keys.push_back(key);
    }
    SettingsFileBytes file;
    if (!ReadFileOrSay(arguments.files[0], file, err)) return kExitUsage;
    for (const SettingsKey* key : keys)
        std::fprintf(out, "%s\n", SettingsFieldValue(*key, file.bytes.data()).plain.c_str());
    return kExitSuccess;
}

int RunCheck(const CliArguments& arguments, std::FILE* out, std::FILE* err) {
    const std::string& path = arguments.files[0];
    SettingsFileBytes file;
    if (!ReadFileOrSay(path, file, err)) return kExitUsage;
    const std::string warning = InvalidConfigurationWarning(path, file.bytes);
    if (!warning.empty()) {
        std::fprintf(out, "%s\n", warning.c_str());
        return kExitFailed;
    }
    std::fprintf(out, "%s: passes the self-survey/dynamics check\n", path.c_str());
    return kExitSuccess;
}
