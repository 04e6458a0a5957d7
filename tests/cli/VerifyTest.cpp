// vandel-cli verify: receivers checked against a file without anything written to them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "emulator/Emulator.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

std::unique_ptr<Emulator> StartReceiver(const std::string& log, const ReceiverFaults& faults = {},
                                        bool silent = false) {
    EmulatorOptions options;
    options.logFile = log;
    options.faults = faults;
    options.silent = silent;
    return StartEmulatorWith(options);
}

std::string Contents(const std::string& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

}  // namespace

TEST(CliVerify, ChecksEveryReceiverAndWritesNothing) {
    TempFolder folder;
    const std::string settings = folder.File("factory.dat");
    ASSERT_TRUE(WriteBytes(settings, FactorySettingsFile()));
    ReceiverFaults differ;
    differ.differ[kGroupDatum] = true;
    auto matching = StartReceiver(folder.File("matching.log"));
    auto differing = StartReceiver(folder.File("differing.log"), differ);
    auto silent = StartReceiver(folder.File("silent.log"), {}, true);
    ASSERT_TRUE(matching && differing && silent);
    const std::string nowhere = "rfc2217://127.0.0.1:1";  // nothing listens there

    const CliResult result =
        RunCli({"verify", settings, matching->DeviceName(0), differing->DeviceName(0), silent->DeviceName(0),
                nowhere, "--pc-settings", "9600,8,N,1", "--json"});
    EXPECT_EQ(result.exitStatus, 1) << result.err;
    const nlohmann::json json = nlohmann::json::parse(result.out, nullptr, false);
    ASSERT_FALSE(json.is_discarded()) << result.out;
    const auto& ports = json["ports"];
    ASSERT_EQ(ports.size(), 4u);
    // configure's result names, verify's own words: what was found, nothing of writing.
    const std::pair<const char*, const char*> expected[] = {
        {"success", "holds these settings"},
        {"differs", "differs: Datum"},
        {"no-answer", "Error 102:  Could not establish KIRP communications."},
        {"open-failed", "Error 101:  Could not initialize comm port."}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(ports[i]["result"], expected[i].first) << ports[i].dump();
        EXPECT_EQ(ports[i]["text"], expected[i].second) << ports[i].dump();
    }
    const CliResult text = RunCli({"verify", settings, matching->DeviceName(0), differing->DeviceName(0),
                                   "--pc-settings", "9600,8,N,1", "--quiet"});
    EXPECT_THAT(text.out, HasSubstr(matching->DeviceName(0) + "): holds these settings\n"));
    EXPECT_THAT(text.out, HasSubstr(differing->DeviceName(0) + "): differs: Datum\n"));
    EXPECT_THAT(text.out, HasSubstr("    Datum: expected WGS-84, found "));
    for (const std::string& out : {result.out, text.out}) {
        EXPECT_THAT(out, Not(HasSubstr("written")));
        EXPECT_THAT(out, Not(HasSubstr("Configuration was successful.")));
    }
    bool datumListed = false;
    for (const auto& group : ports[1]["groups"])
        if (group["number"] == kGroupDatum) datumListed = group["differences"].size() == 1;
    EXPECT_TRUE(datumListed) << ports[1].dump();

    for (auto* receiver : {matching.get(), differing.get(), silent.get()}) receiver->Stop();
    for (const char* name : {"matching.log", "differing.log", "silent.log"}) {
        const std::string log = Contents(folder.File(name));
        // Requests and Link Checks only: no set command, no save, no reset, no survey command.
        EXPECT_THAT(log, Not(HasSubstr(": set)"))) << name;
        EXPECT_THAT(log, Not(HasSubstr("settings saved"))) << name;
        EXPECT_THAT(log, Not(HasSubstr("reset"))) << name;
        EXPECT_THAT(log, Not(HasSubstr("accepted"))) << name;
    }
    EXPECT_THAT(Contents(folder.File("matching.log")), HasSubstr(": reported)"));
}
