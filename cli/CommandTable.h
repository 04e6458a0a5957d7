// The table of vandel-cli's commands: each command's name, arguments, options, help and the function
// that runs it. The parser (cli/Arguments.cpp, on CLI11), the help, the dispatch and the tests that
// hold the man page and the completion to it all read this one table. The rows live in
// cli/commands/, one file per family of commands.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "cli/Arguments.h"

// One option of a command.
struct CliOption {
    const char* names;  // as CLI11 takes them: "-o,--output", "--json"
    const char* value;  // the value's name in the help ("FILE"); nullptr: a flag
    const char* help;   // nullptr: private (the tool passes it to itself), not in the help
    // Takes the option into the record: value is "" for a flag. False with error set for a bad value.
    bool (*apply)(CliArguments& arguments, const std::string& value, std::string& error);
    const char* repeated = nullptr;  // what "is given twice" when it is; nullptr: the long name
};

struct CliExitStatus {
    int status;
    const char* meaning;
};

struct CliCommandEntry {
    CliCommand command;
    const char* name;
    std::vector<const char*> usage;  // after "vandel-cli NAME ", one form a line
    const char* summary;             // the command's line in the tool's help
    const char* description;         // paragraphs, one a line; a line that begins with a space stays as is
    std::vector<CliOption> options;
    std::vector<CliExitStatus> exitStatus;
    // Takes the positional arguments into the record; false with error set.
    bool (*takePositional)(const std::vector<std::string>& positional, CliArguments& arguments,
                           std::string& error);
    int (*run)(const CliArguments& arguments, std::FILE* out, std::FILE* err);
    // The JSON Schemas of what it prints as JSON, in kDocumentationFolder/schema (docs/schema).
    const char* schemas = nullptr;
};

// Where the package installs the README, TRACE.md and the JSON Schemas of docs/schema.
constexpr const char* kDocumentationFolder = "/usr/share/doc/vandel-configurator";

// Every command, in the order of the tool's help.
const std::vector<CliCommandEntry>& CliCommandTable();
const CliCommandEntry* FindCliCommand(CliCommand command);
const CliCommandEntry* FindCliCommand(const std::string& name);

// The families of commands (cli/commands/*.cpp).
std::vector<CliCommandEntry> FileCommands();      // show, diff, trace, convert, set, get, check
std::vector<CliCommandEntry> ReceiverCommands();  // load, configure, verify
std::vector<CliCommandEntry> PortsCommands();     // ports, probe

// Shared by the families: option rows that set a member of the record.
template <bool CliArguments::*member>
bool SetFlag(CliArguments& arguments, const std::string&, std::string&) {
    arguments.*member = true;
    return true;
}
template <std::string CliArguments::*member>
bool SetText(CliArguments& arguments, const std::string& value, std::string&) {
    arguments.*member = value;
    return true;
}
bool SetPcSettings(CliArguments& arguments, const std::string& value, std::string& error);
// "show wants one settings file, not 2 arguments": true when positional has count arguments.
bool WantCount(const std::vector<std::string>& positional, size_t count, const std::string& what,
               std::string& error);
