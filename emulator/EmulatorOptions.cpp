#include "emulator/EmulatorOptions.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

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

EmulatorArgsResult ParseEmulatorArguments(const std::vector<std::string>& args, EmulatorOptions& options,
                                          std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string text;
        int64_t number = 0;
        if (arg == "--help" || arg == "-h") return EmulatorArgsResult::Help;
        if (arg == "--version") return EmulatorArgsResult::Version;
        if (arg == "--pty") {
            options.usePty = true;
        } else if (arg == "--listen") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (!ParseListen(text, options)) {
                error = "--listen wants HOST:PORT or PORT (0..65535), not '" + text + "'";
                return EmulatorArgsResult::Error;
            }
            options.usePty = false;
        } else if (arg == "--count") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (!ParseNumber(text, 1, 20, number)) {
                error = "--count wants a number from 1 to 20, not '" + text + "'";
                return EmulatorArgsResult::Error;
            }
            options.count = static_cast<int>(number);
        } else if (arg == "--port-b") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (!ParsePortLine(text, options.portB)) {
                error =
                    "--port-b wants BAUD,DATA,PARITY,STOP such as 9600,8,N,1 (baud 110..38400, 7 or 8 data "
                    "bits, parity N, O or E, 1 or 2 stop bits), not '" +
                    text + "'";
                return EmulatorArgsResult::Error;
            }
        } else if (arg == "--auto-output") {
            options.autoOutput = true;
        } else if (arg == "--silent") {
            options.silent = true;
        } else if (arg == "--no-break-reply") {
            options.noBreakReply = true;
        } else if (arg == "--no-save") {
            options.faults.noSave = true;
        } else if (arg == "--ignore" || arg == "--differ") {
            if (!value(text)) return EmulatorArgsResult::Error;
            auto& groups = arg == "--ignore" ? options.faults.ignore : options.faults.differ;
            if (!ParseGroupList(text, groups)) {
                error = arg + " wants group numbers 1..13 separated by commas, not '" + text + "'";
                return EmulatorArgsResult::Error;
            }
        } else if (arg == "--latency") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (!ParseNumber(text, 0, 60000, number)) {
                error = "--latency wants milliseconds from 0 to 60000, not '" + text + "'";
                return EmulatorArgsResult::Error;
            }
            options.latencyMs = static_cast<int>(number);
        } else if (arg == "--hangup-after") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (!ParseNumber(text, 0, int64_t{1} << 40, number)) {
                error = "--hangup-after wants a number of bytes, not '" + text + "'";
                return EmulatorArgsResult::Error;
            }
            options.hangupAfterBytes = number;
        } else if (arg == "--reset-silence") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (!ParseNumber(text, 0, 60000, number)) {
                error = "--reset-silence wants milliseconds from 0 to 60000, not '" + text + "'";
                return EmulatorArgsResult::Error;
            }
            options.resetSilenceMs = static_cast<int>(number);
        } else if (arg == "--settings" || arg == "--from-trace") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (!options.startSettings.empty()) {
                error = "--settings and --from-trace are given more than once";
                return EmulatorArgsResult::Error;
            }
            std::vector<ReceiverSettings> settings(1);
            const bool read = arg == "--settings" ? ReceiverSettingsFromFile(text, settings[0], error)
                                                  : ReceiverSettingsFromTrace(text, settings, error);
            if (!read) return EmulatorArgsResult::Error;
            options.startSettings = settings;
            // The line starts where the settings put Port B.
            PortLine line;
            if (PortLineFromRecord(settings[0].Group(kGroupPortBConfiguration), line)) options.portB = line;
        } else if (arg == "--log") {
            if (!value(text)) return EmulatorArgsResult::Error;
            if (text.empty()) {
                error = "--log wants a file name";
                return EmulatorArgsResult::Error;
            }
            options.logFile = text;
        } else {
            error = "unknown option '" + arg + "' (see --help)";
            return EmulatorArgsResult::Error;
        }
    }
    return EmulatorArgsResult::Run;
}

std::string EmulatorHelpText() {
    std::string text =
        "Usage: kirp-emulator [options]\n"
        "\n"
        "An emulated GPS timing receiver answering KIRP packets on its Port B, on a pseudo-terminal\n"
        "or on a network serial port (RFC 2217). Stop it with Ctrl-C.\n"
        "\n"
        "Line:\n"
        "  --listen [HOST:]PORT   serve RFC 2217 on HOST (default 127.0.0.1) and PORT; 0 picks a\n"
        "                         free port. Prints 'receiver N listening on HOST:PORT'. The default.\n"
        "  --pty                  create a pseudo-terminal instead; prints 'receiver N on PATH'\n"
        "  --count N              N independent receivers (1..20) on N ptys or consecutive ports\n"
        "  --port-b B,D,P,S       factory Port B line, e.g. 9600,8,N,1 (the default)\n"
        "  --settings FILE        start every receiver from a 169-byte settings file\n"
        "  --from-trace TRACE     start each receiver from the last report of each group its port\n"
        "                         got in a trace (vandel-cli --trace), port by port with --count\n"
        "  --version              print the version and exit\n"
        "\n"
        "Behaviour:\n"
        "  --auto-output          once a second send 4A (20-byte form), 8F-AB and 8F-AC unasked\n"
        "  --reset-silence MS     how long command 1E 4B keeps it silent (default 1500)\n"
        "  --log FILE             write every packet received and sent, time-stamped, in hex\n"
        "\n"
        "Faults:\n"
        "  --silent               answer nothing at all\n"
        "  --no-break-reply       send no text after a line break\n"
        "  --ignore GROUPS        neither answer nor apply the commands of these groups (e.g. 4,7)\n"
        "  --differ GROUPS        report a value other than the one set for these groups\n"
        "  --no-save              accept 8E-26 but keep the saved copy as it was\n"
        "  --latency MS           wait MS before each answer\n"
        "  --hangup-after BYTES   hang up the line after sending BYTES bytes\n"
        "\n"
        "What the PC side looks like: over RFC 2217 the emulator sees baud rate, data bits, parity,\n"
        "stop bits, breaks and purges; over a pty only baud rate and stop bits (a pty forces 8 data\n"
        "bits and no parity, and a break does not pass). While the PC side differs from Port B,\n"
        "what the PC sends is lost and what the receiver sends arrives as garbage.\n"
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

bool ReceiverSettingsFromFile(const std::string& path, ReceiverSettings& settings, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    std::array<uint8_t, kSettingsImageSize + 1> image{};
    const size_t size = std::fread(image.data(), 1, image.size(), file);
    std::fclose(file);
    if (size != static_cast<size_t>(kSettingsImageSize)) {
        error = path + ": a settings file is exactly " + std::to_string(kSettingsImageSize) + " bytes";
        return false;
    }
    settings = FactoryReceiverSettings(PortLine{});
    for (const SettingsGroupInfo& group : kSettingsGroups) {
        const uint8_t* bytes = image.data() + group.offset;
        uint8_t* report = settings.Group(group.number);
        if (group.number == kGroup2DAltitude) {
            // 4A, 9-byte form: the altitude, a reserved single, the hold flag (on in the altitude form).
            std::memcpy(report, bytes + 1, 4);
            report[8] = bytes[0] == 0 ? 1 : 0;
        } else {
            std::memcpy(report, bytes, static_cast<size_t>(group.length));
        }
    }
    return true;
}

bool ReceiverSettingsFromTrace(const std::string& path, std::vector<ReceiverSettings>& settings,
                               std::string& error) {
    ParsedTrace trace;
    if (!ReadTrace(path, trace, error)) return false;
    std::map<int, ReceiverSettings> ports;
    for (const TraceEvent& event : trace.events) {
        if (event.event != "packet-rx") continue;
        const auto group = event.values.find("group");
        const auto data = event.values.find("data");
        if (group == event.values.end() || data == event.values.end()) continue;
        const int groupNo = std::atoi(group->second.c_str());
        if (groupNo < 1 || groupNo > kGroupCount) continue;
        const std::vector<uint8_t> packet = HexToBytes(data->second);
        const int length = kReceiverGroups[static_cast<size_t>(groupNo - 1)].reportLength;
        if (packet.size() != static_cast<size_t>(length) + 1) continue;  // id, then the report
        auto entry = ports.try_emplace(event.port, FactoryReceiverSettings(PortLine{})).first;
        std::memcpy(entry->second.Group(groupNo), packet.data() + 1, static_cast<size_t>(length));
    }
    if (ports.empty()) {
        error = path + ": no report of a settings group in the trace";
        return false;
    }
    settings.clear();
    for (const auto& port : ports) settings.push_back(port.second);
    return true;
}
