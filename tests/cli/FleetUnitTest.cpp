// The fleet's parts that need no receiver: runs planned from the receivers, a summary entry read
// back from its JSON, and audit lines appended side by side.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/Audit.h"
#include "cli/CliRunner.h"
#include "cli/Fleet.h"
#include "link/PortContext.h"

namespace {

FleetReceiver Receiver(int n, const std::string& file, int baud = 9600) {
    FleetReceiver receiver;
    receiver.device = "/dev/ttyUSB" + std::to_string(n);
    receiver.settingsFile = file;
    receiver.pcLine.baudRate = baud;
    return receiver;
}

}  // namespace

TEST(FleetRuns, TwentyToARunSharingFileAndPcSideInTheOrderGiven) {
    std::vector<FleetReceiver> receivers;
    for (int i = 0; i < 45; ++i) receivers.push_back(Receiver(i, i % 3 == 2 ? "b.dat" : "a.dat"));
    receivers.push_back(Receiver(45, "a.dat", 4800));
    const std::vector<std::vector<size_t>> runs = PlanFleetRuns(receivers);
    // a.dat: 30 receivers → 20 + 10; b.dat: 15; a.dat at 4800: 1.
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].size(), 20u);
    EXPECT_EQ(runs[1].size(), 15u);
    EXPECT_EQ(runs[2].size(), 10u);
    EXPECT_EQ(runs[3], std::vector<size_t>{45});
    std::vector<bool> seen(receivers.size(), false);
    for (const std::vector<size_t>& run : runs) {
        for (size_t k = 0; k < run.size(); ++k) {
            const FleetReceiver& first = receivers[run.front()];
            EXPECT_EQ(receivers[run[k]].settingsFile, first.settingsFile);
            EXPECT_EQ(receivers[run[k]].pcLine, first.pcLine);
            EXPECT_TRUE(k == 0 || run[k - 1] < run[k]);
            EXPECT_FALSE(seen[run[k]]);
            seen[run[k]] = true;
        }
    }
    EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 46);
}

TEST(FleetRuns, ASummaryEntryReadsBackAsItWasWritten) {
    const std::vector<FleetReceiver> receivers = {Receiver(0, "a.dat"), Receiver(1, "a.dat")};
    FleetResult result;
    result.runCount = 1;
    result.outcomes.resize(2);
    FleetOutcome& differs = result.outcomes[0];
    differs.reported = true;
    differs.comm = 1;
    differs.summary.portResult = kResultGroupDiffers;
    differs.summary.groupStatus.fill(kGroupMatches);
    differs.summary.groupStatus[6] = kGroupDiffers;
    differs.summary.differences[6] = {{7, "Datum", "WGS-84", "European", "00 15", "00 04"}};
    FleetOutcome& failed = result.outcomes[1];
    failed.reported = true;
    failed.comm = 2;
    failed.summary.portResult = kResultOpenFailed;
    failed.reason = {{"code", "busy"}, {"detail", "held by PID 7"}, {"text", "busy: held by PID 7"}};

    const nlohmann::json json =
        nlohmann::json::parse(FleetSummaryJson(RunKind::kVerify, "a.dat", receivers, result).dump());
    for (size_t i = 0; i < 2; ++i) {
        FleetOutcome back;
        ASSERT_TRUE(OutcomeFromJson(json["ports"][i], back)) << json["ports"][i].dump();
        EXPECT_EQ(back.comm, result.outcomes[i].comm);
        EXPECT_EQ(back.summary.portResult, result.outcomes[i].summary.portResult);
        EXPECT_EQ(back.summary.groupStatus, result.outcomes[i].summary.groupStatus);
        EXPECT_EQ(back.reason, result.outcomes[i].reason);
    }
    FleetOutcome back;
    ASSERT_TRUE(OutcomeFromJson(json["ports"][0], back));
    ASSERT_EQ(back.summary.differences[6].size(), 1u);
    EXPECT_EQ(back.summary.differences[6][0].readBack, "European");
    // What a run that went wrong might print is refused, not trusted.
    for (const char* bad : {R"({"comm": 1})", R"({"comm": 1, "portResult": 9})",
                            R"({"comm": 1, "portResult": 4, "groups": [{"group": 14, "statusCode": 4}]})",
                            R"({"comm": 1, "portResult": 4, "groups": [7]})"})
        EXPECT_FALSE(OutcomeFromJson(nlohmann::json::parse(bad), back)) << bad;
}

// Two writers appending long lines to one file at once: every line arrives whole. One write to a
// file is never split by another, so each writer writes in pieces and pauses between them: without
// the lock the other writer's lines would land between the pieces.
TEST(FleetAudit, WritersSideBySideNeverInterleaveLines) {
    TempFolder folder;
    const std::string path = folder.File("audit.jsonl");
    const std::vector<FleetReceiver> receivers = {Receiver(0, "a.dat"), Receiver(1, "a.dat")};
    FleetFiles files;
    files["a.dat"] = SettingsFileBytes{};
    FleetResult result;
    result.outcomes.resize(2);
    for (FleetOutcome& outcome : result.outcomes) {
        outcome.reported = true;
        outcome.summary.portResult = kResultGroupDiffers;
        outcome.summary.groupStatus.fill(kGroupDiffers);
        for (auto& changes : outcome.summary.differences)
            changes.assign(40,
                           FieldChange{1, "Field", std::string(60, 'x'), std::string(60, 'y'), "00", "01"});
    }
    auto writer = [&] {
        AuditFile audit;
        std::string error;
        ASSERT_TRUE(audit.Open(path, error)) << error;
        audit.SplitWritesForTest(32768, [] { std::this_thread::sleep_for(std::chrono::microseconds(500)); });
        for (int i = 0; i < 25; ++i)
            ASSERT_TRUE(audit.Append(RunKind::kVerify, {}, receivers, files, result, error)) << error;
    };
    std::thread first(writer);
    std::thread second(writer);
    first.join();
    second.join();
    std::ifstream file(path);
    int lines = 0;
    for (std::string line; std::getline(file, line); ++lines) {
        ASSERT_GT(line.size(), 8192u);
        ASSERT_FALSE(nlohmann::json::parse(line, nullptr, false).is_discarded()) << "line " << lines;
    }
    EXPECT_EQ(lines, 100);

    // A FIFO nobody reads is refused at once, not waited on; a folder is refused too.
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    AuditFile refused;
    std::string error;
    EXPECT_FALSE(refused.Open(fifo, error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(refused.Open(folder.Path(), error));
}
