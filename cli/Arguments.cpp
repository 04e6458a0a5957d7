#include "cli/Arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>

#include "cli/CommandTable.h"
#include "serial/Serial.h"
#include "settings/SettingsControls.h"

const char* CommandName(CliCommand command) {
    const CliCommandEntry* entry = FindCliCommand(command);
    return entry == nullptr ? "" : entry->name;
}

std::string PcSettingsProblem(const std::string& who, const std::string& text) {
    return who +
           " wants BAUD,DATA,PARITY,STOP such as 9600,8,O,1 (baud 110 to 38400, data bits 7 or 8, parity N, "
           "O "
           "or E, stop bits 1 or 2), not '" +
           text + "'";
}

bool ParsePcSettings(const std::string& text, std::array<uint8_t, kPortConfigurationSize>& record,
                     std::string& error) {
    PortLine line;
    if (!ParsePortLine(text, line)) {
        error = PcSettingsProblem("--pc-settings", text);
        return false;
    }
    record.fill(0);
    PortRecordFromLine(line, record.data());
    error.clear();
    return true;
}

bool CheckDeviceName(const std::string& device, std::string& error) {
    return CheckSerialDeviceName(device, error);
}

namespace {

// The names of an option: "-o,--output" → {"-o", "--output"}.
std::vector<std::string> OptionNames(const CliOption& option) {
    std::vector<std::string> names;
    std::string text = option.names;
    for (size_t start = 0; start <= text.size();) {
        const size_t comma = std::min(text.find(',', start), text.size());
        names.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    return names;
}

// "--output=x.dat" → "--output".
std::string NameOf(const std::string& token) {
    return token.substr(0, token.find('='));
}

bool Names(const CliOption& option, const std::string& name) {
    const std::vector<std::string> names = OptionNames(option);
    return std::find(names.begin(), names.end(), name) != names.end();
}

// The name under which an option was last given ("-o" or "--output", without "=VALUE").
std::string TypedName(const std::vector<std::string>& tokens, const CliOption& option) {
    std::string typed = OptionNames(option).back();
    for (const std::string& token : tokens)
        if (Names(option, NameOf(token))) typed = NameOf(token);
    return typed;
}

bool IsHelp(const std::string& arg) {
    return arg == "--help" || arg == "-h";
}

// "--json=x": CLI11 would take it; a flag takes no value here.
bool RefuseFlagValues(const CliCommandEntry& entry, const std::vector<std::string>& tokens,
                      std::string& error) {
    for (const std::string& token : tokens) {
        if (token.find('=') == std::string::npos) continue;
        for (const CliOption& option : entry.options) {
            if (option.value == nullptr && Names(option, NameOf(token))) {
                error = NameOf(token) + " takes no value";
                return false;
            }
        }
    }
    return true;
}

// An option's values as CLI11 collected them, into the record.
bool ApplyOption(const CliOption& option, const CLI::Option& parsed, const std::vector<std::string>& tokens,
                 CliArguments& arguments, std::string& error) {
    if (parsed.count() == 0) return true;
    if (option.value == nullptr) return option.apply(arguments, "", error);
    const std::vector<std::string>& values = parsed.results();
    if (values.size() > 1) {
        error = std::string(option.repeated != nullptr ? option.repeated : OptionNames(option).back()) +
                " is given twice";
        return false;
    }
    if (values.empty() || values[0].empty()) {
        error = TypedName(tokens, option) + " needs a value";
        return false;
    }
    return option.apply(arguments, values[0], error);
}

// The options of one command through CLI11, into the record; the positional arguments into
// positional. tokens holds what comes before "--".
bool ParseOptions(const CliCommandEntry& entry, const std::vector<std::string>& tokens,
                  CliArguments& arguments, std::vector<std::string>& positional, std::string& error) {
    if (!RefuseFlagValues(entry, tokens, error)) return false;
    CLI::App app{"", entry.name};
    app.set_help_flag();  // the help is the table's, not CLI11's
    app.allow_extras();
    // On Windows too the options are --name and -x: /path stays a path (CLI11 would take /x as an option).
    app.allow_windows_style_options(false);
    app.add_option("arguments", positional);
    std::vector<CLI::Option*> parsed;
    for (const CliOption& option : entry.options) {
        parsed.push_back(
            option.value == nullptr
                ? app.add_flag(option.names)
                : app.add_option(option.names)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll));
    }
    std::vector<std::string> reversed(tokens.rbegin(), tokens.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch&) {
        // An option without its value: the last option given.
        const auto last = std::find_if(tokens.rbegin(), tokens.rend(),
                                       [](const std::string& token) { return token.rfind('-', 0) == 0; });
        error = (last == tokens.rend() ? std::string("an option") : NameOf(*last)) + " needs a value";
        return false;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    // What CLI11 did not take as an option ("--bogus", "---x", "-5") and still looks like one.
    std::vector<std::string> unknown = app.remaining();
    unknown.insert(unknown.end(), positional.begin(), positional.end());
    for (const std::string& extra : unknown) {
        if (extra.size() > 1 && extra[0] == '-') {
            error = "unknown option '" + extra + "' for " + entry.name;
            return false;
        }
    }
    for (size_t i = 0; i < entry.options.size(); ++i)
        if (!ApplyOption(entry.options[i], *parsed[i], tokens, arguments, error)) return false;
    return true;
}

}  // namespace

CliParse ParseCliArguments(const std::vector<std::string>& args, CliArguments& arguments,
                           std::string& error) {
    arguments = CliArguments{};
    if (args.empty()) {
        error = "no command given";
        return CliParse::kError;
    }
    const std::string& first = args[0];
    if (first == "--version") return CliParse::kVersion;
    if (IsHelp(first) || first == "help") {
        // "help COMMAND" shows that command's help.
        if (first == "help" && args.size() > 1) {
            const CliCommandEntry* entry = FindCliCommand(args[1]);
            if (entry == nullptr) {
                error = "unknown command '" + args[1] + "'";
                return CliParse::kError;
            }
            arguments.command = entry->command;
        }
        arguments.help = true;
        return CliParse::kHelp;
    }
    const CliCommandEntry* entry = FindCliCommand(first);
    if (entry == nullptr) {
        error = first.rfind('-', 0) == 0 ? "expected a command before '" + first + "'"
                                         : "unknown command '" + first + "'";
        return CliParse::kError;
    }
    arguments.command = entry->command;

    // Everything after "--" is an argument, whatever it looks like; CLI11 sees only what comes before
    // (it would not end a subcommand's options there).
    const auto end = std::find(args.begin() + 1, args.end(), std::string("--"));
    const std::vector<std::string> tokens(args.begin() + 1, end);
    // --help anywhere before "--" wins over everything else.
    if (std::any_of(tokens.begin(), tokens.end(), IsHelp)) {
        arguments.help = true;
        return CliParse::kHelp;
    }
    std::vector<std::string> positional;
    if (!ParseOptions(*entry, tokens, arguments, positional, error)) return CliParse::kError;
    if (end != args.end()) positional.insert(positional.end(), end + 1, args.end());
    if (std::find(positional.begin(), positional.end(), std::string()) != positional.end()) {
        error = "an empty argument";
        return CliParse::kError;
    }
    return entry->takePositional(positional, arguments, error) ? CliParse::kRun : CliParse::kError;
}

namespace {

constexpr size_t kHelpWidth = 80;

// text after prefix, its words wrapped to kHelpWidth columns, further lines indented by indent.
void AppendWrapped(std::string& out, const std::string& prefix, const std::string& text, size_t indent) {
    std::string line = prefix;
    if (!line.empty() && line.back() != ' ') line += ' ';
    if (line.size() > indent) {
        out += line.substr(0, line.find_last_not_of(' ') + 1) + "\n";
        line.clear();
    }
    line.resize(indent, ' ');
    bool empty = true;
    for (size_t start = 0; start < text.size();) {
        const size_t space = std::min(text.find(' ', start), text.size());
        const std::string word = text.substr(start, space - start);
        start = space + 1;
        if (word.empty()) continue;
        if (!empty && line.size() + 1 + word.size() > kHelpWidth) {
            out += line + "\n";
            line.assign(indent, ' ');
            empty = true;
        }
        line += (empty ? "" : " ") + word;
        empty = false;
    }
    out += line + "\n";
}

// Paragraphs, one a line; a line that begins with a space is kept as it is.
void AppendParagraphs(std::string& out, const std::string& text) {
    for (size_t start = 0; start <= text.size();) {
        const size_t newline = std::min(text.find('\n', start), text.size());
        const std::string line = text.substr(start, newline - start);
        start = newline + 1;
        if (line.empty() || line[0] == ' ')
            out += line + "\n";
        else
            AppendWrapped(out, "", line, 0);
    }
}

std::string OptionSynopsis(const CliOption& option) {
    std::string synopsis;
    for (const std::string& name : OptionNames(option)) synopsis += (synopsis.empty() ? "" : ", ") + name;
    if (option.value != nullptr) synopsis += std::string(" ") + option.value;
    return synopsis;
}

void AppendExitStatus(std::string& out, const std::vector<CliExitStatus>& rows) {
    out += "Exit status:\n";
    for (const CliExitStatus& row : rows)
        AppendWrapped(out, "  " + std::to_string(row.status), row.meaning, 5);
}

}  // namespace

std::string HelpText(CliCommand command) {
    std::string out;
    if (const CliCommandEntry* entry = FindCliCommand(command)) {
        const std::string program = std::string("vandel-cli ") + entry->name + " ";
        for (size_t i = 0; i < entry->usage.size(); ++i)
            AppendWrapped(out, (i == 0 ? "Usage: " : "       ") + program, entry->usage[i],
                          7 + program.size());
        out += "\n";
        AppendParagraphs(out, entry->description);
        out += "\n";
        for (const CliOption& option : entry->options)
            if (option.help != nullptr) AppendWrapped(out, "  " + OptionSynopsis(option), option.help, 24);
        out += "\n";
        if (entry->schemas != nullptr) {
            AppendWrapped(
                out, "", std::string("JSON Schema (") + kDocumentationFolder + "/schema/): " + entry->schemas,
                0);
            out += "\n";
        }
        AppendExitStatus(out, entry->exitStatus);
        return out;
    }
    out =
        "Usage: vandel-cli COMMAND [ARGUMENTS]\n"
        "\n"
        "Settings files and receivers without a window.\n"
        "\n"
        "Commands:\n";
    for (const CliCommandEntry& entry : CliCommandTable())
        AppendWrapped(out, std::string("  ") + entry.name, entry.summary, 13);
    out += "\n";
    AppendParagraphs(out,
                     "DEVICE is a tty path (/dev/ttyUSB0) or a network serial port (rfc2217://HOST:PORT). "
                     "Progress goes to standard error (--quiet: none). 'vandel-cli COMMAND --help' describes "
                     "one command. The README, the trace format (TRACE.md) and the JSON Schemas of every "
                     "JSON output (schema/) are in " +
                         std::string(kDocumentationFolder) + ".");
    out += "\n";
    AppendExitStatus(out,
                     {{0, "success"},
                      {1, "the files differ, or some receiver failed, differs or misses groups"},
                      {2, "bad arguments, a file that cannot be read or no serial device: nothing touched"},
                      {3, "configure stopped at the \"Invalid Configuration\" question: nothing sent"},
                      {130, "load, configure or verify stopped by SIGINT (143: SIGTERM, 129: SIGHUP)"}});
    return out;
}
