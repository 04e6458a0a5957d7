// The serial devices present and the receivers on them: ports, probe.
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/Probe.h"

std::vector<CliCommandEntry> PortsCommands() {
    return {
        {CliCommand::kPorts,
         "ports",
         {"[--dev DIR] [--json] [DEVICE...]"},
         "the serial devices present and whether they can be used",
         "Lists the serial devices present: the links in /dev/serial/by-id with their targets, ttyS ports "
         "that have a UART, ttyUSB and ttyACM; or the DEVICEs given. Each is marked usable, busy (with the "
         "program that holds it or its lock file), not permitted (who owns it and what to do) or not a "
         "serial device, with its driver, USB ids and serial number where the system tells them. No device "
         "is opened to find this out.",
         {{"--dev", "DIR", "look in DIR instead of /dev", SetText<&CliArguments::devDir>},
          {"--json", nullptr, "print the devices as JSON", SetFlag<&CliArguments::json>}},
         {{0, "listed"}, {2, "bad arguments or a DEVICE that does not exist"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string&) {
             arguments.devices = positional;
             return true;
         },
         RunPorts,
         "ports.json"},
        {CliCommand::kProbe,
         "probe",
         {"DEVICE... [--json] [--quiet]"},
         "find the line settings of receivers",
         "Finds the line settings of the receiver on each DEVICE: tries each baud rate (9600, 19200, 4800, "
         "38400, 2400, 1200, 600, 300, 110) with 8, then 7 data bits, no, odd and even parity and 1 or 2 "
         "stop bits, with a Link Check at each, and stops at the first settings its receiver answers twice. "
         "Only Link Checks are sent: no receiver's settings change. Twenty devices at a time are probed side "
         "by side. load, configure and verify take --pc-settings auto to probe each port first.",
         {{"--json", nullptr, "print what was found as JSON", SetFlag<&CliArguments::json>},
          {"-q,--quiet", nullptr, "no progress", SetFlag<&CliArguments::quiet>}},
         {{0, "every receiver found"},
          {1, "some receiver not found or its device could not be opened"},
          {2, "bad arguments or an unknown device"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             if (positional.empty()) {
                 error = "probe wants at least one device";
                 return false;
             }
             arguments.devices = positional;
             return true;
         },
         RunProbe,
         "probe.json"},
    };
}
