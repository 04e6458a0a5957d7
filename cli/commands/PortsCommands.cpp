// The serial devices present: ports.
#include "cli/CommandTable.h"
#include "cli/Commands.h"

std::vector<CliCommandSpec> PortsCommands() {
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
         RunPorts},
    };
}
