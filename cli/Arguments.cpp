#include "cli/Arguments.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "serial/Serial.h"
#include "serial/network/NetworkDevice.h"
#include "settings/SettingsControls.h"

namespace {

struct CommandInfo {
    CliCommand command;
    const char* name;
};

constexpr CommandInfo kCommands[] = {
    {CliCommand::kShow, "show"},     {CliCommand::kDiff, "diff"},
    {CliCommand::kLoad, "load"},     {CliCommand::kConfigure, "configure"},
    {CliCommand::kVerify, "verify"}, {CliCommand::kPorts, "ports"},
    {CliCommand::kTrace, "trace"},   {CliCommand::kConvert, "convert"},
    {CliCommand::kSet, "set"},       {CliCommand::kGet, "get"},
    {CliCommand::kCheck, "check"},
};

// Which options each command takes.
bool TakesJson(CliCommand c) {
    return c == CliCommand::kShow || c == CliCommand::kDiff || c == CliCommand::kConfigure ||
           c == CliCommand::kVerify || c == CliCommand::kPorts || c == CliCommand::kTrace;
}
bool TakesTrace(CliCommand c) {
    return c == CliCommand::kLoad || c == CliCommand::kConfigure || c == CliCommand::kVerify;
}
bool TakesYes(CliCommand c) {
    return c == CliCommand::kConfigure;
}
bool TakesOutput(CliCommand c) {
    return c == CliCommand::kLoad || c == CliCommand::kSet;
}
bool TakesPcSettings(CliCommand c) {
    return c == CliCommand::kLoad || c == CliCommand::kConfigure || c == CliCommand::kVerify;
}
bool TakesFleetOptions(CliCommand c) {
    return c == CliCommand::kConfigure || c == CliCommand::kVerify;
}
bool TakesQuiet(CliCommand c) {
    return c == CliCommand::kLoad || TakesFleetOptions(c);
}
bool TakesDevDir(CliCommand c) {
    return c == CliCommand::kPorts;
}

// An option's value: "--name VALUE" or "--name=VALUE".
bool OptionValue(const std::vector<std::string>& args, size_t& i, const std::string& name, std::string& value,
                 std::string& error) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
        value = arg.substr(name.size() + 1);
    } else if (i + 1 < args.size()) {
        value = args[++i];
    } else {
        error = name + " needs a value";
        return false;
    }
    if (value.empty()) {
        error = name + " needs a value";
        return false;
    }
    return true;
}

bool IsOption(const std::string& arg, const char* name) {
    const size_t length = std::strlen(name);
    return arg == name || (arg.size() > length && arg.compare(0, length, name) == 0 && arg[length] == '=');
}

std::string Count(size_t n, const char* singular, const char* plural) {
    return std::to_string(n) + " " + (n == 1 ? singular : plural);
}

}  // namespace

const char* CommandName(CliCommand command) {
    for (const CommandInfo& info : kCommands)
        if (info.command == command) return info.name;
    return "";
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

CliParse ParseCliArguments(const std::vector<std::string>& args, CliArguments& arguments,
                           std::string& error) {
    arguments = CliArguments{};
    if (args.empty()) {
        error = "no command given";
        return CliParse::kError;
    }
    const std::string& first = args[0];
    if (first == "--version") return CliParse::kVersion;
    if (first == "--help" || first == "-h" || first == "help") {
        // "help COMMAND" shows that command's help.
        if (first == "help" && args.size() > 1) {
            for (const CommandInfo& info : kCommands)
                if (args[1] == info.name) arguments.command = info.command;
            if (arguments.command == CliCommand::kNone) {
                error = "unknown command '" + args[1] + "'";
                return CliParse::kError;
            }
        }
        arguments.help = true;
        return CliParse::kHelp;
    }
    for (const CommandInfo& info : kCommands)
        if (first == info.name) arguments.command = info.command;
    if (arguments.command == CliCommand::kNone) {
        error = first.rfind('-', 0) == 0 ? "expected a command before '" + first + "'"
                                         : "unknown command '" + first + "'";
        return CliParse::kError;
    }
    const CliCommand command = arguments.command;
    const std::string name = CommandName(command);

    // --help anywhere after the command wins over everything else.
    for (size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            arguments.help = true;
            return CliParse::kHelp;
        }
    }

    std::vector<std::string> positional;
    bool outputGiven = false;
    bool devDirGiven = false;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg.empty()) {
                error = "an empty argument";
                return CliParse::kError;
            }
            positional.push_back(arg);
            continue;
        }
        std::string value;
        if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--toml" && command == CliCommand::kShow) {
            arguments.toml = true;
        } else if (arg == "--json" && TakesJson(command)) {
            arguments.json = true;
        } else if ((arg == "--yes" || arg == "-y") && TakesYes(command)) {
            arguments.yes = true;
        } else if ((arg == "-o" || IsOption(arg, "--output")) && TakesOutput(command)) {
            if (outputGiven) {
                error = "the output file is given twice";
                return CliParse::kError;
            }
            if (!OptionValue(args, i, arg == "-o" ? "-o" : "--output", value, error)) return CliParse::kError;
            arguments.output = value;
            outputGiven = true;
        } else if (IsOption(arg, "--pc-settings") && TakesPcSettings(command)) {
            if (arguments.pcSettingsGiven) {
                error = "--pc-settings is given twice";
                return CliParse::kError;
            }
            if (!OptionValue(args, i, "--pc-settings", value, error)) return CliParse::kError;
            if (!ParsePcSettings(value, arguments.pcSettings, error)) return CliParse::kError;
            arguments.pcSettingsGiven = true;
        } else if (IsOption(arg, "--trace") && TakesTrace(command)) {
            if (!arguments.trace.empty()) {
                error = "--trace is given twice";
                return CliParse::kError;
            }
            if (!OptionValue(args, i, "--trace", value, error)) return CliParse::kError;
            if (value.empty()) {
                error = "--trace needs a file name";
                return CliParse::kError;
            }
            arguments.trace = value;
        } else if ((arg == "--quiet" || arg == "-q") && TakesQuiet(command)) {
            arguments.quiet = true;
        } else if ((IsOption(arg, "--manifest") || IsOption(arg, "--audit")) && TakesFleetOptions(command)) {
            const std::string option = IsOption(arg, "--manifest") ? "--manifest" : "--audit";
            std::string& target = option == "--manifest" ? arguments.manifest : arguments.audit;
            if (!target.empty()) {
                error = option + " is given twice";
                return CliParse::kError;
            }
            if (!OptionValue(args, i, option, value, error)) return CliParse::kError;
            target = value;
        } else if (IsOption(arg, "--progress-fd") && TakesFleetOptions(command)) {
            if (!OptionValue(args, i, "--progress-fd", value, error)) return CliParse::kError;
            char* end = nullptr;
            const long fd = std::strtol(value.c_str(), &end, 10);
            if (*end != '\0' || fd < 3 || fd > 1023) {
                error = "--progress-fd wants a descriptor number from 3 to 1023, not '" + value + "'";
                return CliParse::kError;
            }
            arguments.progressFd = static_cast<int>(fd);
        } else if (IsOption(arg, "--dev") && TakesDevDir(command)) {
            if (devDirGiven) {
                error = "--dev is given twice";
                return CliParse::kError;
            }
            if (!OptionValue(args, i, "--dev", value, error)) return CliParse::kError;
            arguments.devDir = value;
            devDirGiven = true;
        } else {
            error = "unknown option '" + arg + "' for " + name;
            return CliParse::kError;
        }
    }

    switch (command) {
        case CliCommand::kShow:
            if (positional.size() != 1) {
                error =
                    "show wants one settings file, not " + Count(positional.size(), "argument", "arguments");
                return CliParse::kError;
            }
            arguments.files = positional;
            break;
        case CliCommand::kDiff:
            if (positional.size() != 2) {
                error =
                    "diff wants two settings files, not " + Count(positional.size(), "argument", "arguments");
                return CliParse::kError;
            }
            arguments.files = positional;
            break;
        case CliCommand::kLoad:
            if (positional.size() != 1) {
                error = "load wants one device, not " + Count(positional.size(), "argument", "arguments");
                return CliParse::kError;
            }
            if (!outputGiven) {
                error = "load wants the settings file to write: -o FILE";
                return CliParse::kError;
            }
            arguments.devices = positional;
            break;
        case CliCommand::kConfigure:
        case CliCommand::kVerify:
            if (!arguments.manifest.empty()) {
                // The receivers are in the manifest; a settings file here is for its lines without one.
                if (positional.size() > 1) {
                    error =
                        name +
                        " --manifest takes at most a settings file, not devices: give them in the manifest";
                    return CliParse::kError;
                }
                arguments.files = positional;
                break;
            }
            if (positional.size() < 2) {
                error = name + " wants a settings file and at least one device, or --manifest";
                return CliParse::kError;
            }
            arguments.files = {positional[0]};
            arguments.devices.assign(positional.begin() + 1, positional.end());
            for (size_t i = 0; i < arguments.devices.size(); ++i) {
                if (std::find(
                        arguments.devices.begin(), arguments.devices.begin() + static_cast<std::ptrdiff_t>(i),
                        arguments.devices[i]) != arguments.devices.begin() + static_cast<std::ptrdiff_t>(i)) {
                    error = "the device " + arguments.devices[i] + " is given twice";
                    return CliParse::kError;
                }
            }
            break;
        case CliCommand::kPorts:
            arguments.devices = positional;
            break;
        case CliCommand::kTrace:
            if (positional.size() != 1) {
                error =
                    "trace wants one trace file, not " + Count(positional.size(), "argument", "arguments");
                return CliParse::kError;
            }
            arguments.files = positional;
            break;
        case CliCommand::kConvert:
        case CliCommand::kCheck:
            if (positional.size() != (command == CliCommand::kConvert ? 2u : 1u)) {
                error = name +
                        (command == CliCommand::kConvert ? " wants IN and OUT, not "
                                                         : " wants one settings file, not ") +
                        Count(positional.size(), "argument", "arguments");
                return CliParse::kError;
            }
            arguments.files = positional;
            break;
        case CliCommand::kSet:
        case CliCommand::kGet:
            if (positional.size() < 2) {
                error = name + " wants a settings file and at least one " +
                        (command == CliCommand::kSet ? "KEY=VALUE" : "KEY");
                return CliParse::kError;
            }
            arguments.files = {positional[0]};
            arguments.assignments.assign(positional.begin() + 1, positional.end());
            break;
        case CliCommand::kNone:
            break;
    }
    if (arguments.toml && arguments.json) {
        error = "show takes --json or --toml, not both";
        return CliParse::kError;
    }
    return CliParse::kRun;
}

namespace {

// The options configure and verify share, and the exit status of every command that talks to receivers.
constexpr const char* kFleetOptionsHelp =
    "  --manifest MANIFEST   the receivers, one a line: DEVICE [SETTINGS_FILE] [PC_SETTINGS]; '#'\n"
    "                        begins a comment. A line without a settings file takes FILE; a\n"
    "                        relative file name is taken from the manifest's folder\n"
    "  --pc-settings B,D,P,S the PC side's line settings for the first Link Check\n"
    "                        (default 9600,8,O,1)\n"
    "  --json                print the summary as JSON\n"
    "  --audit FILE          append one JSON line per receiver to FILE (never rewritten)\n"
    "  --trace FILE          append every byte and step of the run to FILE (with several runs,\n"
    "                        run N writes FILE.N)\n"
    "  -q, --quiet           no progress (on a terminal a line per port drawn in place, else\n"
    "                        a line whenever a port's state changes)\n";

constexpr const char* kFleetExitStatusHelp =
    "Exit status:\n"
    "  0  every receiver reports \"Configuration was successful.\"\n"
    "  1  some receiver could not be opened, did not answer, misses a group or differs\n"
    "  2  bad arguments, a manifest line, a file that is not a 169-byte settings file or an\n"
    "     unknown device: nothing was opened\n";

}  // namespace

std::string HelpText(CliCommand command) {
    switch (command) {
        case CliCommand::kShow:
            return "Usage: vandel-cli show FILE [--json | --toml]\n"
                   "\n"
                   "Prints every field of a settings file, group by group, as the main window shows it:\n"
                   "combo-box items by their texts, numbers in the edits' formats (the elevation mask in\n"
                   "degrees), the datum by name, and the bytes no control shows in hex.\n"
                   "A file shorter than 169 bytes reads with FF for the missing bytes, as in the window.\n"
                   "FILE - is standard input.\n"
                   "\n"
                   "FILE may be a settings file in the text form (.toml), as everywhere a settings file is "
                   "taken.\n"
                   "\n"
                   "  --json   print the fields as JSON (groupOffset within the group, imageOffset within\n"
                   "           the image)\n"
                   "  --toml   print the settings in the text form, vandel-settings(5)\n"
                   "\n"
                   "Exit status: 0 shown; 2 bad arguments or a file that cannot be read.\n";
        case CliCommand::kDiff:
            return "Usage: vandel-cli diff FILE1 FILE2 [--json]\n"
                   "\n"
                   "Prints the fields in which two settings files differ, one a line:\n"
                   "  GROUP: FIELD: VALUE1 -> VALUE2\n"
                   "When both values read the same in the window's format, the bytes follow.\n"
                   "Either file may be -, standard input.\n"
                   "\n"
                   "  --json   print the differences as JSON\n"
                   "\n"
                   "Exit status: 0 equal; 1 different; 2 bad arguments or a file that cannot be read.\n";
        case CliCommand::kLoad:
            return "Usage: vandel-cli load DEVICE -o FILE [--pc-settings BAUD,DATA,PARITY,STOP]\n"
                   "\n"
                   "Loads the settings of the receiver on DEVICE (its Port B) into FILE, as \"Load From\n"
                   "Receiver...\" does on Comm 1. DEVICE is a tty path such as /dev/ttyUSB0 or a network\n"
                   "serial port rfc2217://HOST:PORT. The receiver's messages go to standard error; FILE is\n"
                   "written only when every group arrived, and never left half-written.\n"
                   "\n"
                   "  -o, --output FILE     the settings file to write (-: the 169 bytes on standard "
                   "output)\n"
                   "  --trace FILE          append every byte and step of the run to FILE\n"
                   "  --pc-settings B,D,P,S the PC side's line settings when the receiver sends no reply\n"
                   "                        to the line break (default 9600,8,O,1)\n"
                   "  -q, --quiet           no progress on a terminal\n"
                   "\n"
                   "Exit status: 0 every group loaded and FILE written; 1 the receiver did not answer or\n"
                   "some group did not arrive (FILE not written); 2 bad arguments or an unknown device.\n";
        case CliCommand::kConfigure:
            return std::string(
                       "Usage: vandel-cli configure FILE DEVICE... [OPTIONS]\n"
                       "       vandel-cli configure [FILE] --manifest MANIFEST [OPTIONS]\n"
                       "\n"
                       "Configures the receivers on the devices with the settings in FILE, as \"Configure\n"
                       "Receiver(s)...\" does: writes every group, saves, reads every group back and "
                       "compares\n"
                       "it. Prints the configuration summary per port and, for every port whose receiver\n"
                       "answered, per group, with the fields that differ.\n"
                       "\n"
                       "One run takes up to 20 devices (Comm 1 to Comm 20 in the order given). More "
                       "devices,\n"
                       "or receivers with different settings files or PC settings, run as several runs side\n"
                       "by side, each in a process of its own; the results come in the order given.\n"
                       "\n") +
                   kFleetOptionsHelp +
                   "  --yes                 go on when the settings fail the self-survey/dynamics check\n"
                   "                        (\"Invalid Configuration\"); without it the run stops there\n"
                   "\n" +
                   kFleetExitStatusHelp +
                   "  3  stopped at the \"Invalid Configuration\" question: nothing was sent\n";
        case CliCommand::kPorts:
            return "Usage: vandel-cli ports [--dev DIR] [--json] [DEVICE...]\n"
                   "\n"
                   "Lists the serial devices present: the links in /dev/serial/by-id with their targets,\n"
                   "ttyS ports that have a UART, ttyUSB and ttyACM; or the DEVICEs given. Each is marked\n"
                   "usable, busy (with the program that holds it or its lock file), not permitted (who\n"
                   "owns it and what to do) or not a serial device, with its driver, USB ids and serial\n"
                   "number where the system tells them. No device is opened to find this out.\n"
                   "\n"
                   "  --dev DIR   look in DIR instead of /dev\n"
                   "  --json      print the devices as JSON\n"
                   "\n"
                   "Exit status: 0 listed; 2 bad arguments or a DEVICE that does not exist.\n";
        case CliCommand::kVerify:
            return std::string(
                       "Usage: vandel-cli verify FILE DEVICE... [OPTIONS]\n"
                       "       vandel-cli verify [FILE] --manifest MANIFEST [OPTIONS]\n"
                       "\n"
                       "Checks, without writing anything, that the receivers hold the settings of FILE\n"
                       "(exactly 169 bytes): opens each port, finds its receiver as configure does, asks "
                       "for\n"
                       "every group and compares it. No set, save or control command is sent. Prints the "
                       "same\n"
                       "summary as configure, with the fields that differ. Any number of devices, as for\n"
                       "configure.\n"
                       "\n") +
                   kFleetOptionsHelp + "\n" + kFleetExitStatusHelp;
        case CliCommand::kTrace:
            return "Usage: vandel-cli trace FILE [--json]\n"
                   "\n"
                   "Prints a trace written with --trace (by vandel-cli load or configure, by\n"
                   "vandel-configurator, or by kirp-emulator --log) as a conversation per port: every\n"
                   "packet with the group it carries, and the driver's steps (open, line settings,\n"
                   "purges, breaks, close). docs/TRACE.md describes the format.\n"
                   "\n"
                   "  --json   print the conversation as JSON\n"
                   "\n"
                   "Exit status: 0 printed; 2 bad arguments or a file that cannot be read.\n";
        case CliCommand::kConvert:
            return "Usage: vandel-cli convert IN OUT\n"
                   "\n"
                   "Writes the settings of IN to OUT, each in the form its name asks for: the text form for\n"
                   "a name ending in .toml, else the 169 bytes. The text form gives back the same bytes.\n"
                   "OUT is replaced at once or not at all (the rules of load -o).\n"
                   "\n"
                   "Exit status: 0 written; 2 bad arguments or a file that cannot be read or written.\n";
        case CliCommand::kSet:
            return "Usage: vandel-cli set FILE KEY=VALUE... [-o OUT]\n"
                   "\n"
                   "Sets keys (GROUP.KEY, vandel-settings(5)) of a settings file in either form. A VALUE is\n"
                   "read as the main window reads its control: an item text or its code, true or false, a\n"
                   "number with the edit's conversion and message, hex for bytes. A text file keeps its\n"
                   "comments and every key not set; a key the window writes along with a set one follows\n"
                   "it (the output baud rate, the custom datum parameters).\n"
                   "\n"
                   "  -o, --output OUT   write OUT (either form) and leave FILE as it is\n"
                   "\n"
                   "Exit status: 0 written; 2 bad arguments, an unknown key or a bad value: nothing "
                   "written.\n";
        case CliCommand::kGet:
            return "Usage: vandel-cli get FILE KEY...\n"
                   "\n"
                   "Prints the value of each KEY (GROUP.KEY) of a settings file in either form, one a line,\n"
                   "as set takes it back.\n"
                   "\n"
                   "Exit status: 0 printed; 2 bad arguments, an unknown key or a file that cannot be read.\n";
        case CliCommand::kCheck:
            return "Usage: vandel-cli check FILE\n"
                   "\n"
                   "Tells whether configure would stop at the \"Invalid Configuration\" question with these\n"
                   "settings (self-survey enabled with a dynamics code that does not suit the receiver\n"
                   "mode), naming the keys that decide it.\n"
                   "\n"
                   "Exit status: 0 passes; 1 would stop; 2 bad arguments or a file that cannot be read.\n";
        case CliCommand::kNone:
            break;
    }
    return "Usage: vandel-cli COMMAND [ARGUMENTS]\n"
           "\n"
           "Settings files and receivers without a window.\n"
           "\n"
           "Commands:\n"
           "  show FILE [--json]                  every field of a settings file\n"
           "  diff FILE1 FILE2 [--json]           the fields in which two settings files differ\n"
           "  load DEVICE -o FILE                 load a receiver's settings into a file\n"
           "  configure FILE DEVICE... [--yes]    configure receivers from a file (or --manifest)\n"
           "  ports [--json]                      the serial devices present and whether they can be used\n"
           "  verify FILE DEVICE... [--json]      check receivers against a file, writing nothing\n"
           "  trace FILE [--json]                 a trace as a conversation per port\n"
           "  convert IN OUT                      a settings file into the other form (.toml or binary)\n"
           "  set FILE KEY=VALUE... [-o OUT]      set keys of a settings file\n"
           "  get FILE KEY...                     print keys of a settings file\n"
           "  check FILE                          would configure stop at \"Invalid Configuration\"?\n"
           "\n"
           "DEVICE is a tty path (/dev/ttyUSB0) or a network serial port (rfc2217://HOST:PORT).\n"
           "Progress goes to standard error (--quiet: none).\n"
           "'vandel-cli COMMAND --help' describes one command.\n"
           "\n"
           "Exit status:\n"
           "  0  success\n"
           "  1  the files differ, or some receiver failed, differs or misses groups\n"
           "  2  bad arguments, a file that cannot be read or an unknown device: nothing touched\n"
           "  3  configure stopped at the \"Invalid Configuration\" question: nothing sent\n";
}
