// vandel-cli: settings files and receivers without a window, on the same code as the window program.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/Arguments.h"
#include "cli/Commands.h"
#include "cli/RunProtocol.h"
#include "cli/platform/Platform.h"

int main(int argc, char** argv) {
    UseSmallThreadStacks();
#ifdef SIGPIPE
    // A network serial port whose peer hangs up must end in an error, not in SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
#endif

    // One run of a fleet, started by this program for itself (never in the help).
    if (argc == 2 && std::strcmp(argv[1], kFleetRunArgument) == 0) return RunForFleet();

    const std::vector<std::string> args(argv + 1, argv + argc);
    CliArguments arguments;
    std::string error;
    switch (ParseCliArguments(args, arguments, error)) {
        case CliParse::kVersion:
            std::printf("vandel-cli %s\n", VC_VERSION);
            return kExitSuccess;
        case CliParse::kHelp:
            std::fputs(HelpText(arguments.command).c_str(), stdout);
            return kExitSuccess;
        case CliParse::kError: {
            std::fprintf(stderr, "vandel-cli: %s\n", error.c_str());
            const std::string command = CommandName(arguments.command);
            std::fprintf(stderr, "Try 'vandel-cli %s--help'.\n",
                         command.empty() ? "" : (command + " ").c_str());
            return kExitUsage;
        }
        case CliParse::kRun:
            break;
    }
    return RunCommand(arguments, stdout, stderr);
}
