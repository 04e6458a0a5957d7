// The window program's command line: --comm N=DEVICE, --help, --version, the toolkit's own
// options passed over, and a bad argument ending the program with status 2 before any window.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "serial/Serial.h"
#include "support/Pty.h"

namespace {

CommandLine Parse(std::vector<std::string> args) {
    return ParseCommandLine(args);
}

void ExpectError(std::vector<std::string> args, const std::string& mentioned) {
    const CommandLine result = Parse(args);
    EXPECT_EQ(result.action, CommandLineAction::Error)
        << "arguments starting " << (args.empty() ? "" : args[0]);
    EXPECT_NE(result.error.find(mentioned), std::string::npos) << result.error;
    EXPECT_TRUE(result.comms.empty());
}

}  // namespace

TEST(CommandLineParse, NoArgumentsRunsWithTheDefaultDevices) {
    const CommandLine result = Parse({});
    EXPECT_EQ(result.action, CommandLineAction::Run);
    EXPECT_TRUE(result.comms.empty());
    EXPECT_TRUE(result.error.empty());
}

TEST(CommandLineParse, CommMappingsKeepTheirOrder) {
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    const CommandLine result =
        Parse({"--comm", "1=" + line.SlavePath(), "--comm=20=rfc2217://127.0.0.1:4001"});
    ASSERT_EQ(result.action, CommandLineAction::Run) << result.error;
    ASSERT_EQ(result.comms.size(), 2u);
    EXPECT_EQ(result.comms[0].port, 1);
    EXPECT_EQ(result.comms[0].device, line.SlavePath());
    EXPECT_EQ(result.comms[1].port, 20);
    EXPECT_EQ(result.comms[1].device, "rfc2217://127.0.0.1:4001");
    // Only the first '=' separates: the rest belongs to the device name.
    ExpectError({"--comm", "7=a=b"}, "a=b: ");
}

// The window program takes the devices vandel-cli takes: an existing tty, or a network serial port
// with a port number from 1 to 65535; and each comm port once.
TEST(CommandLineParse, OnlySerialDevicesAreAccepted) {
    const std::string folder = ::testing::TempDir();
    const std::string file = folder + "/not-a-device";
    std::fclose(std::fopen(file.c_str(), "w"));
    const struct {
        std::string device;
        std::string mentioned;
    } refused[] = {
        {"/dev/null", "not a serial device"},    {"/dev/ptmx", "not a serial device"},
        {file, "not a serial device"},           {folder, "not a serial device"},
        {"/dev/no-such-tty", "no such device"},  {"http://127.0.0.1:80", "unknown kind of device"},
        {"rfc2217://127.0.0.1:0", "1 to 65535"}, {"rfc2217://127.0.0.1:65536", "1 to 65535"},
        {"rfc2217://127.0.0.1", "1 to 65535"},   {"rfc2217://:4001", "1 to 65535"},
    };
    for (const auto& row : refused) ExpectError({"--comm", "1=" + row.device}, row.mentioned);
    std::remove(file.c_str());

    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    ExpectError({"--comm", "3=" + line.SlavePath(), "--comm", "3=rfc2217://127.0.0.1:4001"},
                "Comm 3 is given twice");
}

TEST(CommandLineParse, PortNumberOutsideOneToTwentyIsRejected) {
    ExpectError({"--comm", "0=/dev/ttyS0"}, "0=/dev/ttyS0");
    ExpectError({"--comm", "21=/dev/ttyS0"}, "1 to 20");
    ExpectError({"--comm", "40=/dev/ttyS0"}, "1 to 20");
    ExpectError({"--comm", "99999999999999999999=/dev/x"}, "1 to 20");
}

TEST(CommandLineParse, PortNumberMustBeDigitsOnly) {
    ExpectError({"--comm", "-1=/dev/x"}, "whole number");
    ExpectError({"--comm", "+3=/dev/x"}, "whole number");
    ExpectError({"--comm", "3a=/dev/x"}, "whole number");
    ExpectError({"--comm", " 3=/dev/x"}, "whole number");
    ExpectError({"--comm", "=/dev/x"}, "missing");
}

TEST(CommandLineParse, DeviceNameMustNotBeEmpty) {
    ExpectError({"--comm", "3="}, "empty");
    ExpectError({"--comm=3="}, "empty");
}

TEST(CommandLineParse, MappingNeedsAnEqualsSign) {
    ExpectError({"--comm", "3"}, "N=DEVICE");
    ExpectError({"--comm", "/dev/ttyS0"}, "N=DEVICE");
}

TEST(CommandLineParse, CommWithoutValueIsRejected) {
    ExpectError({"--comm"}, "--comm needs a value");
}

TEST(CommandLineParse, UnknownOptionsAndStrayArgumentsAreRejected) {
    ExpectError({"--bogus"}, "unknown option '--bogus'");
    ExpectError({"-x"}, "unknown option '-x'");
    ExpectError({"settings.dat"}, "unexpected argument 'settings.dat'");
    ExpectError({"--comm", "1=/dev/tty\xff"}, "no text in this locale");  // never reaches the driver changed
    // A bad argument after good ones still rejects the whole line.
    ExpectError({"--comm", "1=rfc2217://127.0.0.1:4001", "--comm", "0=/dev/b"}, "0=/dev/b");
}

TEST(CommandLineParse, HelpAndVersion) {
    EXPECT_EQ(Parse({"--help"}).action, CommandLineAction::Help);
    EXPECT_EQ(Parse({"-h"}).action, CommandLineAction::Help);
    EXPECT_EQ(Parse({"--version"}).action, CommandLineAction::Version);
    EXPECT_EQ(Parse({"--version", "--help"}).action, CommandLineAction::Help);
    EXPECT_NE(CommandLineUsage().find("--comm N=DEVICE"), std::string::npos);
    EXPECT_EQ(VersionText(), "vandel-configurator 1.20\n");
}

TEST(CommandLineParse, ToolkitOptionsAndTheirValuesArePassedOver) {
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    const CommandLine result =
        Parse({"-platform", "offscreen", "--comm", "2=" + line.SlavePath(), "-style=fusion", "--style",
               "windows", "-reverse", "-qwindowgeometry", "100x100+0+0", "-stylesheet", "x.qss"});
    ASSERT_EQ(result.action, CommandLineAction::Run) << result.error;
    ASSERT_EQ(result.comms.size(), 1u);
    EXPECT_EQ(result.comms[0].port, 2);
    EXPECT_EQ(result.comms[0].device, line.SlavePath());
    // A toolkit option that takes no value does not swallow the next argument.
    EXPECT_EQ(Parse({"-reverse", "stray"}).action, CommandLineAction::Error);
}

TEST(CommandLineParse, ArgvFormSkipsTheProgramName) {
    const char* argv[] = {"vandel-configurator", "--comm", "5=rfc2217://[::1]:4001"};
    const CommandLine result = ParseCommandLine(3, argv);
    ASSERT_EQ(result.action, CommandLineAction::Run);
    ASSERT_EQ(result.comms.size(), 1u);
    EXPECT_EQ(result.comms[0].port, 5);
}

TEST(CommandLineApply, StoresTheDevicesInTheSerialDriver) {
    SerialResetDeviceNames();
    PtyPair line;
    ASSERT_TRUE(line.IsOpen());
    const CommandLine result =
        Parse({"--comm", "3=" + line.SlavePath(), "--comm", "20=rfc2217://localhost:4001"});
    ASSERT_TRUE(ApplyCommandLine(result));
    EXPECT_EQ(SerialDeviceName(3), line.SlavePath());
    EXPECT_EQ(SerialDeviceName(20), "rfc2217://localhost:4001");
    EXPECT_EQ(SerialDeviceName(1), "/dev/ttyS0");  // untouched entries keep their defaults
    SerialResetDeviceNames();
}

// The program itself, started as the operator would: arguments are checked before any window.
namespace {

struct ProgramRun {
    int status;
    std::string output;
};

// `display` names the X display the program is given (none when empty).
ProgramRun RunProgram(const std::string& arguments, const std::string& display = {}) {
    // VC_BIN_DIR when given, else the bin folder beside this test program's folder.
    std::string binDir;
    if (const char* fromEnvironment = std::getenv("VC_BIN_DIR")) {
        binDir = fromEnvironment;
    } else {
        std::error_code error;
        binDir = (std::filesystem::read_symlink("/proc/self/exe", error).parent_path().parent_path() / "bin")
                     .string();
    }
    // No display at all, unless one is named: the arguments must be handled before the toolkit needs one.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " +
                                (display.empty() ? std::string() : "DISPLAY='" + display + "' ") + "'" +
                                binDir + "/vandel-configurator' " + arguments + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, "popen failed"};
    std::string output;
    std::array<char, 256> buffer{};
    while (std::fgets(buffer.data(), static_cast<int>(buffer.size()), pipe)) output += buffer.data();
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

}  // namespace

TEST(CommandLineProgram, BadArgumentPrintsAMessageAndExitsWithStatusTwo) {
    const ProgramRun run = RunProgram("--comm 21=/dev/ttyS0");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("from 1 to 20"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("--help"), std::string::npos) << run.output;
}

// Without a display, or with one named that does not answer, the program says what to do and ends
// with status 2, not with the toolkit's abort.
TEST(CommandLineProgram, NoDisplayGivesOneClearLineAndStatusTwo) {
    constexpr char kSilent[] = ":64999";  // no X server listens there
    const struct {
        std::string arguments;
        std::string display;
    } runs[] = {
        {"", ""},      {"-platform xcb", ""},      {"--platform=wayland", ""},
        {"", kSilent}, {"-platform xcb", kSilent}, {std::string("-display ") + kSilent, ""},
    };
    for (const auto& [arguments, display] : runs) {
        const ProgramRun run = RunProgram(arguments, display);
        EXPECT_EQ(run.status, 2) << arguments << ": " << run.output;
        EXPECT_EQ(
            run.output,
            "vandel-configurator: no display to open the window on: set DISPLAY, start it with -platform "
            "offscreen, or use vandel-cli for the same work without a window\n")
            << arguments << " DISPLAY=" << display;
    }
}

TEST(CommandLineProgram, EmptyDeviceExitsWithStatusTwo) {
    const ProgramRun run = RunProgram("--comm 4=");
    EXPECT_EQ(run.status, 2) << run.output;
    EXPECT_NE(run.output.find("empty"), std::string::npos) << run.output;
}

TEST(CommandLineProgram, HelpAndVersionNeedNoDisplay) {
    const ProgramRun help = RunProgram("--help");
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_NE(help.output.find(
                  "Usage: vandel-configurator [--comm N=DEVICE]... [--trace FILE] [--help] [--version]"),
              std::string::npos)
        << help.output;
    const ProgramRun version = RunProgram("-platform offscreen --version");
    EXPECT_EQ(version.status, 0) << version.output;
    EXPECT_EQ(version.output, "vandel-configurator 1.20\n");
}
