// Commands on files alone: show, diff, trace.
#include "cli/CommandTable.h"
#include "cli/Commands.h"

namespace {

bool TakeFiles(size_t count, const char* what, const std::vector<std::string>& positional,
               CliArguments& arguments, std::string& error) {
    if (!WantCount(positional, count, what, error)) return false;
    arguments.files = positional;
    return true;
}

CliOption Json(const char* help) {
    return {"--json", nullptr, help, SetFlag<&CliArguments::json>};
}

}  // namespace

std::vector<CliCommandEntry> FileCommands() {
    return {
        {CliCommand::kShow,
         "show",
         {"FILE [--json]"},
         "every field of a settings file",
         "Prints every field of a settings file, group by group, as the main window shows it: combo-box "
         "items by their texts, numbers in the edits' formats (the elevation mask in degrees), the datum by "
         "name, and the bytes no control shows in hex.\n"
         "A file shorter than 169 bytes reads with FF for the missing bytes, as in the window. FILE - is "
         "standard input.",
         {Json("print the fields as JSON")},
         {{0, "shown"}, {2, "bad arguments or a file that cannot be read"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFiles(1, "show wants one settings file", positional, arguments, error);
         },
         RunShow},
        {CliCommand::kDiff,
         "diff",
         {"FILE1 FILE2 [--json]"},
         "the fields in which two settings files differ",
         "Prints the fields in which two settings files differ, one a line:\n"
         "  GROUP: FIELD: VALUE1 -> VALUE2\n"
         "When both values read the same in the window's format, the bytes follow. Either file may be -, "
         "standard input.",
         {Json("print the differences as JSON")},
         {{0, "equal"}, {1, "different"}, {2, "bad arguments or a file that cannot be read"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFiles(2, "diff wants two settings files", positional, arguments, error);
         },
         RunDiff},
        {CliCommand::kTrace,
         "trace",
         {"FILE [--json]"},
         "a trace as a conversation per port",
         "Prints a trace written with --trace (by vandel-cli load or configure, by vandel-configurator, or "
         "by kirp-emulator --log) as a conversation per port: every packet with the group it carries, and "
         "the driver's steps (open, line settings, purges, breaks, close). docs/TRACE.md describes the "
         "format.",
         {Json("print the conversation as JSON")},
         {{0, "printed"}, {2, "bad arguments or a file that cannot be read"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFiles(1, "trace wants one trace file", positional, arguments, error);
         },
         RunTrace},
    };
}
