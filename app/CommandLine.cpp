#include "app/CommandLine.h"

#include <QCommandLineParser>
#include <QStringList>
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
// leading dashes, a value either as the next argument or after '='; the toolkit takes them from
// the command line when the application starts.
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

// The argument an option name the parser reports came from, as typed ("-x", "--bogus=1").
std::string TypedOption(const std::vector<std::string>& args, const std::string& name) {
    for (const std::string& arg : args) {
        const std::string_view view(arg);
        const std::string_view bare = view.substr(view.rfind("--", 0) == 0  ? 2
                                                  : view.rfind('-', 0) == 0 ? 1
                                                                            : 0);
        if (bare == name || bare.rfind(name + "=", 0) == 0) return arg;
    }
    return name;
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    // The toolkit's parser, told the toolkit's own options (hidden, their values passed over), so
    // that they are left to the toolkit whether written with one dash or two, "=VALUE" or not.
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption comm(QStringLiteral("comm"), QString(), QStringLiteral("N=DEVICE"));
    const QCommandLineOption trace(QStringLiteral("trace"), QString(), QStringLiteral("FILE"));
    parser.addOptions({help, version, comm, trace});
    for (const ToolkitOption& toolkit : kToolkitOptions) {
        QCommandLineOption option(
            QString::fromLatin1(toolkit.name.data(), static_cast<qsizetype>(toolkit.name.size())));
        if (toolkit.takesValue) option.setValueName(QStringLiteral("VALUE"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    QStringList list{QStringLiteral("vandel-configurator")};
    for (const std::string& arg : args) {
        const QString text = QString::fromLocal8Bit(arg);
        // A name that is no text in this locale would reach the driver changed.
        if (text.toLocal8Bit().toStdString() != arg) return Error("'" + arg + "' is no text in this locale");
        list.push_back(text);
    }
    if (!parser.parse(list)) {
        if (!parser.unknownOptionNames().isEmpty())
            return Error("unknown option '" +
                         TypedOption(args, parser.unknownOptionNames().first().toStdString()) + "'");
        const std::string error = parser.errorText().toStdString();
        if (error.find("'--comm'") != std::string::npos)
            return Error("--comm needs a value of the form N=DEVICE");
        if (error.find("'--trace'") != std::string::npos) return Error("--trace needs a file name");
        return Error(error);
    }
    if (!parser.positionalArguments().isEmpty())
        return Error("unexpected argument '" +
                     parser.positionalArguments().first().toLocal8Bit().toStdString() + "'");

    CommandLine result;
    const QStringList traces = parser.values(trace);
    if (traces.size() > 1) return Error("--trace is given twice");
    if (!traces.isEmpty()) {
        result.trace = traces.first().toLocal8Bit().toStdString();
        if (result.trace.empty()) return Error("--trace needs a file name");
    }
    for (const QString& value : parser.values(comm)) {
        const std::string text = value.toLocal8Bit().toStdString();
        const std::string shown = "--comm " + text;
        CommMapping mapping{};
        if (std::string problem = ParseCommMapping(text, mapping); !problem.empty())
            return Error("'" + shown + "': " + problem);
        for (const CommMapping& earlier : result.comms) {
            if (earlier.port == mapping.port)
                return Error("'" + shown + "': Comm " + std::to_string(mapping.port) + " is given twice");
        }
        result.comms.push_back(std::move(mapping));
    }
    if (parser.isSet(help))
        result.action = CommandLineAction::Help;
    else if (parser.isSet(version))
        result.action = CommandLineAction::Version;
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
