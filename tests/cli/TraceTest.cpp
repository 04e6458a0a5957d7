// Every byte on record: a load and a configure traced by vandel-cli against an emulated receiver
// that logs the same format from its side, and a receiver reproduced from a trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "emulator/Emulator.h"
#include "serial/TraceRead.h"
#include "support/Pty.h"

using ::testing::HasSubstr;

namespace {

std::unique_ptr<Emulator> StartEmulator(const std::string& log,
                                        const std::vector<ReceiverSettings>& start = {}) {
    EmulatorOptions options;
    options.logFile = log;
    options.startSettings = start;
    return StartEmulatorWith(options);
}

// All the bytes of one kind of event on port 1 of a trace, in order.
std::vector<uint8_t> BytesOf(const std::string& path, const std::string& event) {
    ParsedTrace trace;
    std::string error;
    EXPECT_TRUE(ReadTrace(path, trace, error)) << error;
    EXPECT_EQ(trace.badLines, 0) << path;
    std::vector<uint8_t> bytes;
    for (const TraceEvent& e : trace.events) {
        if (e.port != 1 || e.event != event) continue;
        const std::vector<uint8_t> more = HexToBytes(e.fields);
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
    return bytes;
}

// The PC's trace and the receiver's log tell the same bytes: what one sent, the other received.
void ExpectSameBytes(const std::string& pcTrace, const std::string& receiverLog) {
    const std::vector<uint8_t> sent = BytesOf(pcTrace, "tx");
    const std::vector<uint8_t> received = BytesOf(pcTrace, "rx");
    ASSERT_FALSE(sent.empty());
    ASSERT_FALSE(received.empty());
    EXPECT_EQ(sent, BytesOf(receiverLog, "rx"));
    // The receiver may still have been answering when the PC closed the port.
    const std::vector<uint8_t> answered = BytesOf(receiverLog, "tx");
    ASSERT_GE(answered.size(), received.size());
    EXPECT_EQ(received, std::vector<uint8_t>(answered.begin(), answered.begin() + received.size()));
}

}  // namespace

TEST(CliTrace, ALoadAndAConfigureAreOnRecordOnBothSides) {
    TempFolder folder;
    const std::string settings = folder.File("factory.dat");
    ASSERT_TRUE(WriteBytes(settings, FactorySettingsFile()));
    for (const char* command : {"load", "configure"}) {
        const std::string trace = folder.File(std::string(command) + ".trace");
        const std::string log = folder.File(std::string(command) + ".log");
        auto emulator = StartEmulator(log);
        ASSERT_NE(emulator, nullptr);
        const std::string device = emulator->DeviceName(0);
        const CliResult result =
            std::string(command) == "load"
                ? RunCli({"load", device, "-o", folder.File("loaded.dat"), "--trace", trace})
                : RunCli({"configure", settings, device, "--trace", trace});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        emulator->Stop();  // the log is complete once the receiver is gone
        ExpectSameBytes(trace, log);

        const CliResult told = RunCli({"trace", trace});
        EXPECT_EQ(told.exitStatus, 0) << told.err;
        EXPECT_THAT(told.out, HasSubstr("# trace of vandel-cli "));
        EXPECT_THAT(told.out, HasSubstr("open device=" + device + " line=9600,8,"));
        EXPECT_THAT(told.out, HasSubstr("PC -> receiver  8E-15  Datum"));
        EXPECT_THAT(told.out, HasSubstr("receiver -> PC  8F-15  Datum"));
        // The text the receiver sends after the line break that begins a load is no packet.
        if (std::string(command) == "load") {
            EXPECT_THAT(told.out, HasSubstr("s  received, no packet took "));
            EXPECT_THAT(told.out, HasSubstr(" bytes:\n                  50 52 50 54 "));
        }
    }
}

// Received bytes no packet took are told where they arrived, in hex and as text: noise before a
// packet, what a purge dropped, a packet cut short by the end. A hand-made trace gives each case
// exactly; a load at 9600 from a receiver at 19200 that talks unasked gives noise from a real line.
TEST(CliTrace, BytesNoPacketTookAreToldWhereTheyArrived) {
    TempFolder folder;
    const std::string made = folder.File("made.trace");
    {
        std::ofstream file(made);
        file
            << "# trace of vandel-cli 1.20\n1 comm1 rx 4B 49 0D 0A\n2 comm1 purge rx\n3 comm1 rx F3 00 10 45 "
               "01 10 03\n3 comm1 packet-rx id=45 group=0 length=2 data=45 01\n4 comm1 rx 10 8F 15\n";
    }
    EmulatorOptions options;
    options.usePty = true;
    options.portB = {19200, 8, 0, 1};
    options.autoOutput = true;
    options.autoOutputPeriodMs = 100;
    auto talking = StartEmulatorWith(options);
    ASSERT_NE(talking, nullptr);
    const std::string noisy = folder.File("noisy.trace");
    const CliResult load =
        RunCli({"load", talking->DeviceName(0), "-o", folder.File("x.dat"), "--trace", noisy});
    EXPECT_EQ(load.exitStatus, 1) << load.err;

    struct Case {
        std::string trace;
        std::vector<std::string> told;  // in this order
    } cases[] = {
        {made,
         {"0.001 s  received, no packet took 4 bytes:\n                  4B 49 0D 0A" + std::string(38, ' ') +
              "KI..\n",
          "0.002 s  purge rx\n", "0.003 s  received, no packet took 2 bytes:\n                  F3 00 ",
          "0.003 s  receiver -> PC  45  (2 bytes)\n", "0.004 s  received, no packet took 3 bytes:\n"}},
        {noisy, {"open device=" + talking->DeviceName(0), "received, no packet took "}},
    };
    for (const Case& c : cases) {
        const CliResult told = RunCli({"trace", c.trace});
        EXPECT_EQ(told.exitStatus, 0) << told.err;
        size_t at = 0;
        for (const std::string& part : c.told) {
            const size_t found = told.out.find(part, at);
            EXPECT_NE(found, std::string::npos) << c.trace << ": " << part << " after " << at << " in\n"
                                                << told.out;
            if (found != std::string::npos) at = found + part.size();
        }
    }
    const CliResult json = RunCli({"trace", "--json", made});
    EXPECT_THAT(json.out, HasSubstr(R"("event": "unframed",
          "length": 2,
          "data": "F3 00",
          "text": "..")"));
}

// A receiver seen in the field, reproduced from the trace of a load: loading it again gives the
// same 169 bytes.
TEST(CliTrace, AReceiverReproducedFromATraceLoadsTheSameSettings) {
    TempFolder folder;
    // Changed settings on the factory Port B line (9600), so that the first load finds the receiver.
    std::vector<uint8_t> bytes = ChangedSettingsFile();
    bytes[kPortBBaudAt] = FactorySettingsFile()[kPortBBaudAt];
    bytes[kPortBOutputBaudAt] = FactorySettingsFile()[kPortBOutputBaudAt];
    const std::string changed = folder.File("changed.dat");
    ASSERT_TRUE(WriteBytes(changed, bytes));
    std::vector<ReceiverSettings> start(1);
    std::string error;
    ASSERT_TRUE(ReceiverSettingsFromFile(changed, start[0], error)) << error;
    auto field = StartEmulator("", start);
    ASSERT_NE(field, nullptr);
    const std::string trace = folder.File("site.trace");
    const CliResult first =
        RunCli({"load", field->DeviceName(0), "-o", folder.File("site.dat"), "--trace", trace});
    ASSERT_EQ(first.exitStatus, 0) << first.err;
    field->Stop();

    std::vector<ReceiverSettings> fromTrace;
    ASSERT_TRUE(ReceiverSettingsFromTrace(trace, fromTrace, error)) << error;
    ASSERT_EQ(fromTrace.size(), 1u);
    auto lab = StartEmulator("", fromTrace);
    ASSERT_NE(lab, nullptr);
    const CliResult second = RunCli({"load", lab->DeviceName(0), "-o", folder.File("lab.dat")});
    ASSERT_EQ(second.exitStatus, 0) << second.err;
    EXPECT_EQ(ReadBytes(folder.File("lab.dat")), ReadBytes(folder.File("site.dat")));
    EXPECT_EQ(ReadBytes(folder.File("site.dat")).size(), 169u);
}

// Only a regular file is read as a trace: a folder, an endless device and a FIFO with no writer are
// refused at once (exit 2), not read as an empty conversation or waited on.
TEST(CliTrace, WhatIsNoRegularFileIsRefused) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    CliRunOptions quick;
    quick.timeout = std::chrono::seconds(20);
    for (const std::string& path : {folder.Path(), std::string("/dev/zero"), fifo}) {
        const CliResult result = RunCli({"trace", path}, quick);
        EXPECT_EQ(result.exitStatus, 2) << path;
        EXPECT_THAT(result.err, HasSubstr(path + ": not a regular file")) << path;
        EXPECT_EQ(result.out, "") << path;
    }
}

// A line too long to be an event (here 32 MB of zero bytes in a sparse file) is skipped as one
// line, and what follows it is read; ports that interleave are told apart, each in file order.
TEST(CliTrace, AnEndlessLineIsSkippedAndPortsInterleave) {
    TempFolder folder;
    const std::string path = folder.File("odd.trace");
    {
        std::ofstream file(path);
        file << "# trace of vandel-cli 1.20\n2 comm2 note first of two\n1 comm1 note first of one\n";
    }
    ASSERT_EQ(::truncate(path.c_str(), 32 * 1024 * 1024), 0);
    {
        std::ofstream file(path, std::ios::app);
        file << "\n3 comm2 note second of two\n4 comm1 note second of one\n";
    }
    const CliResult result = RunCli({"trace", path});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("\nComm 1\n       0.001 s  note first of one\n       0.004 s  "
                                      "note second of one\n\nComm 2\n       0.002 s  note first of two\n"
                                      "       0.003 s  note second of two\n"));
    EXPECT_THAT(result.out, HasSubstr("(1 lines that are no events were skipped)"));
}

// A trace goes only to a regular file: a folder, /dev/null and a FIFO nobody reads are refused
// before anything is opened (exit 2, nothing written), not waited on. In a fleet (more than twenty
// receivers) no run is started, so no FILE.1 appears beside the refused FILE.
TEST(CliTrace, ATraceThatIsNoRegularFileIsRefusedBeforeAnythingIsOpened) {
    TempFolder folder;
    const std::string fifo = folder.File("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    const std::string settings = folder.File("factory.dat");
    ASSERT_TRUE(WriteBytes(settings, FactorySettingsFile()));
    std::vector<std::unique_ptr<PtyPair>> lines;
    std::vector<std::string> args = {"configure", settings};
    for (int i = 0; i < 21; ++i) {
        lines.push_back(std::make_unique<PtyPair>());
        ASSERT_TRUE(lines.back()->IsOpen());
        args.push_back(lines.back()->SlavePath());
    }
    CliRunOptions quick;
    quick.timeout = std::chrono::seconds(20);
    for (const std::string& target : {folder.Path(), std::string("/dev/null"), fifo}) {
        const std::string loaded = folder.File("loaded.dat");
        CliResult result = RunCli({"load", lines[0]->SlavePath(), "-o", loaded, "--trace", target}, quick);
        EXPECT_EQ(result.exitStatus, 2) << target << result.err;
        EXPECT_THAT(result.err, HasSubstr("cannot write the trace: " + target + ": not a regular file"));
        EXPECT_FALSE(FileExists(loaded)) << target;
        EXPECT_TRUE(lines[0]->ReadAvailable().empty()) << target << ": the line was written to";

        std::vector<std::string> fleet = args;
        fleet.insert(fleet.end(), {"--yes", "--trace", target});
        result = RunCli(fleet, quick);
        EXPECT_EQ(result.exitStatus, 2) << target << result.err;
        EXPECT_THAT(result.err, HasSubstr(target + ": not a regular file"));
        EXPECT_FALSE(FileExists(target + ".1")) << target;
        for (const auto& line : lines) EXPECT_TRUE(line->ReadAvailable().empty()) << target;
        for (const char* run : {".1", ".2"}) {  // what a failing program left beside /dev/null
            struct stat info {};
            if (::lstat((target + run).c_str(), &info) == 0 && S_ISREG(info.st_mode))
                ::unlink((target + run).c_str());
        }
    }
}
