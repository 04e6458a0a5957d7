#include "cli/CommandTable.h"

const std::vector<CliCommandEntry>& CliCommandTable() {
    static const std::vector<CliCommandEntry> table = [] {
        std::vector<CliCommandEntry> commands;
        for (auto family : {FileCommands, ReceiverCommands, PortsCommands})
            for (CliCommandEntry& entry : family()) commands.push_back(std::move(entry));
        return commands;
    }();
    return table;
}

const CliCommandEntry* FindCliCommand(CliCommand command) {
    for (const CliCommandEntry& entry : CliCommandTable())
        if (entry.command == command) return &entry;
    return nullptr;
}

const CliCommandEntry* FindCliCommand(const std::string& name) {
    for (const CliCommandEntry& entry : CliCommandTable())
        if (name == entry.name) return &entry;
    return nullptr;
}

bool SetPcSettings(CliArguments& arguments, const std::string& value, std::string& error) {
    if (value == "auto") {
        arguments.pcSettingsAuto = true;
        return true;
    }
    arguments.pcSettingsGiven = ParsePcSettings(value, arguments.pcSettings, error);
    return arguments.pcSettingsGiven;
}

bool WantCount(const std::vector<std::string>& positional, size_t count, const std::string& what,
               std::string& error) {
    if (positional.size() == count) return true;
    error = what + ", not " + std::to_string(positional.size()) +
            (positional.size() == 1 ? " argument" : " arguments");
    return false;
}
