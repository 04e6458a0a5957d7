// Commands that talk to receivers: load, configure, verify.
#include <algorithm>
#include <cstdlib>

#include "cli/CommandTable.h"
#include "cli/Commands.h"

namespace {

constexpr const char* kPcSettingsHelp =
    "the PC side's line settings for the first Link Check (default 9600,8,O,1; auto: found by a probe "
    "of each port)";

bool SetColor(CliArguments& arguments, const std::string& value, std::string& error) {
    if (ParseColorWhen(value, arguments.color)) return true;
    error = "--color wants auto, always or never, not '" + value + "'";
    return false;
}

// The options configure and verify share.
std::vector<CliOption> FleetOptions() {
    return {
        {"--manifest", "MANIFEST",
         "the receivers, one a line: DEVICE [SETTINGS_FILE] [PC_SETTINGS] [KEY=VALUE]...; '#' begins a "
         "comment. A line without a settings file takes FILE; a relative file name is taken from the "
         "manifest's folder; KEY=VALUE sets a key (vandel-settings(5)) for that receiver alone",
         SetText<&CliArguments::manifest>},
        {"--pc-settings", "B,D,P,S", kPcSettingsHelp, SetPcSettings},
        {"--json", nullptr, "print the summary as JSON", SetFlag<&CliArguments::json>},
        {"--audit", "FILE", "append one JSON line per receiver to FILE (never rewritten)",
         SetText<&CliArguments::audit>},
        {"--trace", "FILE",
         "append every byte and step of the run to FILE (with several runs, run N writes FILE.N)",
         SetText<&CliArguments::trace>},
        {"-q,--quiet", nullptr,
         "no progress (on a terminal a line per port drawn in place, else a line whenever a port's state "
         "changes)",
         SetFlag<&CliArguments::quiet>},
        {"--brief", nullptr, "list only the receivers that did not succeed, and the total",
         SetFlag<&CliArguments::brief>},
        {"--color", "WHEN",
         "colour the results: auto (on a terminal, unless NO_COLOR is set; the default), always or never",
         SetColor},
    };
}

std::vector<CliExitStatus> FleetExitStatus() {
    return {{0, "every receiver reports \"Configuration was successful.\""},
            {1, "some receiver could not be opened, did not answer, misses a group or differs"},
            {2,
             "bad arguments, a manifest line, a file that is not a 169-byte settings file or a name that "
             "can never be a serial device: nothing was opened"},
            {130,
             "stopped by SIGINT (143: SIGTERM, 129: SIGHUP): every port closed, the receivers not "
             "finished listed as interrupted with their step (a second signal stops at once)"}};
}

// verify's: configure's, in its own words.
std::vector<CliExitStatus> VerifyExitStatus() {
    std::vector<CliExitStatus> rows = FleetExitStatus();
    rows[0].meaning = "every receiver holds the settings of FILE";
    return rows;
}

// FILE DEVICE..., or [FILE] with --manifest.
bool TakeFileAndDevices(const std::vector<std::string>& positional, CliArguments& arguments,
                        std::string& error) {
    const std::string name = arguments.command == CliCommand::kVerify ? "verify" : "configure";
    if (!arguments.manifest.empty()) {
        // The receivers are in the manifest; a settings file here is for its lines without one.
        if (positional.size() > 1) {
            error =
                name + " --manifest takes at most a settings file, not devices: give them in the manifest";
            return false;
        }
        arguments.files = positional;
        return true;
    }
    if (positional.size() < 2) {
        error = name + " wants a settings file and at least one device, or --manifest";
        return false;
    }
    arguments.files = {positional[0]};
    arguments.devices.assign(positional.begin() + 1, positional.end());
    for (auto device = arguments.devices.begin(); device != arguments.devices.end(); ++device) {
        if (std::find(arguments.devices.begin(), device, *device) != device) {
            error = "the device " + *device + " is given twice";
            return false;
        }
    }
    return true;
}

}  // namespace

std::vector<CliCommandEntry> ReceiverCommands() {
    std::vector<CliOption> configureOptions = FleetOptions();
    configureOptions.push_back({"-y,--yes", nullptr,
                                "go on when the settings fail the self-survey/dynamics check (\"Invalid "
                                "Configuration\"); without it the run stops there",
                                SetFlag<&CliArguments::yes>});
    std::vector<CliExitStatus> configureExit = FleetExitStatus();
    configureExit.push_back({3, "stopped at the \"Invalid Configuration\" question: nothing was sent"});
    return {
        {CliCommand::kLoad,
         "load",
         {"DEVICE -o FILE [--pc-settings BAUD,DATA,PARITY,STOP]"},
         "load a receiver's settings into a file",
         "Loads the settings of the receiver on DEVICE (its Port B) into FILE, as \"Load From Receiver...\" "
         "does on Comm 1. DEVICE is a tty path such as /dev/ttyUSB0 or a network serial port "
         "rfc2217://HOST:PORT. The receiver's messages go to standard error; FILE is written only when every "
         "group arrived, and never left half-written.",
         {{"-o,--output", "FILE", "the settings file to write (-: the 169 bytes on standard output)",
           SetText<&CliArguments::output>, "the output file"},
          {"--trace", "FILE", "append every byte and step of the run to FILE", SetText<&CliArguments::trace>},
          {"--pc-settings", "B,D,P,S",
           "the PC side's line settings when the receiver sends no reply to the line break (default "
           "9600,8,O,1; auto: found by a probe)",
           SetPcSettings},
          {"-q,--quiet", nullptr, "no progress on a terminal", SetFlag<&CliArguments::quiet>}},
         {{0, "every group loaded and FILE written"},
          {1,
           "the receiver could not be opened, did not answer or some group did not arrive (FILE not "
           "written)"},
          {2, "bad arguments or a name that can never be a serial device"},
          {130, "stopped by SIGINT (143: SIGTERM, 129: SIGHUP): the port closed, FILE not written"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             if (!WantCount(positional, 1, "load wants one device", error)) return false;
             if (arguments.output.empty()) {
                 error = "load wants the settings file to write: -o FILE";
                 return false;
             }
             arguments.devices = positional;
             return true;
         },
         RunLoad},
        {CliCommand::kConfigure,
         "configure",
         {"FILE DEVICE... [OPTIONS]", "[FILE] --manifest MANIFEST [OPTIONS]"},
         "configure receivers from a file (or --manifest)",
         "Configures the receivers on the devices with the settings in FILE, as \"Configure Receiver(s)...\" "
         "does: writes every group, saves, reads every group back and compares it. Prints the configuration "
         "summary per port and, for every port whose receiver answered, per group, with the fields that "
         "differ.\n"
         "\n"
         "One run takes up to 20 devices (Comm 1 to Comm 20 in the order given). More devices, or receivers "
         "with different settings files or PC settings, run as several runs side by side, each in a process "
         "of its own; the results come in the order given.",
         configureOptions,
         configureExit,
         TakeFileAndDevices,
         RunConfigure,
         "summary.json, and audit.json for an --audit line"},
        {CliCommand::kVerify,
         "verify",
         {"FILE DEVICE... [OPTIONS]", "[FILE] --manifest MANIFEST [OPTIONS]"},
         "check receivers against a file, writing nothing",
         "Checks, without writing anything, that the receivers hold the settings of FILE (exactly 169 "
         "bytes): opens each port, finds its receiver as configure does, asks for every group and compares "
         "it. No set, save or control command is sent. Prints a summary like configure's, in its own words: "
         "per port what was found (\"holds these settings\", \"differs: Datum\"), per group its status, and "
         "each differing field with the value expected and the one found. The result names and codes of its "
         "JSON are configure's. Any number of devices, as for configure.",
         FleetOptions(),
         VerifyExitStatus(),
         TakeFileAndDevices,
         RunConfigure,
         "summary.json, and audit.json for an --audit line"},
    };
}
