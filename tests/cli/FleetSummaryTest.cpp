// What a fleet run tells people at its end and while it runs: those that did not succeed first,
// each with its device, a closing total, 80 columns; --brief; colour on a terminal, NO_COLOR and
// --color.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

// Any of the result colours.
::testing::Matcher<std::string> Coloured() {
    return ::testing::AnyOf(HasSubstr("\033[31m"), HasSubstr("\033[32m"), HasSubstr("\033[33m"));
}

// The last drawing of the progress board on a terminal: its lines, without the line-clearing codes.
std::vector<std::string> LastBoard(const std::string& err) {
    const size_t erased = err.rfind("\033[J");
    std::vector<std::string> lines;
    std::stringstream board(err.substr(erased == std::string::npos ? 0 : erased + 3));
    for (std::string line; std::getline(board, line);) {
        if (line.rfind("\r\033[2K", 0) == 0) line.erase(0, 5);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// Five receivers in two runs: run 1 (the emulator's own line) holds a good one, a missing device,
// one whose I/O Options differ and another good one; run 2 (the default PC side) a silent one.
struct MixedFleet {
    std::unique_ptr<Emulator> good = StartEmulator(true, 2);
    std::unique_ptr<Emulator> differing = StartEmulator(true, 1, Differs(kGroupIOOptions));
    std::unique_ptr<Emulator> silent = StartEmulator(true, 1, {}, true);
    TempFolder folder;
    std::string missing = folder.File("ttyUSB9");
    std::string file = folder.File("factory.dat");
    std::string manifest = folder.File("fleet.txt");

    static ReceiverFaults Differs(int group) {
        ReceiverFaults faults;
        faults.differ[static_cast<size_t>(group)] = true;
        return faults;
    }
    bool Ready() {
        if (!good || !differing || !silent || !WriteBytes(file, FactorySettingsFile())) return false;
        const std::string lines = good->DeviceName(0) + " 9600,8,N,1\n" + missing + " 9600,8,N,1\n" +
                                  differing->DeviceName(0) + " 9600,8,N,1\n" + silent->DeviceName(0) + "\n" +
                                  good->DeviceName(1) + " 9600,8,N,1\n";
        return WriteBytes(manifest, std::vector<uint8_t>(lines.begin(), lines.end()));
    }
};

}  // namespace

TEST(CliFleetSummary, FailuresFirstEachWithItsDeviceAndAClosingTotal) {
    MixedFleet fleet;
    ASSERT_TRUE(fleet.Ready());
    CliRunOptions terminal = WithTimeout(std::chrono::seconds(120));
    terminal.stderrTerminal = true;
    terminal.environment = {"NO_COLOR="};  // empty: not set
    const CliResult result = RunCli({"verify", fleet.file, "--manifest", fleet.manifest}, terminal);
    EXPECT_EQ(result.exitStatus, 1) << result.err;

    const std::string out = Unwrapped(result.out);
    const std::vector<std::string> inOrder = {
        "Run 1, Comm 2 (" + fleet.missing + "): Error 101:  Could not initialize comm port.\n  reason: ",
        "Run 1, Comm 3 (" + fleet.differing->DeviceName(0) + "): differs: I/O Options\n",
        "Run 2, Comm 1 (" + fleet.silent->DeviceName(0) +
            "): Error 102:  Could not establish KIRP communications.\n",
        "Run 1, Comm 1 (" + fleet.good->DeviceName(0) + "): holds these settings\n",
        "Run 1, Comm 4 (" + fleet.good->DeviceName(1) + "): holds these settings\n",
        "\nSummary for Run 1, Comm Port 3 (" + fleet.differing->DeviceName(0) + ")\n",
        "\nSummary for Run 1, Comm Port 1 (" + fleet.good->DeviceName(0) + ")\n",
        "\nSummary for Run 1, Comm Port 4 (" + fleet.good->DeviceName(1) + ")\n",
        "\n\n5 receivers: 2 successful, 1 could not be opened, 1 not answering, 1 differing\n"};
    size_t at = 0;
    for (const std::string& part : inOrder) {
        const size_t found = out.find(part, at);
        ASSERT_NE(found, std::string::npos) << "not after position " << at << ": " << part << "\n" << out;
        at = found + part.size();
    }
    EXPECT_EQ(at, out.size());
    std::stringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 80u) << line;
    EXPECT_THAT(result.out, Not(Coloured())) << "a pipe gets no colour";

    // The board's last drawing: the failed on top in red or yellow, then the successful, then the count.
    const std::vector<std::string> board = LastBoard(result.err);
    ASSERT_EQ(board.size(), 6u) << result.err;
    // (each cut to the terminal's 80 columns)
    EXPECT_THAT(board[0], HasSubstr("\033[31m" + fleet.missing + ": done: Error 101"));
    EXPECT_THAT(board[1],
                HasSubstr("\033[33m" + fleet.differing->DeviceName(0) + ": done: differs: I/O Options"));
    EXPECT_THAT(board[2], HasSubstr("\033[31m" + fleet.silent->DeviceName(0) + ": done: Error 102"));
    EXPECT_THAT(board[3], HasSubstr("\033[32m" + fleet.good->DeviceName(0) + ": done: holds these settings"));
    EXPECT_THAT(board[4], HasSubstr("\033[32m" + fleet.good->DeviceName(1) + ": done: holds these settings"));
    EXPECT_EQ(board[5], "5 of 5 done, 3 failed");
    // The missing device counted done as soon as it failed, long before the end.
    EXPECT_THAT(result.err, HasSubstr("1 of 5 done, 1 failed"));

    // --brief: only those that did not succeed, only their groups that are not correct, the total;
    // --color=always colours a pipe, NO_COLOR or not.
    CliRunOptions noColor = WithTimeout(std::chrono::seconds(120));
    noColor.environment = {"NO_COLOR=1"};
    const CliResult brief =
        RunCli({"verify", fleet.file, "--manifest", fleet.manifest, "--brief", "--color=always", "--quiet"},
               noColor);
    EXPECT_EQ(brief.exitStatus, 1) << brief.err;
    EXPECT_THAT(brief.out, Not(HasSubstr(fleet.good->DeviceName(0))));
    EXPECT_THAT(brief.out, Not(HasSubstr("Retrieved settings are correct.")));
    EXPECT_THAT(
        brief.out,
        HasSubstr("  I/O Options (Packet 0x35): \033[33mRetrieved settings are not correct.\033[0m\n"));
    EXPECT_THAT(brief.out, HasSubstr("\033[31mError 101:  Could not initialize comm port.\033[0m\n"));
    EXPECT_THAT(brief.out,
                HasSubstr("5 receivers: \033[32m2 successful,\033[0m \033[31m1 could not be opened,"));
}

// On a terminal the colour is the default; NO_COLOR and --color=never turn it off.
TEST(CliFleetSummary, NoColorAndColorNeverKeepTheTerminalPlain) {
    auto good = StartEmulator(true, 1);
    ASSERT_NE(good, nullptr);
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder.File("factory.dat"), FactorySettingsFile()));
    for (const auto& [environment, option] : std::vector<std::pair<std::string, std::string>>{
             {"NO_COLOR=1", "--color=auto"}, {"NO_COLOR=", "--color=never"}}) {
        CliRunOptions terminal;
        terminal.stderrTerminal = true;
        terminal.environment = {environment};
        const CliResult result = RunCli({"verify", folder.File("factory.dat"), good->DeviceName(0),
                                         folder.File("ttyUSB9"), "--pc-settings", "9600,8,N,1", option},
                                        terminal);
        EXPECT_EQ(result.exitStatus, 1) << result.err;
        EXPECT_THAT(result.err, HasSubstr(": done: Error 101")) << option;
        EXPECT_THAT(result.err, Not(Coloured())) << environment << " " << option;
    }
    const CliResult bad =
        RunCli({"verify", folder.File("factory.dat"), good->DeviceName(0), "--color=sometimes"});
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_THAT(bad.err, HasSubstr("--color wants auto, always or never, not 'sometimes'"));
}
