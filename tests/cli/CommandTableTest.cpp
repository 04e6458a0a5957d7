// The table of commands against what is written about it elsewhere: the help, the man page and the
// bash completion must name every option a command takes.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "cli/CommandTable.h"

namespace {

std::string SourceFile(const std::string& path) {
    const char* source = std::getenv("VC_SOURCE_DIR");
    std::ifstream in(std::string(source != nullptr ? source : VC_BUILT_SOURCE_DIR) + "/" + path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// "--pc-settings" as the man page writes it.
std::string ManName(const std::string& name) {
    return std::regex_replace(name, std::regex("-"), "\\-");
}

std::string LongName(const CliOption& option) {
    const std::string names = option.names;
    return names.substr(names.rfind(',') + 1);
}

// The man page's SYNOPSIS lines of one command (from ".B vandel-cli NAME" to ".br").
std::string ManSynopsis(const std::string& man, const std::string& command) {
    std::string synopsis;
    const std::string start = ".B vandel-cli " + command + "\n";
    for (size_t at = man.find(start); at != std::string::npos; at = man.find(start, at + 1))
        synopsis += man.substr(at, man.find(".br\n", at) - at);
    return synopsis;
}

// The heads of the man page's OPTIONS entries: the line after each ".TP".
std::string ManOptionHeads(const std::string& man) {
    const size_t start = man.find(".SH OPTIONS\n");
    const std::string section = man.substr(start, man.find("\n.SH ", start + 1) - start);
    std::string heads;
    for (size_t at = section.find(".TP\n"); at != std::string::npos; at = section.find(".TP\n", at + 1))
        heads += section.substr(at + 4, section.find('\n', at + 4) - at - 4) + "\n";
    return heads;
}

// The options the completion offers each command: "show|diff) options="--json --help" ;;".
std::map<std::string, std::string> CompletionOptions(const std::string& completion) {
    std::map<std::string, std::string> options;
    const std::regex row(R"(([a-z|]+)\) options="([^"]*)\")");
    for (auto it = std::sregex_iterator(completion.begin(), completion.end(), row);
         it != std::sregex_iterator(); ++it) {
        std::stringstream commands((*it)[1].str());
        for (std::string command; std::getline(commands, command, '|');)
            options[command] = (*it)[2].str() + " ";
    }
    return options;
}

}  // namespace

TEST(CliCommandTable, EveryOptionIsInTheHelpTheManPageAndTheCompletion) {
    const std::string man = SourceFile("packaging/man/vandel-cli.1");
    const std::string manOptions = ManOptionHeads(man);
    const std::string script = SourceFile("packaging/vandel-cli.bash-completion");
    const std::map<std::string, std::string> completion = CompletionOptions(script);
    // The options the completion skips with their value when it counts positional arguments.
    std::smatch takesValue;
    ASSERT_TRUE(std::regex_search(script, takesValue, std::regex(R"re(takes_value="([^"]*)")re")));
    for (const CliCommandEntry& entry : CliCommandTable()) {
        const std::string help = HelpText(entry.command);
        const std::string synopsis = ManSynopsis(man, entry.name);
        EXPECT_NE(synopsis, "") << entry.name << " has no synopsis in the man page";
        EXPECT_NE(man.find(".B " + std::string(entry.name) + "\n"), std::string::npos)
            << entry.name << " is not described in the man page's COMMANDS";
        ASSERT_EQ(completion.count(entry.name), 1u) << entry.name << " has no options in the completion";
        for (const CliOption& option : entry.options) {
            if (option.help == nullptr) continue;  // private
            const std::string name = LongName(option);
            const std::string first =
                std::string(option.names).substr(0, std::string(option.names).find(','));
            EXPECT_THAT(help, ::testing::HasSubstr("\n  " + first)) << entry.name << " " << name;
            // The synopsis may give either name ("-o FILE").
            EXPECT_THAT(synopsis, ::testing::AnyOf(::testing::HasSubstr(ManName(first) + "\n"),
                                                   ::testing::HasSubstr(ManName(name))))
                << entry.name << " " << name;
            EXPECT_NE(manOptions.find(ManName(name)), std::string::npos)
                << name << " not under OPTIONS: " << manOptions;
            EXPECT_THAT(completion.at(entry.name), ::testing::HasSubstr(name + " "))
                << entry.name << " " << name;
            if (option.value != nullptr) {
                EXPECT_THAT(takesValue[1].str(), ::testing::HasSubstr(" " + name + " ")) << name;
            }
        }
    }
}

TEST(CliCommandTable, TheHelpFitsEightyColumns) {
    std::vector<CliCommand> commands = {CliCommand::kNone};
    for (const CliCommandEntry& entry : CliCommandTable()) commands.push_back(entry.command);
    for (const CliCommand command : commands) {
        std::stringstream help(HelpText(command));
        for (std::string line; std::getline(help, line);) {
            EXPECT_LE(line.size(), 80u) << CommandName(command) << ": " << line;
            EXPECT_EQ(line.find_last_not_of(' ') + 1, line.size()) << "trailing blanks: " << line;
        }
    }
}
