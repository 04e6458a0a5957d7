#include "cli/CommandTable.h"

const std::vector<CliCommandSpec>& CliCommandTable() {
    static const std::vector<CliCommandSpec> table = [] {
        std::vector<CliCommandSpec> commands;
        for (auto family : {FileCommands, ReceiverCommands, PortsCommands})
            for (CliCommandSpec& spec : family()) commands.push_back(std::move(spec));
        return commands;
    }();
    return table;
}

const CliCommandSpec* FindCliCommand(CliCommand command) {
    for (const CliCommandSpec& spec : CliCommandTable())
        if (spec.command == command) return &spec;
    return nullptr;
}

const CliCommandSpec* FindCliCommand(const std::string& name) {
    for (const CliCommandSpec& spec : CliCommandTable())
        if (name == spec.name) return &spec;
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
