// The window program's command line:
//   vandel-configurator [--comm N=DEVICE]... [--trace FILE] [--help] [--version]
// Read with the toolkit's parser before the toolkit starts, so that --help, --version and a bad
// argument need no display.
// The toolkit's own options (-platform NAME, -style=NAME, ...) are passed over here and left to it.
#pragma once

#include <string>
#include <vector>

constexpr int kCommandLineUsageError = 2;
constexpr int kFirstCommPort = 1;
constexpr int kLastCommPort = 20;

struct CommMapping {
    int port;            // comm port number 1..20
    std::string device;  // non-empty device name
};

enum class CommandLineAction { Run, Help, Version, Error };

struct CommandLine {
    CommandLineAction action = CommandLineAction::Run;
    std::vector<CommMapping> comms;  // in command-line order, each comm port once
    std::string trace;               // --trace FILE: every byte and step of the operations on record
    std::string error;               // for Error: what was wrong, naming the argument
};

// args excludes the program name.
CommandLine ParseCommandLine(const std::vector<std::string>& args);
CommandLine ParseCommandLine(int argc, const char* const* argv);

std::string CommandLineUsage();
std::string VersionText();

// Stores the device names in the serial driver's table; false if the driver refused one.
bool ApplyCommandLine(const CommandLine& commandLine);
