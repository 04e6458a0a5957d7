// The command line of vandel-cli, parsed in-process.
#include <gtest/gtest.h>

#include "cli/Arguments.h"

namespace {

CliParse Parse(const std::vector<std::string>& args, CliArguments& arguments) {
    std::string error;
    return ParseCliArguments(args, arguments, error);
}

std::array<uint8_t, kPortConfigurationSize> Record(std::initializer_list<uint8_t> bytes) {
    std::array<uint8_t, kPortConfigurationSize> record{};
    std::copy(bytes.begin(), bytes.end(), record.begin());
    return record;
}

}  // namespace

TEST(CliArguments, ShowTakesOneFileAndJson) {
    CliArguments a;
    ASSERT_EQ(Parse({"show", "a.dat", "--json"}, a), CliParse::kRun);
    EXPECT_EQ(a.command, CliCommand::kShow);
    EXPECT_EQ(a.files, std::vector<std::string>{"a.dat"});
    EXPECT_TRUE(a.json);
}

TEST(CliArguments, DoubleDashEndsTheOptions) {
    CliArguments a;
    ASSERT_EQ(Parse({"diff", "--", "-a.dat", "--json"}, a), CliParse::kRun);
    EXPECT_EQ(a.files, (std::vector<std::string>{"-a.dat", "--json"}));
    EXPECT_FALSE(a.json);
}

TEST(CliArguments, LoadTakesTheOutputInEveryForm) {
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"load", "/dev/ttyUSB0", "-o", "x.dat"},
                                               {"load", "-o", "x.dat", "/dev/ttyUSB0"},
                                               {"load", "/dev/ttyUSB0", "--output", "x.dat"},
                                               {"load", "/dev/ttyUSB0", "--output=x.dat"}}) {
        CliArguments a;
        ASSERT_EQ(Parse(args, a), CliParse::kRun) << args[2];
        EXPECT_EQ(a.command, CliCommand::kLoad);
        EXPECT_EQ(a.devices, std::vector<std::string>{"/dev/ttyUSB0"});
        EXPECT_EQ(a.output, "x.dat");
        EXPECT_FALSE(a.pcSettingsGiven);
    }
}

TEST(CliArguments, ConfigureTakesAFileAndAnyNumberOfDevicesInOrder) {
    std::vector<std::string> args{"configure", "s.dat"};
    for (int i = 0; i < 45; ++i) args.push_back("/dev/ttyUSB" + std::to_string(i));
    args.push_back("--yes");
    CliArguments a;
    ASSERT_EQ(Parse(args, a), CliParse::kRun);
    EXPECT_EQ(a.files, std::vector<std::string>{"s.dat"});
    ASSERT_EQ(a.devices.size(), 45u);
    EXPECT_EQ(a.devices.front(), "/dev/ttyUSB0");
    EXPECT_EQ(a.devices.back(), "/dev/ttyUSB44");
    EXPECT_TRUE(a.yes);
    args.insert(args.begin() + 30, "/dev/ttyUSB3");
    EXPECT_EQ(Parse(args, a), CliParse::kError);
}

TEST(CliArguments, AManifestReplacesTheDevices) {
    CliArguments a;
    ASSERT_EQ(Parse({"verify", "--manifest", "m.txt", "--audit=a.log", "-q"}, a), CliParse::kRun);
    EXPECT_EQ(a.manifest, "m.txt");
    EXPECT_EQ(a.audit, "a.log");
    EXPECT_TRUE(a.quiet);
    EXPECT_TRUE(a.files.empty());
    ASSERT_EQ(Parse({"configure", "default.dat", "--manifest=m.txt"}, a), CliParse::kRun);
    EXPECT_EQ(a.files, std::vector<std::string>{"default.dat"});
    // How a fleet's runs are driven is not part of the command line.
    EXPECT_EQ(Parse({"configure", "--progress-fd", "3", "s.dat", "/dev/ttyS0"}, a), CliParse::kError);
}

TEST(CliArguments, HelpAnywhereWins) {
    CliArguments a;
    EXPECT_EQ(Parse({"--help"}, a), CliParse::kHelp);
    EXPECT_EQ(a.command, CliCommand::kNone);
    EXPECT_EQ(Parse({"configure", "--bogus", "--help"}, a), CliParse::kHelp);
    EXPECT_EQ(a.command, CliCommand::kConfigure);
    EXPECT_EQ(Parse({"help", "ports"}, a), CliParse::kHelp);
    EXPECT_EQ(a.command, CliCommand::kPorts);
    // After "--" it is a file name.
    EXPECT_EQ(Parse({"show", "--", "--help"}, a), CliParse::kRun);
}

TEST(CliArguments, PortsTakesAFolderAndDevices) {
    CliArguments a;
    ASSERT_EQ(Parse({"ports", "--dev", "/tmp/x", "/dev/ttyS0"}, a), CliParse::kRun);
    EXPECT_EQ(a.devDir, "/tmp/x");
    EXPECT_EQ(a.devices, std::vector<std::string>{"/dev/ttyS0"});
    ASSERT_EQ(Parse({"ports"}, a), CliParse::kRun);
    EXPECT_EQ(a.devDir, "/dev");
    EXPECT_TRUE(a.devices.empty());
}

TEST(CliArguments, ErrorsSayWhatIsWrong) {
    CliArguments a;
    std::string error;
    EXPECT_EQ(ParseCliArguments({"configure", "s.dat", "/dev/a", "/dev/b", "/dev/a"}, a, error),
              CliParse::kError);
    EXPECT_EQ(error, "the device /dev/a is given twice");
    EXPECT_EQ(ParseCliArguments({"diff", "a.dat", "b.dat", "c.dat"}, a, error), CliParse::kError);
    EXPECT_EQ(error, "diff wants two settings files, not 3 arguments");
    EXPECT_EQ(ParseCliArguments(
                  {"load", "/dev/a", "-o", "x", "--pc-settings", "9600,8,N,1", "--pc-settings=4800,8,N,1"}, a,
                  error),
              CliParse::kError);
    EXPECT_EQ(error, "--pc-settings is given twice");
    EXPECT_EQ(ParseCliArguments({"show", "a.dat", "-j"}, a, error), CliParse::kError);
    EXPECT_EQ(error, "unknown option '-j' for show");
}

// Codes of the port configuration layout: baud 1..9 = 110..38400, data bits 2 = 7 and 3 = 8,
// parity 0 none, 1 odd, 2 even, stop bits 0 = 1 and 1 = 2.
TEST(CliPcSettings, TextBecomesThePortConfigurationCodes) {
    std::array<uint8_t, kPortConfigurationSize> record{};
    std::string error;
    ASSERT_TRUE(ParsePcSettings("9600,8,O,1", record, error)) << error;
    EXPECT_EQ(record, Record({0, 7, 7, 3, 1, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(ParsePcSettings("4800,7,even,2", record, error));
    EXPECT_EQ(record, Record({0, 6, 6, 2, 2, 1, 0, 0, 0, 0}));
    ASSERT_TRUE(ParsePcSettings("110,8,None,1", record, error));
    EXPECT_EQ(record, Record({0, 1, 1, 3, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(ParsePcSettings("38400,8,n,2", record, error));
    EXPECT_EQ(record, Record({0, 9, 9, 3, 0, 1, 0, 0, 0, 0}));
}

TEST(CliPcSettings, AnythingElseIsRefusedAndTheRecordKept) {
    std::array<uint8_t, kPortConfigurationSize> record = Record({0, 7, 7, 3, 1, 0, 0, 0, 0, 0});
    const auto before = record;
    std::string error;
    for (const char* text :
         {"", "9600", "9600,8,O", "9600,8,O,1,1", "57600,8,N,1", "None,8,N,1", "0,8,N,1", "9600,6,N,1",
          "9600,8,M,1", "9600,8,N,0", "9600,8,N,1.5", "9600 ,8,N,1", ",,,"}) {
        EXPECT_FALSE(ParsePcSettings(text, record, error)) << text;
        EXPECT_NE(error.find("--pc-settings wants BAUD,DATA,PARITY,STOP"), std::string::npos) << text;
        EXPECT_EQ(record, before) << text;
    }
}

TEST(CliDevices, NetworkAndTtyNamesAreChecked) {
    std::string error;
    EXPECT_TRUE(CheckDeviceName("rfc2217://127.0.0.1:4000", error));
    EXPECT_TRUE(CheckDeviceName("rfc2217://[::1]:4000", error));
    EXPECT_FALSE(CheckDeviceName("/dev/null", error));  // a character device, but no tty
    EXPECT_EQ(error, "/dev/null: not a serial device");
    EXPECT_FALSE(CheckDeviceName("rfc2217://host", error));
    EXPECT_FALSE(CheckDeviceName("rfc2217://host:65536", error));
    EXPECT_FALSE(CheckDeviceName("/dev/ttyNoSuchPort7", error));
    EXPECT_EQ(error, "/dev/ttyNoSuchPort7: no such device");
    EXPECT_FALSE(CheckDeviceName("/", error));
    EXPECT_EQ(error, "/: not a serial device");
}
