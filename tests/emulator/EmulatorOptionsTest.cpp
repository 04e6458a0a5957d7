// kirp-emulator's command line.
#include <gtest/gtest.h>

#include <sstream>

#include "emulator/EmulatorOptions.h"

namespace {

EmulatorArgsResult Parse(const std::vector<std::string>& args, EmulatorOptions& options, std::string& error) {
    return ParseEmulatorArguments(args, options, error);
}

TEST(EmulatorOptions, DefaultsAreANetworkPortOnLoopbackAt9600N81) {
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(Parse({}, options, error), EmulatorArgsResult::Run);
    EXPECT_FALSE(options.usePty);
    EXPECT_EQ(options.listenHost, "127.0.0.1");
    EXPECT_EQ(options.listenPort, 0);
    EXPECT_EQ(options.count, 1);
    EXPECT_EQ(options.portB, (PortLine{9600, 8, 0, 1}));
    EXPECT_EQ(options.resetSilenceMs, 1500);
}

TEST(EmulatorOptions, EveryOptionIsRead) {
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--listen",
                     "0.0.0.0:4001",
                     "--count",
                     "3",
                     "--port-b",
                     "4800,7,E,2",
                     "--auto-output",
                     "--silent",
                     "--no-break-reply",
                     "--ignore",
                     "4,7",
                     "--differ",
                     "13",
                     "--no-save",
                     "--latency",
                     "250",
                     "--hangup-after",
                     "100",
                     "--log",
                     "/tmp/x.log",
                     "--reset-silence",
                     "300"},
                    options, error),
              EmulatorArgsResult::Run)
        << error;
    EXPECT_EQ(options.listenHost, "0.0.0.0");
    EXPECT_EQ(options.listenPort, 4001);
    EXPECT_EQ(options.count, 3);
    EXPECT_EQ(options.portB, (PortLine{4800, 7, 2, 2}));
    EXPECT_TRUE(options.autoOutput && options.silent && options.noBreakReply && options.faults.noSave);
    EXPECT_TRUE(options.faults.ignore[4] && options.faults.ignore[7]);
    EXPECT_FALSE(options.faults.ignore[5]);
    EXPECT_TRUE(options.faults.differ[13]);
    EXPECT_EQ(options.latencyMs, 250);
    EXPECT_EQ(options.hangupAfterBytes, 100);
    EXPECT_EQ(options.logFile, "/tmp/x.log");
    EXPECT_EQ(options.resetSilenceMs, 300);
}

TEST(EmulatorOptions, PtyAndPortOnlyListen) {
    EmulatorOptions options;
    std::string error;
    ASSERT_EQ(Parse({"--pty"}, options, error), EmulatorArgsResult::Run);
    EXPECT_TRUE(options.usePty);
    ASSERT_EQ(Parse({"--listen", "5000"}, options, error), EmulatorArgsResult::Run);
    EXPECT_FALSE(options.usePty);
    EXPECT_EQ(options.listenHost, "127.0.0.1");
    EXPECT_EQ(options.listenPort, 5000);
}

TEST(EmulatorOptions, HelpDocumentsTheFactorySettings) {
    EmulatorOptions options;
    std::string error;
    EXPECT_EQ(Parse({"--help"}, options, error), EmulatorArgsResult::Help);
    const std::string help = EmulatorHelpText();
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line) && line.rfind("Groups", 0) != 0;)  // before the dumps
        EXPECT_LE(line.size(), 80u) << line;
    for (const char* word : {"--pty", "--listen", "--count", "--port-b", "--auto-output", "--silent",
                             "--no-break-reply", "--ignore", "--differ", "--no-save", "--latency",
                             "--hangup-after", "--log", "Self Survey Configuration", "9600 8N1", "PRPT;"}) {
        EXPECT_NE(help.find(word), std::string::npos) << word;
    }
}

TEST(EmulatorOptions, BadArgumentsAreErrorsWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {"--count"},
        {"--count", "0"},
        {"--count", "21"},
        {"--count", "x"},
        {"--port-b", "9600"},
        {"--port-b", "57600,8,N,1"},
        {"--port-b", "9600,6,N,1"},
        {"--port-b", "9600,8,M,1"},
        {"--port-b", "9600,8,N,3"},
        {"--ignore", "0"},
        {"--ignore", "14"},
        {"--differ", "1,,2"},
        {"--differ", ""},
        {"--latency", "-1"},
        {"--listen", "host:99999"},
        {"--listen", "host:"},
        {"--hangup-after", "x"},
        {"--log", ""},
        {"--bogus"},
        {"stray"},
        {"--pty", "--listen", "4001"},
        {"--count", "2", "--count", "3"},
        {"--pty=1"},
        {"--latency"},
    };
    for (const auto& args : bad) {
        EmulatorOptions options;
        std::string error;
        EXPECT_EQ(Parse(args, options, error), EmulatorArgsResult::Error) << args[0];
        EXPECT_FALSE(error.empty()) << args[0];
    }
}

TEST(EmulatorOptions, GroupListsAreGroupNumbers) {
    std::array<bool, kGroupCount + 1> groups{};
    ASSERT_TRUE(ParseGroupList("1,13,6", groups));
    EXPECT_TRUE(groups[1] && groups[6] && groups[13]);
    EXPECT_FALSE(groups[0] || groups[2] || groups[12]);
    groups[2] = true;
    EXPECT_FALSE(ParseGroupList("1,a", groups));
    EXPECT_TRUE(groups[2]);  // unchanged on error
}

}  // namespace
