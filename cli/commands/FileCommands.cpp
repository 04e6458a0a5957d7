// Commands on files alone: show, diff, trace, and the settings text form: convert, set, get, check.
#include "cli/CommandTable.h"
#include "cli/Commands.h"
#include "cli/SettingsTextCommands.h"

namespace {

bool TakeFiles(size_t count, const char* what, const std::vector<std::string>& positional,
               CliArguments& arguments, std::string& error) {
    if (!WantCount(positional, count, what, error)) return false;
    arguments.files = positional;
    return true;
}

// FILE KEY...: set and get.
bool TakeFileAndKeys(const char* what, const std::vector<std::string>& positional, CliArguments& arguments,
                     std::string& error) {
    if (positional.size() < 2) {
        error = what;
        return false;
    }
    arguments.files = {positional[0]};
    arguments.assignments.assign(positional.begin() + 1, positional.end());
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
         {"FILE [--json | --toml]"},
         "every field of a settings file",
         "Prints every field of a settings file, group by group, as the main window shows it: combo-box "
         "items by their texts, numbers in the edits' formats (the elevation mask in degrees), the datum by "
         "name, and the bytes no control shows in hex.\n"
         "A file shorter than 169 bytes reads with FF for the missing bytes, as in the window. FILE - is "
         "standard input. FILE may be a settings file in the text form (.toml), as everywhere a settings "
         "file is taken.",
         {Json("print the fields as JSON (groupOffset within the group, imageOffset within the image)"),
          {"--toml", nullptr, "print the settings in the text form, vandel-settings(5)",
           SetFlag<&CliArguments::toml>}},
         {{0, "shown"}, {2, "bad arguments or a file that cannot be read"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             if (arguments.toml && arguments.json) {
                 error = "show takes --json or --toml, not both";
                 return false;
             }
             return TakeFiles(1, "show wants one settings file", positional, arguments, error);
         },
         RunShow,
         "show.json"},
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
         RunDiff,
         "diff.json (FILE1's values expected, FILE2's found)"},
        {CliCommand::kTrace,
         "trace",
         {"FILE [--json]"},
         "a trace as a conversation per port",
         "Prints a trace written with --trace (by vandel-cli load or configure, by vandel-configurator, or "
         "by kirp-emulator --log) as a conversation per port: every packet with the group it carries, and "
         "the driver's steps (open, line settings, purges, breaks, close), and the received bytes no packet "
         "took (noise at other line settings, the reply to a line break, what a purge dropped) in hex and as "
         "text where they arrived. TRACE.md in /usr/share/doc/vandel-configurator describes the format.",
         {Json("print the conversation as JSON")},
         {{0, "printed"}, {2, "bad arguments or a file that cannot be read"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFiles(1, "trace wants one trace file", positional, arguments, error);
         },
         RunTrace,
         "trace.json"},
        {CliCommand::kConvert,
         "convert",
         {"IN OUT"},
         "a settings file into the other form (.toml or binary)",
         "Writes the settings of IN to OUT, each in the form its name asks for: the text form for a name "
         "ending in .toml, else the 169 bytes. The text form gives back the same bytes. OUT is replaced at "
         "once or not at all (the rules of load -o).",
         {},
         {{0, "written"}, {2, "bad arguments or a file that cannot be read or written"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFiles(2, "convert wants IN and OUT", positional, arguments, error);
         },
         RunConvert},
        {CliCommand::kSet,
         "set",
         {"FILE KEY=VALUE... [-o OUT]"},
         "set keys of a settings file",
         "Sets keys (GROUP.KEY, vandel-settings(5)) of a settings file in either form. A VALUE is read as "
         "the main window reads its control: an item text or its code, true or false, a number with the "
         "edit's conversion and message, hex for bytes. A text file keeps its comments and every key not "
         "set; a key the window writes along with a set one follows it (the output baud rate, the custom "
         "datum parameters).",
         {{"-o,--output", "OUT", "write OUT (either form) and leave FILE as it is",
           SetText<&CliArguments::output>, "the output file"}},
         {{0, "written"}, {2, "bad arguments, an unknown key or a bad value: nothing written"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFileAndKeys("set wants a settings file and at least one KEY=VALUE", positional,
                                    arguments, error);
         },
         RunSet},
        {CliCommand::kGet,
         "get",
         {"FILE KEY..."},
         "print keys of a settings file",
         "Prints the value of each KEY (GROUP.KEY) of a settings file in either form, one a line, as set "
         "takes it back.",
         {},
         {{0, "printed"}, {2, "bad arguments, an unknown key or a file that cannot be read"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFileAndKeys("get wants a settings file and at least one KEY", positional, arguments,
                                    error);
         },
         RunGet},
        {CliCommand::kCheck,
         "check",
         {"FILE"},
         "would configure stop at \"Invalid Configuration\"?",
         "Tells whether configure would stop at the \"Invalid Configuration\" question with these settings "
         "(self-survey enabled with a dynamics code that does not suit the receiver mode), naming the keys "
         "that decide it.",
         {},
         {{0, "passes"}, {1, "would stop"}, {2, "bad arguments or a file that cannot be read"}},
         [](const std::vector<std::string>& positional, CliArguments& arguments, std::string& error) {
             return TakeFiles(1, "check wants one settings file", positional, arguments, error);
         },
         RunCheck},
    };
}
