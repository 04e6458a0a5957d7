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
#include "cli/Manifest.h"
#include "cli/RunProtocol.h"
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

// A port's outcome goes from a run to its parent as an event and reads back as it was; what a run
// that went wrong might send is refused, not trusted.
TEST(FleetRuns, APortEventReadsBackAsItWasWritten) {
    FleetOutcome differs;
    differs.reported = true;
    differs.comm = 1;
    differs.summary.portResult = kResultGroupDiffers;
    differs.summary.groupStatus.fill(kGroupMatches);
    differs.summary.groupStatus[6] = kGroupDiffers;
    differs.summary.differences[6] = {{7, "Datum", "WGS-84", "European", "00 15", "00 04"}};
    differs.started = std::chrono::system_clock::time_point(std::chrono::milliseconds(1765000000123));
    differs.seconds = 12.5;
    FleetOutcome failed;
    failed.reported = true;
    failed.comm = 2;
    failed.summary.portResult = kResultOpenFailed;
    failed.reason = {{"code", "busy"}, {"detail", "held by PID 7"}, {"text", "busy: held by PID 7"}};
    FleetOutcome stopped;
    stopped.interrupted = true;
    stopped.comm = 3;
    stopped.step = RunStep::kWriting;

    for (const FleetOutcome& outcome : {differs, failed, stopped}) {
        const std::string line = PortEventLine(outcome);
        ASSERT_EQ(line.back(), '\n');
        FleetOutcome back;
        ASSERT_TRUE(OutcomeFromPortEvent(nlohmann::json::parse(line), back)) << line;
        EXPECT_EQ(back.comm, outcome.comm);
        EXPECT_EQ(back.reported, outcome.reported);
        EXPECT_EQ(back.interrupted, outcome.interrupted);
        EXPECT_EQ(back.step, outcome.step);
        EXPECT_EQ(back.summary.portResult, outcome.summary.portResult);
        EXPECT_EQ(back.summary.groupStatus, outcome.summary.groupStatus);
        EXPECT_EQ(back.summary.differences[6].size(), outcome.summary.differences[6].size());
        EXPECT_EQ(back.reason, outcome.reason);
        EXPECT_EQ(back.started, outcome.started);
        EXPECT_EQ(back.seconds, outcome.seconds);
    }
    FleetOutcome back;
    ASSERT_TRUE(OutcomeFromPortEvent(nlohmann::json::parse(PortEventLine(differs)), back));
    EXPECT_EQ(back.summary.differences[6][0].readBack, "European");

    nlohmann::json good = nlohmann::json::parse(PortEventLine(differs));
    const std::vector<std::pair<const char*, nlohmann::json>> bad = {
        {"comm", "1"},
        {"portResult", 9},
        {"groups", nlohmann::json::array({4, 4})},
        {"step", "sideways"},
        {"interrupted", true},  // reported and interrupted at once
        {"seconds", -1},
        {"differences", nlohmann::json::array({nlohmann::json::array({14, "a", "b", "c", "d", "e"})})},
    };
    for (const auto& [key, value] : bad) {
        nlohmann::json event = good;
        event[key] = value;
        EXPECT_FALSE(OutcomeFromPortEvent(event, back)) << event.dump();
    }
}

namespace {

// More device numbers than a run has ports.
nlohmann::json TooMany() {
    nlohmann::json devices = nlohmann::json::array();
    for (int i = 0; i <= kPortContextCount; ++i) devices.push_back(i + 1);
    return devices;
}

}  // namespace

// The run's request carries the settings bytes and names byte for byte, whatever the bytes, and
// the parent's look for its devices.
TEST(FleetRuns, ARunRequestCarriesNamesAndBytesIntact) {
    RunRequest request;
    request.kind = RunKind::kVerify;
    request.yes = true;
    request.pcLine.baudRate = 4800;
    for (size_t i = 0; i < request.settings.bytes.size(); ++i)
        request.settings.bytes[i] = static_cast<uint8_t>(i * 7);
    request.devices = {"/dev/pts/3", std::string("/tmp/l\xff\xfe\n\x1b[2J", 14), std::string("a\0b", 3)};
    request.trace = "/tmp/t\xe9.log";
    request.parent = 4242;
    request.look = {123456789012, {0x8800000003ull, 0xffffffffffffffffull}};
    RunRequest back;
    std::string error;
    ASSERT_TRUE(ParseRunRequest(RunRequestLine(request), back, error)) << error;
    EXPECT_EQ(back.kind, RunKind::kVerify);
    EXPECT_TRUE(back.yes);
    EXPECT_EQ(back.pcLine, request.pcLine);
    EXPECT_EQ(back.settings.bytes, request.settings.bytes);
    EXPECT_EQ(back.devices, request.devices);
    EXPECT_EQ(back.trace, request.trace);
    EXPECT_EQ(back.parent, 4242);
    EXPECT_EQ(back.look.takenAt, request.look.takenAt);
    EXPECT_EQ(back.look.unheld, request.look.unheld);

    nlohmann::json json = nlohmann::json::parse(RunRequestLine(request));
    for (const auto& [key, value] : std::vector<std::pair<const char*, nlohmann::json>>{
             {"protocol", 2},
             {"settings", "00"},
             {"devices", nlohmann::json::array({"zz"})},
             {"operation", "erase"},
             {"look", nlohmann::json::array()},
             {"look", {{"takenAt", 0}, {"unheld", {1}}}},
             {"look", {{"takenAt", 5}, {"unheld", {-1}}}},
             {"look", {{"takenAt", 5}, {"unheld", "1"}}},
             {"look", {{"takenAt", 5}, {"unheld", TooMany()}}}}) {
        nlohmann::json changed = json;
        changed[key] = value;
        EXPECT_FALSE(ParseRunRequest(changed.dump(), back, error)) << key;
    }
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
        size_t written = 0;
        ASSERT_TRUE(audit.Open(path, error)) << error;
        audit.SplitWritesForTest(32768, [] { std::this_thread::sleep_for(std::chrono::microseconds(500)); });
        for (int i = 0; i < 25; ++i)
            ASSERT_TRUE(audit.Append(RunKind::kVerify, receivers, files, result, written, error)) << error;
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

// A manifest reached through a link names its settings files from its own folder; "DEVICE
// 9600,8,N,1" is PC settings with the command line's file; a NUL or an escape refuses its line.
TEST(FleetManifest, LinesAreReadAsMeantAndControlCharactersRefused) {
    TempFolder folder;
    ASSERT_EQ(::mkdir(folder.File("racks").c_str(), 0755), 0);
    const std::string text = std::string("/dev/ttyUSB0 rack.dat\n/dev/ttyUSB1 9600,8,N,1\n/dev/ttyUSB2") +
                             '\0' + " rack.dat\n/dev/ttyUSB3 rack.dat \x1b[31m\n";
    const std::string real = folder.File("racks/fleet.txt");
    ASSERT_TRUE(WriteBytes(real, std::vector<uint8_t>(text.begin(), text.end())));
    const std::string link = folder.File("fleet-link.txt");
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);

    std::vector<FleetReceiver> receivers;
    std::vector<FleetProblem> problems;
    PortLine oddParity;
    oddParity.parity = 1;
    EXPECT_FALSE(ReadManifest(link, "default.dat", oddParity, receivers, problems));
    ASSERT_EQ(receivers.size(), 2u);
    EXPECT_EQ(receivers[0].settingsFile, folder.File("racks/rack.dat"));
    EXPECT_EQ(receivers[1].settingsFile, "default.dat");
    EXPECT_EQ(PortLineText(receivers[1].pcLine), "9600,8,N,1");
    EXPECT_EQ(receivers[1].line, 2u);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].line, 3u);
    EXPECT_EQ(problems[0].text, link + ":3: a control character (0x00) in the line");
    EXPECT_EQ(problems[1].text, link + ":4: a control character (0x1B) in the line");
}
