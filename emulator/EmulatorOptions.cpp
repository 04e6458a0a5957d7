#include "emulator/EmulatorOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <sstream>

#include "bytes/ByteOrder.h"
#include "serial/TraceRead.h"

namespace {

// A decimal number within [low, high]; false for anything else.
bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t& value) {
    if (text.empty() || text.size() > 12) return false;
    int64_t parsed = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        parsed = parsed * 10 + (c - '0');
    }
    if (parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

bool ParseListen(const std::string& text, EmulatorOptions& options) {
    std::string host = options.listenHost;
    std::string port = text;
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
        if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
            host = host.substr(1, host.size() - 2);
        if (host.empty()) host = "127.0.0.1";
    }
    int64_t value = 0;
    if (!ParseNumber(port, 0, 65535, value)) return false;
    options.listenHost = host;
    options.listenPort = static_cast<uint16_t>(value);
    return true;
}

std::string Hex(const uint8_t* bytes, int length) {
    std::string text;
    char hex[4];
    for (int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += hex;
    }
    return text;
}

}  // namespace

bool ParseGroupList(const std::string& text, std::array<bool, kGroupCount + 1>& groups) {
    std::array<bool, kGroupCount + 1> parsed{};
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item =
            text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int64_t number = 0;
        if (!ParseNumber(item, 1, kGroupCount, number)) return false;
        parsed[static_cast<size_t>(number)] = true;
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    groups = parsed;
    return true;
}

namespace {

// One option of the emulator: its names as CLI11 takes them, its value's name (nullptr: a flag),
// its section and text in the help, and what it does to the options (value "" for a flag).
struct EmulatorOptionRow {
    const char* names;
    const char* value;
    const char* section;
    const char* help;
    bool (*apply)(const std::string& value, EmulatorOptions& options, std::string& error);
};

constexpr const char* kLine = "Line";
constexpr const char* kBehaviour = "Behaviour";
constexpr const char* kFaults = "Faults";

bool Milliseconds(const char* name, const std::string& text, int& out, std::string& error) {
    int64_t number = 0;
    if (!ParseNumber(text, 0, 60000, number)) {
        error = std::string(name) + " wants milliseconds from 0 to 60000, not '" + text + "'";
        return false;
    }
    out = static_cast<int>(number);
    return true;
}

bool Groups(const char* name, const std::string& text, std::array<bool, kGroupCount + 1>& groups,
            std::string& error) {
    if (ParseGroupList(text, groups)) return true;
    error = std::string(name) + " wants group numbers 1..13 separated by commas, not '" + text + "'";
    return false;
}

enum class StartFrom { kSettingsFile, kTrace };

bool StartSettings(StartFrom from, const std::string& text, EmulatorOptions& options, std::string& error) {
    if (!options.startSettings.empty()) {
        error = "--settings and --from-trace are given more than once";
        return false;
    }
    std::vector<ReceiverSettings> settings(1);
    const bool read = from == StartFrom::kTrace ? ReceiverSettingsFromTrace(text, settings, error)
                                                : ReceiverSettingsFromFile(text, settings[0], error);
    if (!read) return false;
    options.startSettings = settings;
    // The line starts where the settings put Port B (unless --port-b says otherwise).
    PortLine line;
    if (PortLineFromRecord(settings[0].Group(kGroupPortBConfiguration), line)) options.portB = line;
    return true;
}

// In the order they are applied: the settings a receiver starts from before --port-b, which
// overrides their Port B. The help lists them by section, in this order.
const std::vector<EmulatorOptionRow>& EmulatorOptionTable() {
    static const std::vector<EmulatorOptionRow> table = {
        {"--listen", "[HOST:]PORT", kLine,
         "serve RFC 2217 on HOST (default 127.0.0.1) and PORT; 0 picks a free port. Prints 'receiver N "
         "listening on HOST:PORT'. The default.",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             options.usePty = false;
             if (ParseListen(text, options)) return true;
             error = "--listen wants HOST:PORT or PORT (0..65535), not '" + text + "'";
             return false;
         }},
        {"--pty", nullptr, kLine, "create a pseudo-terminal instead; prints 'receiver N on PATH'",
         [](const std::string&, EmulatorOptions& options, std::string&) { return options.usePty = true; }},
        {"--count", "N", kLine, "N independent receivers (1..20) on N ptys or consecutive ports",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             int64_t number = 0;
             if (!ParseNumber(text, 1, 20, number)) {
                 error = "--count wants a number from 1 to 20, not '" + text + "'";
                 return false;
             }
             options.count = static_cast<int>(number);
             return true;
         }},
        {"--settings", "FILE", kLine, "start every receiver from a 169-byte settings file",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             return StartSettings(StartFrom::kSettingsFile, text, options, error);
         }},
        {"--from-trace", "TRACE", kLine,
         "start each receiver from the last report of each group its port got in a trace (vandel-cli "
         "--trace), port by port with --count",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             return StartSettings(StartFrom::kTrace, text, options, error);
         }},
        {"--port-b", "B,D,P,S", kLine, "factory Port B line, e.g. 9600,8,N,1 (the default)",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             if (ParsePortLine(text, options.portB)) return true;
             error =
                 "--port-b wants BAUD,DATA,PARITY,STOP such as 9600,8,N,1 (baud 110..38400, 7 or 8 data "
                 "bits, parity N, O or E, 1 or 2 stop bits), not '" +
                 text + "'";
             return false;
         }},
        {"--version", nullptr, kLine, "print the version and exit", nullptr},
        {"--auto-output", nullptr, kBehaviour,
         "once a second send 4A (20-byte form), 8F-AB and 8F-AC unasked",
         [](const std::string&, EmulatorOptions& options, std::string&) {
             return options.autoOutput = true;
         }},
        {"--reset-silence", "MS", kBehaviour, "how long command 1E 4B keeps it silent (default 1500)",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             return Milliseconds("--reset-silence", text, options.resetSilenceMs, error);
         }},
        {"--log", "FILE", kBehaviour, "write every packet received and sent, time-stamped, in hex",
         [](const std::string& text, EmulatorOptions& options, std::string&) {
             options.logFile = text;
             return true;
         }},
        {"--silent", nullptr, kFaults, "answer nothing at all",
         [](const std::string&, EmulatorOptions& options, std::string&) { return options.silent = true; }},
        {"--no-break-reply", nullptr, kFaults, "send no text after a line break",
         [](const std::string&, EmulatorOptions& options, std::string&) {
             return options.noBreakReply = true;
         }},
        {"--ignore", "GROUPS", kFaults, "neither answer nor apply the commands of these groups (e.g. 4,7)",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             return Groups("--ignore", text, options.faults.ignore, error);
         }},
        {"--differ", "GROUPS", kFaults, "report a value other than the one set for these groups",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             return Groups("--differ", text, options.faults.differ, error);
         }},
        {"--no-save", nullptr, kFaults, "accept 8E-26 but keep the saved copy as it was",
         [](const std::string&, EmulatorOptions& options, std::string&) {
             return options.faults.noSave = true;
         }},
        {"--latency", "MS", kFaults, "wait MS before each answer",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             return Milliseconds("--latency", text, options.latencyMs, error);
         }},
        {"--hangup-after", "BYTES", kFaults, "hang up the line after sending BYTES bytes",
         [](const std::string& text, EmulatorOptions& options, std::string& error) {
             int64_t number = 0;
             if (!ParseNumber(text, 0, int64_t{1} << 40, number)) {
                 error = "--hangup-after wants a number of bytes, not '" + text + "'";
                 return false;
             }
             options.hangupAfterBytes = number;
             return true;
         }},
    };
    return table;
}

// "--count=3" → "--count".
std::string NameOf(const std::string& token) {
    return token.substr(0, token.find('='));
}

// The rows of a section, each "  NAME VALUE" and its text wrapped beside it within 80 columns.
std::string SectionHelp(const char* section) {
    constexpr size_t kTextColumn = 25;
    constexpr size_t kWidth = 80;
    std::string text = std::string(section) + ":\n";
    for (const EmulatorOptionRow& row : EmulatorOptionTable()) {
        if (row.section != section) continue;
        std::string line = "  " + std::string(row.names) + (row.value ? std::string(" ") + row.value : "");
        line.resize(std::max(line.size() + 1, kTextColumn), ' ');
        std::string word;
        std::istringstream words(row.help);
        bool first = true;
        while (words >> word) {
            if (!first && line.size() + 1 + word.size() > kWidth) {
                text += line + "\n";
                line = std::string(kTextColumn, ' ');
                first = true;
            }
            line += (first ? "" : " ") + word;
            first = false;
        }
        text += line + "\n";
    }
    return text;
}

}  // namespace

EmulatorArgsResult ParseEmulatorArguments(const std::vector<std::string>& args, EmulatorOptions& options,
                                          std::string& error) {
    if (std::find_if(args.begin(), args.end(),
                     [](const std::string& a) { return a == "--help" || a == "-h"; }) != args.end())
        return EmulatorArgsResult::Help;
    if (std::find(args.begin(), args.end(), "--version") != args.end()) return EmulatorArgsResult::Version;
    const std::vector<EmulatorOptionRow>& table = EmulatorOptionTable();
    for (const std::string& token : args) {
        if (token.find('=') == std::string::npos) continue;
        for (const EmulatorOptionRow& row : table)
            if (row.value == nullptr && NameOf(token) == row.names) {
                error = NameOf(token) + " takes no value";
                return EmulatorArgsResult::Error;
            }
    }
    CLI::App app{"", "kirp-emulator"};
    app.set_help_flag();  // the help is the table's
    app.allow_extras();
    std::vector<CLI::Option*> parsed;
    for (const EmulatorOptionRow& row : table)
        parsed.push_back(row.value == nullptr ? app.add_flag(row.names)
                                              : app.add_option(row.names)->multi_option_policy(
                                                    CLI::MultiOptionPolicy::TakeAll));
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them last first
    try {
        app.parse(reversed);
    } catch (const CLI::ArgumentMismatch&) {
        const auto last = std::find_if(args.rbegin(), args.rend(),
                                       [](const std::string& token) { return token.rfind('-', 0) == 0; });
        error = (last == args.rend() ? std::string("an option") : NameOf(*last)) + " needs a value";
        return EmulatorArgsResult::Error;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return EmulatorArgsResult::Error;
    }
    if (!app.remaining().empty()) {
        error = "unknown option '" + app.remaining().front() + "' (see --help)";
        return EmulatorArgsResult::Error;
    }
    if (parsed[0]->count() > 0 && parsed[1]->count() > 0) {
        error = "--pty and --listen exclude each other";
        return EmulatorArgsResult::Error;
    }
    for (size_t i = 0; i < table.size(); ++i) {
        if (parsed[i]->count() == 0 || table[i].apply == nullptr) continue;
        const std::vector<std::string>& values = parsed[i]->results();
        if (table[i].value != nullptr && values.size() > 1) {
            error = std::string(table[i].names) + " is given twice";
            return EmulatorArgsResult::Error;
        }
        if (table[i].value != nullptr && (values.empty() || values[0].empty())) {
            error = std::string(table[i].names) + " needs a value";
            return EmulatorArgsResult::Error;
        }
        if (!table[i].apply(table[i].value == nullptr ? std::string() : values[0], options, error))
            return EmulatorArgsResult::Error;
    }
    return EmulatorArgsResult::Run;
}

std::string EmulatorHelpText() {
    std::string text =
        "Usage: kirp-emulator [options]\n"
        "\n"
        "An emulated GPS timing receiver answering KIRP packets on its Port B, on a\n"
        "pseudo-terminal or on a network serial port (RFC 2217). Stop it with Ctrl-C.\n"
        "\n";
    for (const char* section : {kLine, kBehaviour, kFaults}) text += SectionHelp(section) + "\n";
    text +=
        "What the PC side looks like: over RFC 2217 the emulator sees baud rate, data\n"
        "bits, parity, stop bits, breaks and purges; over a pty only baud rate and stop\n"
        "bits (a pty forces 8 data bits and no parity, and a break does not pass).\n"
        "While the PC side differs from Port B, what the PC sends is lost and what the\n"
        "receiver sends arrives as garbage.\n"
        "\n"
        "Groups (1..13) and their factory settings, as reported (hex payload after the id):\n";
    const ReceiverSettings factory = FactoryReceiverSettings(PortLine{});
    for (const ReceiverGroup& group : kReceiverGroups) {
        char line[160];
        const char* name = kSettingsGroups[static_cast<size_t>(group.groupNo - 1)].name;
        std::snprintf(line, sizeof line, "  %2d %-26s report %02X: ", group.groupNo, name, group.reportId);
        text += line;
        text += Hex(factory.Group(group.groupNo), group.reportLength) + "\n";
    }
    const uint8_t* altitude = factory.Group(kGroup2DAltitude);
    const uint8_t* gps = factory.Group(kGroupGPSConfiguration);
    char summary[600];
    std::snprintf(
        summary, sizeof summary,
        "\n  In words: altitude %.1f m held; I/O options LLA double precision, ENU velocity, UTC,\n"
        "  raw data; NMEA GGA and ZDA every second; receiver mode over-determined clock, DGPS auto,\n"
        "  stationary, elevation mask %.0f degrees, signal mask %.1f, PDOP mask %.1f, switch %.1f,\n"
        "  DGPS age 30 s; Port A 4800 8N1 RTCM in, NMEA out; Port B 9600 8N1 KIRP (see --port-b);\n"
        "  datum WGS-84 (index 0); timing output enabled, UTC, positive, offset 0, bias 300 m;\n"
        "  automatic output packets 40 and 4F; PPS when tracking 1 satellite, 10 us wide;\n"
        "  self survey on, 2000 fixes, position not saved.\n",
        static_cast<double>(GetSingleBE(altitude)), static_cast<double>(GetSingleBE(gps + 5)) * 57.29578,
        static_cast<double>(GetSingleBE(gps + 9)), static_cast<double>(GetSingleBE(gps + 13)),
        static_cast<double>(GetSingleBE(gps + 17)));
    text += summary;
    text += "\n  Break reply: " + BreakReplyText(PortLine{});
    return text;
}
