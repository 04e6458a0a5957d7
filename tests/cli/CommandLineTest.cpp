// Help and every kind of bad argument, through the real program: a clear message on standard error,
// nothing on standard output, exit status 2.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "support/Pty.h"

using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

constexpr int kNobody = 65534;

struct BadCase {
    const char* title;
    std::vector<std::string> args;  // "@DIR" stands for the test folder, "@FILE" for a good settings file
    const char* message;            // part of what standard error must say
};

void PrintTo(const BadCase& badCase, std::ostream* os) {
    *os << badCase.title;
}

class BadArguments : public ::testing::TestWithParam<BadCase> {};

std::vector<std::string> Expand(const std::vector<std::string>& args, const TempFolder& folder,
                                const std::string& file) {
    std::vector<std::string> expanded;
    for (std::string arg : args) {
        for (const auto& [from, to] :
             {std::pair<std::string, std::string>{"@FILE", file}, {"@DIR", folder.Path()}}) {
            const size_t at = arg.find(from);
            if (at != std::string::npos) arg.replace(at, from.size(), to);
        }
        expanded.push_back(arg);
    }
    return expanded;
}

// A device name that passes every check and fails at once when opened: nothing listens there.
const std::string kRefusing = "rfc2217://127.0.0.1:1";

const BadCase kBadCases[] = {
    {"NoCommand", {}, "no command given"},
    {"UnknownCommand", {"frobnicate"}, "unknown command 'frobnicate'"},
    {"OptionBeforeCommand", {"--json", "show", "@FILE"}, "expected a command before '--json'"},
    {"ShowWithoutFile", {"show"}, "show wants one settings file, not 0 arguments"},
    {"ShowWithTwoFiles", {"show", "@FILE", "@FILE"}, "show wants one settings file, not 2 arguments"},
    {"ShowUnknownOption", {"show", "@FILE", "--bogus"}, "unknown option '--bogus' for show"},
    {"ShowYesIsNotAnOption", {"show", "@FILE", "--yes"}, "unknown option '--yes' for show"},
    {"ShowMissingFile", {"show", "@DIR/missing.dat"}, "missing.dat: No such file or directory"},
    {"ShowFolder", {"show", "@DIR"}, "is a folder, not a settings file"},
    {"ShowDevice", {"show", "/dev/null"}, "/dev/null: not a regular file"},
    {"ShowEmptyName", {"show", ""}, "an empty argument"},
    {"DiffWithOneFile", {"diff", "@FILE"}, "diff wants two settings files, not 1 argument"},
    {"DiffMissingSecond", {"diff", "@FILE", "@DIR/missing.dat"}, "missing.dat: No such file or directory"},
    {"LoadWithoutOutput", {"load", kRefusing}, "load wants the settings file to write: -o FILE"},
    {"LoadWithoutDevice", {"load", "-o", "@DIR/out.dat"}, "load wants one device, not 0 arguments"},
    {"LoadTwoDevices",
     {"load", kRefusing, "/dev/zero", "-o", "@DIR/out.dat"},
     "load wants one device, not 2"},
    {"LoadOutputWithoutValue", {"load", kRefusing, "-o"}, "-o needs a value"},
    {"ProbeWithoutDevice", {"probe", "--json"}, "probe wants at least one device"},
    {"ProbeUnknownDevice", {"probe", "@DIR/missing"}, "missing"},
    {"ProbeOneDeviceTwice", {"probe", kRefusing, kRefusing}, "are the same device"},
    {"ProbeTakesNoPcSettings",
     {"probe", kRefusing, "--pc-settings", "auto"},
     "unknown option '--pc-settings'"},
    {"PcSettingsAutoAndGiven",
     {"verify", "@FILE", kRefusing, "--pc-settings", "auto", "--pc-settings=9600,8,N,1"},
     "--pc-settings is given twice"},
    {"LoadOutputTwice",
     {"load", kRefusing, "-o", "@DIR/a.dat", "--output=@DIR/b.dat"},
     "the output file is given twice"},
    {"LoadJsonIsNotAnOption",
     {"load", kRefusing, "-o", "@DIR/out.dat", "--json"},
     "unknown option '--json' for load"},
    {"LoadFolderAsDevice", {"load", "@DIR", "-o", "@DIR/out.dat"}, "a folder, not a serial device"},
    {"LoadRegularFileAsDevice", {"load", "@FILE", "-o", "@DIR/out.dat"}, "not a serial device"},
    {"LoadNetworkDeviceWithoutPort",
     {"load", "rfc2217://localhost", "-o", "@DIR/out.dat"},
     "rfc2217://HOST:PORT"},
    {"LoadNetworkDevicePortZero",
     {"load", "rfc2217://localhost:0", "-o", "@DIR/out.dat"},
     "PORT from 1 to 65535"},
    {"LoadUnknownDeviceKind",
     {"load", "tcp://localhost:4000", "-o", "@DIR/out.dat"},
     "unknown kind of device"},
    {"LoadIntoMissingFolder",
     {"load", kRefusing, "-o", "@DIR/no/such/folder/out.dat"},
     "No such file or directory"},
    {"LoadIntoAFolder", {"load", kRefusing, "-o", "@DIR"}, "Is a directory"},
    {"LoadIntoADevice",
     {"load", kRefusing, "-o", "/dev/null"},
     "/dev/null: Is a character device, not a file"},
    {"LoadFromANonTty", {"load", "/dev/null", "-o", "@DIR/out.dat"}, "/dev/null: not a serial device"},
    {"LoadFromTheTtyMultiplexer",
     {"load", "/dev/ptmx", "-o", "@DIR/out.dat"},
     "/dev/ptmx: not a serial device"},
    {"PcSettingsBadBaud",
     {"load", kRefusing, "-o", "@DIR/o.dat", "--pc-settings", "9601,8,N,1"},
     "--pc-settings wants"},
    {"PcSettingsBaudNone",
     {"load", kRefusing, "-o", "@DIR/o.dat", "--pc-settings=None,8,N,1"},
     "--pc-settings wants"},
    {"PcSettingsBadDataBits",
     {"load", kRefusing, "-o", "@DIR/o.dat", "--pc-settings", "9600,9,N,1"},
     "--pc-settings wants"},
    {"PcSettingsBadParity",
     {"load", kRefusing, "-o", "@DIR/o.dat", "--pc-settings", "9600,8,X,1"},
     "--pc-settings wants"},
    {"PcSettingsBadStopBits",
     {"load", kRefusing, "-o", "@DIR/o.dat", "--pc-settings", "9600,8,N,3"},
     "--pc-settings wants"},
    {"PcSettingsTooFewParts",
     {"load", kRefusing, "-o", "@DIR/o.dat", "--pc-settings", "9600,8,N"},
     "--pc-settings wants"},
    {"PcSettingsWithoutValue",
     {"load", kRefusing, "-o", "@DIR/o.dat", "--pc-settings"},
     "--pc-settings needs a value"},
    {"ConfigureWithoutDevice",
     {"configure", "@FILE"},
     "configure wants a settings file and at least one device"},
    {"ConfigureManifestAndDevices",
     {"configure", "@FILE", kRefusing, "--manifest", "@DIR/m.txt"},
     "takes at most a settings file, not devices"},
    {"VerifyManifestMissing", {"verify", "--manifest", "@DIR/m.txt"}, "m.txt: No such file or directory"},
    {"AuditTwice", {"verify", "@FILE", kRefusing, "--audit", "a", "--audit", "b"}, "--audit is given twice"},
    {"AuditIsAFolder", {"verify", "@FILE", kRefusing, "--audit", "@DIR"}, "cannot write the audit record"},
    {"ProgressFdIsPrivate",
     {"verify", "@FILE", kRefusing, "--progress-fd", "3"},
     "unknown option '--progress-fd'"},
    {"ConfigureDeviceTwice",
     {"configure", "@FILE", kRefusing, kRefusing},
     "the device rfc2217://127.0.0.1:1 is given twice"},
    {"ConfigureMissingFile", {"configure", "@DIR/missing.dat", kRefusing}, "No such file or directory"},
    {"ConfigureCharacterDeviceNoTty",
     {"configure", "@FILE", kRefusing, "/dev/null"},
     "/dev/null: not a serial device"},
    {"ConfigureOutputIsNotAnOption",
     {"configure", "@FILE", kRefusing, "-o", "x"},
     "unknown option '-o' for configure"},
    {"PortsUnknownOption", {"ports", "--yes"}, "unknown option '--yes' for ports"},
    {"PortsMissingDevice", {"ports", "/dev/ttyNoSuchPort7"}, "/dev/ttyNoSuchPort7: no such device"},
    {"PortsMissingFolder", {"ports", "--dev", "@DIR/none"}, "none: not a folder"},
    {"HelpForUnknownCommand", {"help", "frobnicate"}, "unknown command 'frobnicate'"},
};

}  // namespace

TEST_P(BadArguments, GiveAClearMessageAndExitStatus2) {
    TempFolder folder;
    const std::string file = folder.File("good.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    const CliResult result = RunCli(Expand(GetParam().args, folder, file));
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, StartsWith("vandel-cli: "));
    EXPECT_THAT(result.err, HasSubstr(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(Cli, BadArguments, ::testing::ValuesIn(kBadCases),
                         [](const ::testing::TestParamInfo<BadCase>& param) { return param.param.title; });

TEST(CliFiles, AFileTooLargeForASettingsFileIsRefused) {
    TempFolder folder;
    const std::string huge = folder.File("huge.dat");
    ASSERT_TRUE(WriteBytes(huge, std::vector<uint8_t>(1 << 20, 0x55)));
    const CliResult result = RunCli({"show", huge});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, HasSubstr("1048576 bytes is far too large for a settings file (169 bytes)"));
}

TEST(CliFiles, AFileOf500BytesIsReadAsTheWindowReadsIt) {
    TempFolder folder;
    std::vector<uint8_t> bytes = FactorySettingsFile();
    bytes.resize(500, 0x55);
    const std::string longer = folder.File("longer.dat");
    ASSERT_TRUE(WriteBytes(longer, bytes));
    const CliResult result = RunCli({"show", longer});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_THAT(result.err, HasSubstr("is 500 bytes, not 169: the bytes after the first 169 are ignored"));
    EXPECT_THAT(result.out, HasSubstr("  Receiver Mode: Over-determined clock\n"));
}

TEST(CliFiles, AnUnreadableFileIsRefused) {
    TempFolder folder;
    const std::string locked = folder.File("locked.dat");
    ASSERT_TRUE(WriteBytes(locked, FactorySettingsFile()));
    ASSERT_EQ(::chmod(locked.c_str(), 0), 0);
    // Root reads any file: the program runs as an ordinary user for this case.
    ASSERT_EQ(::chmod(folder.Path().c_str(), 0755), 0);
    CliRunOptions options;
    if (::geteuid() == 0) options.runAsUid = kNobody;
    const CliResult result = RunCli({"show", locked}, options);
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(result.err, HasSubstr("locked.dat: Permission denied"));
}

TEST(CliFiles, ConfigureRefusesAFileThatIsNotExactly169Bytes) {
    TempFolder folder;
    std::vector<uint8_t> bytes = FactorySettingsFile();
    bytes.resize(100);
    const std::string shortFile = folder.File("short.dat");
    ASSERT_TRUE(WriteBytes(shortFile, bytes));
    const CliResult result = RunCli({"configure", shortFile, kRefusing});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(
        result.err,
        HasSubstr("is 100 bytes: a settings file is exactly 169 bytes\nvandel-cli: no receiver was touched"));
}

TEST(CliConfigure, AnInvalidConfigurationStopsTheRunWithoutYes) {
    // Survey on, "Full Position (3D)" and "Stationary": the position-mode question. Without --yes
    // the run stops before any port is opened (nothing listens on the device's network port).
    TempFolder folder;
    const std::string file = folder.File("changed.dat");
    ASSERT_TRUE(WriteBytes(file, ChangedSettingsFile()));
    const CliResult result = RunCli({"configure", file, kRefusing});
    EXPECT_EQ(result.exitStatus, 3);
    EXPECT_EQ(result.out, "");
    EXPECT_THAT(
        result.err,
        HasSubstr("Invalid Configuration: The receiver cannot be configured with a dynamics code of "
                  "\"Stationary\"\nwhen in a position mode with the self-survey enabled.  Click \"OK\" to "
                  "continue\nanyway or \"Cancel\" to abort the configuration.\n"));
    EXPECT_THAT(result.err, HasSubstr("Configuration aborted: give --yes to configure anyway."));
    EXPECT_THAT(result.err, HasSubstr("nothing was sent to any receiver"));

    const CliResult json = RunCli({"configure", file, kRefusing, "--json"});
    EXPECT_EQ(json.exitStatus, 3);
    EXPECT_THAT(json.out, HasSubstr("\"aborted\": true"));

    // More receivers than one run takes: asked once, before any run starts.
    std::vector<std::string> many = {"configure", file};
    for (int port = 1; port <= 25; ++port) many.push_back("rfc2217://127.0.0.1:" + std::to_string(port));
    const CliResult fleet = RunCli(many);
    EXPECT_EQ(fleet.exitStatus, 3);
    EXPECT_EQ(fleet.out, "");
    const size_t first = fleet.err.find("Invalid Configuration");
    ASSERT_NE(first, std::string::npos) << fleet.err;
    EXPECT_EQ(fleet.err.find("Invalid Configuration", first + 1), std::string::npos) << fleet.err;
}

TEST(CliHelp, TheToolAndEveryCommandHaveHelp) {
    const CliResult tool = RunCli({"--help"});
    EXPECT_EQ(tool.exitStatus, 0);
    EXPECT_THAT(tool.out, StartsWith("Usage: vandel-cli COMMAND"));
    for (const char* command : {"show", "diff", "load", "configure", "ports"}) {
        const CliResult help = RunCli({command, "--help"});
        EXPECT_EQ(help.exitStatus, 0) << command;
        EXPECT_THAT(help.out, StartsWith(std::string("Usage: vandel-cli ") + command)) << command;
        EXPECT_THAT(tool.out, HasSubstr(std::string("  ") + command + " ")) << command;
        EXPECT_EQ(RunCli({"help", command}).out, help.out) << command;
        // --help wins over arguments that would be wrong.
        EXPECT_EQ(RunCli({command, "--bogus", "-h"}).exitStatus, 0) << command;
    }
}

// Targets of `load -o` that are no files, and folders that are not there, are refused before the
// receiver is asked anything (exit 2; a receiver that was asked would give 1), and stay as they were.
TEST(CliLoad, OutputsThatAreNoFilesAreRefusedBeforeTheReceiverIsAsked) {
    TempFolder folder;
    ASSERT_EQ(::mkfifo(folder.File("fifo.dat").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/dev/null", folder.File("to-null.dat").c_str()), 0);
    ASSERT_EQ(::symlink("absent/x.dat", folder.File("dangling.dat").c_str()), 0);
    const struct {
        std::string output;
        const char* message;
    } rows[] = {
        {folder.File("fifo.dat"), "Is a FIFO, not a file"},
        {folder.File("to-null.dat"), "Is a character device, not a file"},
        {folder.File("dangling.dat"), "No such file or directory"},
        {folder.File("absent/x.dat"), "No such file or directory"},
    };
    for (const auto& row : rows) {
        const CliResult result = RunCli({"load", kRefusing, "-o", row.output});
        EXPECT_EQ(result.exitStatus, 2) << row.output << ": " << result.err;
        EXPECT_THAT(result.err, HasSubstr(row.message)) << row.output;
    }
    struct stat info {};
    ASSERT_EQ(::lstat(folder.File("fifo.dat").c_str(), &info), 0);
    EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

// Two names of one device are one receiver: refused before anything is opened.
TEST(CliConfigure, TwoNamesOfOneDeviceAreRefused) {
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    TempFolder folder;
    const std::string file = folder.File("good.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    const std::string other = "/dev/../dev/pts/" + line.SlavePath().substr(line.SlavePath().rfind('/') + 1);
    const CliResult result = RunCli({"configure", file, line.SlavePath(), other});
    EXPECT_EQ(result.exitStatus, 2) << result.err;
    EXPECT_THAT(result.err, HasSubstr("are the same device"));
    EXPECT_TRUE(line.ReadAvailable().empty());  // nothing went over the line
}

// Output that cannot be written is an error, not a silent success.
TEST(CliOutput, AFailedWriteToStandardOutputIsAnError) {
    TempFolder folder;
    const std::string file = folder.File("good.dat");
    const std::string changed = folder.File("changed.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    ASSERT_TRUE(WriteBytes(changed, ChangedSettingsFile()));
    for (const std::string command : {"show", "show --json", "diff", "ports"}) {
        const std::string arguments = command == "diff"    ? command + " '" + file + "' '" + changed + "'"
                                      : command == "ports" ? command
                                                           : command + " '" + file + "'";
        const std::string line =
            "'" + CliProgramPath() + "' " + arguments + " >/dev/full 2>'" + folder.File("err.txt") + "'";
        const int status = std::system(line.c_str());
        ASSERT_TRUE(WIFEXITED(status)) << command;
        EXPECT_EQ(WEXITSTATUS(status), 2) << command;
        const std::vector<uint8_t> err = ReadBytes(folder.File("err.txt"));
        EXPECT_THAT(std::string(err.begin(), err.end()),
                    HasSubstr("cannot write the output: No space left on device"))
            << command;
    }
}

// "-" reads a settings file from standard input.
TEST(CliFiles, StandardInputIsAFileNamedDash) {
    TempFolder folder;
    const std::string file = folder.File("rack.dat");
    const std::string changed = folder.File("changed.dat");
    ASSERT_TRUE(WriteBytes(file, FactorySettingsFile()));
    ASSERT_TRUE(WriteBytes(changed, ChangedSettingsFile()));
    const auto run = [&](const std::string& arguments, const std::string& input) {
        const std::string out = folder.File("out.txt");
        const int status = std::system(
            ("'" + CliProgramPath() + "' " + arguments + " < '" + input + "' > '" + out + "'").c_str());
        const std::vector<uint8_t> bytes = ReadBytes(out);
        return std::make_pair(WIFEXITED(status) ? WEXITSTATUS(status) : -1,
                              std::string(bytes.begin(), bytes.end()));
    };
    const auto [showStatus, shown] = run("show -", file);
    EXPECT_EQ(showStatus, 0);
    const CliResult fromFile = RunCli({"show", file});
    EXPECT_EQ(shown.substr(shown.find('\n')),
              fromFile.out.substr(fromFile.out.find('\n')));  // all but the name
    EXPECT_EQ(shown.rfind("-: 169 bytes\n", 0), 0u) << shown;
    const auto [diffStatus, differences] = run("diff - '" + changed + "'", file);
    EXPECT_EQ(diffStatus, 1);
    EXPECT_EQ(differences, RunCli({"diff", file, changed}).out);
}
