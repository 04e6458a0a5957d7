// The command line of vandel-cli: a command and its arguments, read into one record. The commands,
// their options and their help are rows of the table in cli/CommandTable.h (cli/commands/*.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/Color.h"
#include "link/PortConfiguration.h"

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;   // the files differ, a group did not arrive, a port was not configured
constexpr int kExitUsage = 2;    // bad arguments, a file or device that cannot be used: nothing touched
constexpr int kExitStopped = 3;  // stopped at the "Invalid Configuration" question: nothing sent

enum class CliCommand {
    kNone,
    kShow,
    kDiff,
    kLoad,
    kConfigure,
    kVerify,
    kPorts,
    kTrace,
    kProbe,
    kConvert,
    kSet,
    kGet,
    kCheck
};

struct CliArguments {
    CliCommand command = CliCommand::kNone;
    bool help = false;
    bool json = false;
    bool yes = false;
    bool toml = false;                     // show --toml: the settings in the text form
    std::vector<std::string> assignments;  // set: KEY=VALUE, get: KEY
    std::vector<std::string> files;        // show: 1, diff: 2, configure: 1 (with a manifest 0 or 1)
    std::vector<std::string> devices;      // load: 1, configure: any (none with a manifest), ports: any
    std::string output;                    // load -o, set -o
    bool pcSettingsGiven = false;
    std::array<uint8_t, kPortConfigurationSize> pcSettings{};  // port configuration layout
    bool pcSettingsAuto = false;         // --pc-settings auto: each port's PC side from a probe
    std::string devDir = "/dev";         // ports: where to look
    std::string trace;                   // load, configure: --trace FILE, every byte on record
    std::string manifest;                // configure, verify: --manifest FILE, the receivers one a line
    std::string audit;                   // configure, verify: --audit FILE, a JSON line per receiver appended
    bool quiet = false;                  // load, configure, verify: no progress
    bool brief = false;                  // configure, verify: only the receivers that did not succeed
    ColorWhen color = ColorWhen::kAuto;  // configure, verify: --color
};

enum class CliParse { kRun, kHelp, kVersion, kError };

// args excludes the program name; parsed by CLI11 against the command table. Everything after "--" is
// an argument. kHelp: print HelpText(arguments.command) and succeed.
CliParse ParseCliArguments(const std::vector<std::string>& args, CliArguments& arguments, std::string& error);

// The tool's help (kNone) or one command's, made from the command table and fitting 80 columns.
std::string HelpText(CliCommand command);
const char* CommandName(CliCommand command);

// "9600,8,N,1" → baud, data bits, parity and stop bits codes in bytes 1, 3, 4 and 5 of record
// (bytes 2 takes the baud code too, the rest 0). Parity N, O, E or None, Odd, Even in any case.
// "WHO wants BAUD,DATA,PARITY,STOP such as 9600,8,O,1 (...), not 'TEXT'"
std::string PcSettingsProblem(const std::string& who, const std::string& text);
bool ParsePcSettings(const std::string& text, std::array<uint8_t, kPortConfigurationSize>& record,
                     std::string& error);

// A device argument: a tty path that exists and is a character device, or rfc2217://HOST:PORT.
bool CheckDeviceName(const std::string& device, std::string& error);
