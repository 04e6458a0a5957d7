// A fleet's run that misbehaves (made to by RunMisbehaves.cpp, preloaded into the real vandel-cli):
// the parent neither waits for it forever nor passes its bytes to the terminal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"

using ::testing::HasSubstr;

namespace {

// A verify of two receivers in two runs (two settings files), on devices that are not there, with
// every run misbehaving as `how` says and standard error on a terminal.
CliResult VerifyWithRunsThat(const std::string& how) {
    TempFolder folder;
    EXPECT_TRUE(WriteBytes(folder.File("a.dat"), FactorySettingsFile()));
    EXPECT_TRUE(WriteBytes(folder.File("b.dat"), FactorySettingsFile()));
    std::ofstream(folder.File("m.txt")) << folder.File("gone1") << " a.dat\n"
                                        << folder.File("gone2") << " b.dat\n";
    CliRunOptions options = WithTimeout(std::chrono::seconds(60));
    options.stderrTerminal = true;
    const char* asan = std::getenv("ASAN_OPTIONS");
    // The preloaded library comes before the address sanitizer's runtime in a sanitizer build.
    options.environment = {
        std::string("LD_PRELOAD=") + VC_RUN_MISBEHAVES, "VC_RUN_MISBEHAVES=" + how, "NO_COLOR=1",
        std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") + ":verify_asan_link_order=0"};
    return RunCli({"verify", "--quiet", "--json", "--manifest", folder.File("m.txt")}, options);
}

}  // namespace

// A run that closes its output and then hangs is ended a few seconds later (killed), and its
// receivers are reported as having no result.
TEST(CliRunMisbehaves, ARunThatClosesItsOutputAndHangsIsEnded) {
    const CliResult result = VerifyWithRunsThat("close-and-hang");
    ASSERT_FALSE(result.timedOut) << "the fleet waited for its hung runs";
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << result.out;
    EXPECT_EQ(json["runs"], 2);
    ASSERT_EQ(json["ports"].size(), 2u);
    for (const nlohmann::json& port : json["ports"]) {
        EXPECT_EQ(port["result"], "no-result") << port.dump();
        EXPECT_THAT(port["text"].get<std::string>(),
                    HasSubstr("ended by signal 9 (Killed) without a result"));
    }
}

// What a run writes to its standard error reaches the terminal with every control byte shown as '?'.
TEST(CliRunMisbehaves, ARunsStandardErrorReachesTheTerminalFiltered) {
    const CliResult result = VerifyWithRunsThat("escapes");
    EXPECT_EQ(result.exitStatus, 1) << result.err;  // the devices are not there
    EXPECT_THAT(result.err, HasSubstr(": ?]0;title??[2J?[31mred?[0m??"));
    EXPECT_EQ(result.err.find_first_of("\x1b\x07\x08\x7f"), std::string::npos) << result.err;
}
