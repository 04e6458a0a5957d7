// Every byte on record: a load and a configure traced by vandel-cli against an emulated receiver
// that logs the same format from its side, and a receiver reproduced from a trace.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "cli/CliEmulator.h"
#include "cli/CliFixtures.h"
#include "cli/CliRunner.h"
#include "emulator/Emulator.h"
#include "serial/TraceRead.h"

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
    }
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
