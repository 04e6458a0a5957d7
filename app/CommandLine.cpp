#include "app/CommandLine.h"

#include <array>
#include <charconv>
#include <string_view>

#include "serial/Serial.h"

namespace {

struct ToolkitOption {
    std::string_view name;  // without the leading dash
    bool takesValue;
};

// The options the toolkit reads from the command line itself. Each is accepted with one or two
// leading dashes, a value either as the next argument or after '='.
constexpr std::array<ToolkitOption, 22> kToolkitOptions = {{
    {"platform", true},
    {"platformpluginpath", true},
    {"platformtheme", true},
    {"plugin", true},
    {"qwindowgeometry", true},
    {"qwindowicon", true},
    {"qwindowtitle", true},
    {"qmljsdebugger", true},
    {"reverse", false},
    {"session", true},
    {"style", true},
    {"stylesheet", true},
    {"widgetcount", false},
    {"display", true},
    {"geometry", true},
    {"title", true},
    {"name", true},
    {"visual", true},
    {"nograb", false},
    {"dograb", false},
    {"sync", false},
    {"testability", false},
}};

// How many arguments a toolkit option starting at arg takes (1 or 2), or 0 if arg is not one.
int ToolkitOptionLength(std::string_view arg) {
    if (arg.size() < 2 || arg[0] != '-') return 0;
    std::string_view name = arg.substr(arg[1] == '-' ? 2 : 1);
    const size_t equals = name.find('=');
    const bool inlineValue = equals != std::string_view::npos;
    if (inlineValue) name = name.substr(0, equals);
    for (const ToolkitOption& option : kToolkitOptions) {
        if (option.name != name) continue;
        if (inlineValue) return option.takesValue ? 1 : 0;
        return option.takesValue ? 2 : 1;
    }
    return 0;
}

CommandLine Error(std::string message) {
    CommandLine result;
    result.action = CommandLineAction::Error;
    result.error = std::move(message);
    return result;
}

// Parses "N=DEVICE"; an empty string on success, else what is wrong.
std::string ParseCommMapping(std::string_view value, CommMapping& mapping) {
    const size_t equals = value.find('=');
    if (equals == std::string_view::npos) return "expected N=DEVICE";
    const std::string_view number = value.substr(0, equals);
    const std::string_view device = value.substr(equals + 1);
    if (number.empty()) return "the comm port number is missing";
    for (char c : number) {
        if (c < '0' || c > '9') return "the comm port number must be a whole number from 1 to 20";
    }
    int port = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), port);
    if (ec != std::errc() || end != number.data() + number.size() || port < kFirstCommPort ||
        port > kLastCommPort) {
        return "the comm port number must be from 1 to 20";
    }
    if (device.empty()) return "the device name is empty";
    // The same devices as vandel-cli takes: a tty that exists, or rfc2217://HOST:PORT.
    if (std::string error; !CheckSerialDeviceName(std::string(device), error)) return error;
    mapping.port = port;
    mapping.device = std::string(device);
    return {};
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine result;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            result.action = CommandLineAction::Help;
            continue;
        }
        if (arg == "--version") {
            if (result.action != CommandLineAction::Help) result.action = CommandLineAction::Version;
            continue;
        }
        std::string_view value;
        std::string shown;
        if (arg == "--trace" || arg.rfind("--trace=", 0) == 0) {
            std::string file =
                arg == "--trace" ? (i + 1 < args.size() ? args[++i] : std::string()) : arg.substr(8);
            if (file.empty()) return Error("--trace needs a file name");
            if (!result.trace.empty()) return Error("--trace is given twice");
            result.trace = file;
            continue;
        }
        if (arg == "--comm") {
            if (i + 1 >= args.size()) return Error("--comm needs a value of the form N=DEVICE");
            value = args[++i];
            shown = "--comm " + args[i];
        } else if (arg.rfind("--comm=", 0) == 0) {
            value = std::string_view(arg).substr(7);
            shown = arg;
        } else if (const int length = ToolkitOptionLength(arg); length > 0) {
            i += static_cast<size_t>(length - 1);
            continue;
        } else if (!arg.empty() && arg[0] == '-') {
            return Error("unknown option '" + arg + "'");
        } else {
            return Error("unexpected argument '" + arg + "'");
        }
        CommMapping mapping{};
        if (std::string problem = ParseCommMapping(value, mapping); !problem.empty()) {
            return Error("'" + shown + "': " + problem);
        }
        for (const CommMapping& earlier : result.comms) {
            if (earlier.port == mapping.port)
                return Error("'" + shown + "': Comm " + std::to_string(mapping.port) + " is given twice");
        }
        result.comms.push_back(std::move(mapping));
    }
    return result;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return ParseCommandLine(args);
}

std::string CommandLineUsage() {
    return "Usage: vandel-configurator [--comm N=DEVICE]... [--trace FILE] [--help] [--version]\n"
           "\n"
           "Configures GPS timing receivers that speak the KIRP packet protocol.\n"
           "\n"
           "  --comm N=DEVICE  use DEVICE for \"Comm N\" (N from 1 to 20), for example\n"
           "                   --comm 1=/dev/ttyUSB0 or --comm 2=rfc2217://HOST:PORT;\n"
           "                   by default Comm N is /dev/ttyS<N-1>\n"
           "  --trace FILE     append every byte on the lines and every step of the driver to FILE\n"
           "  --help           show this text and exit\n"
           "  --version        show the version and exit\n"
           "\n"
           "The options of the window toolkit (-platform NAME, -style NAME, ...) are accepted too.\n";
}

std::string VersionText() {
    return std::string("vandel-configurator ") + VC_VERSION + "\n";
}

bool ApplyCommandLine(const CommandLine& commandLine) {
    bool ok = true;
    for (const CommMapping& mapping : commandLine.comms) {
        if (!SerialSetDeviceName(static_cast<uint8_t>(mapping.port), mapping.device)) ok = false;
    }
    return ok;
}
