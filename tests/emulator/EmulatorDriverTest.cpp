// The emulated receiver through the real program path: Serial Port Driver on an rfc2217:// (or
// pty) device name, Packet Link, Settings Commands and the Report Handler, as the load and
// configure operations use them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "bytes/ByteOrder.h"
#include "emulator/Emulator.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "messages/SettingsCommands.h"
#include "serial/Serial.h"
#include "settings/SettingsImage.h"
#include "support/WaitUntil.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(15);

// Packets seen by RecordingHandler (id, payload length, first payload byte).
struct SeenPacket {
    uint32_t id;
    uint32_t length;
    uint8_t first;
};
std::vector<SeenPacket> seenPackets;
void RecordingHandler(PortContext& context) {
    seenPackets.push_back({context.packetId, context.completedLength, context.payloadBuffer[0]});
}

class EmulatorDriver : public ::testing::Test {
  protected:
    void TearDown() override {
        SerialCloseAll();
        emulator_.reset();
        SerialResetDeviceNames();
        PortContexts[0] = PortContext{};
        SettingsImage.fill(0);
        seenPackets.clear();
    }

    void Start(EmulatorOptions options = {}) {
        emulator_ = std::make_unique<Emulator>(options);
        std::string error;
        ASSERT_TRUE(emulator_->Start(error)) << error;
        ASSERT_TRUE(SerialSetDeviceName(1, emulator_->DeviceName(0)));
        ASSERT_EQ(OpenPortContext(Context(), 1), 1);
    }

    static PortContext& Context() { return PortContexts[0]; }
    ReceiverStatus Status() const { return emulator_->Status(0); }
    bool WaitStatus(const std::function<bool(const ReceiverStatus&)>& condition) const {
        return emulator_->WaitFor(0, condition, kDeadline);
    }

    // Pumps the port into the handler until the condition holds (false after the deadline).
    static bool PumpUntil(const std::function<bool()>& condition, ReportHandlerFn handler = ReportHandler) {
        return WaitUntil(
            [&] {
                PumpPort(Context(), handler);
                return condition();
            },
            kWaitGuard, std::chrono::milliseconds(20));
    }

    static bool LinkCheck() {
        Context().linkState = kLinkCheckSent;
        SendLinkCheck(0);
        return PumpUntil([] { return Context().linkState == kLinkAnswered; });
    }

    // Requests the groups with the port in the given Operation Mode and waits until none is
    // still requested (or the deadline passes).
    static bool RequestGroups(uint8_t mode, const std::vector<int>& groups) {
        Context().operationMode = mode;
        for (const int groupNo : groups) {
            Context().groupStatus[static_cast<size_t>(groupNo - 1)] = kGroupRequested;
            SendRequest(groupNo, 0);
        }
        return PumpUntil([&] {
            for (const int groupNo : groups) {
                if (Context().groupStatus[static_cast<size_t>(groupNo - 1)] == kGroupRequested) return false;
            }
            return true;
        });
    }

    static std::vector<int> AllGroups() {
        std::vector<int> groups;
        for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) groups.push_back(groupNo);
        return groups;
    }

    static Bytes ImageGroup(int groupNo) {
        const SettingsGroupInfo& info = SettingsGroup(groupNo);
        return Bytes(SettingsImage.begin() + info.offset, SettingsImage.begin() + info.offset + info.length);
    }

    // The group as the program would hold it after loading it from the receiver's settings.
    static Bytes ExpectedImageGroup(const ReceiverSettings& settings, int groupNo) {
        const uint8_t* g = settings.Group(groupNo);
        if (groupNo == kGroup2DAltitude) return Bytes{0x00, g[0], g[1], g[2], g[3]};
        return Bytes(g, g + SettingsGroup(groupNo).length);
    }

    static void SendSets(const std::vector<int>& groups) {
        for (const int groupNo : groups) SendSet(groupNo, SettingsGroupBytes(groupNo), 0);
    }

    // A Break Reply probe as the load operation makes it: purge, break, then read what came.
    static bool ProbeAfterBreak(uint8_t* reply) {
        SerialPurgeReceive(1);
        SerialSendBreak(1, 400);
        return WaitUntil([&] { return ProbeBreakReply(reply, 0) == 1; }, kWaitGuard,
                         std::chrono::milliseconds(50));
    }

    std::unique_ptr<Emulator> emulator_;
};

using EmulatorThroughDriver = EmulatorDriver;
using EmulatorLine = EmulatorDriver;
using EmulatorFaults = EmulatorDriver;

TEST_F(EmulatorThroughDriver, LinkCheckGetsReport45) {
    Start();
    EXPECT_TRUE(LinkCheck());
    EXPECT_EQ(Status().packetsReceived, 1u);
}

// An operation closes its port and the next one reopens it at once (load, then configure): the
// receiver must take the new connection, not refuse it as a second program.
TEST_F(EmulatorThroughDriver, PortClosedAndReopenedAtOnceAnswersAgain) {
    Start();
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(LinkCheck()) << "round " << round;
        ASSERT_EQ(SerialClose(1), 1);
        ASSERT_EQ(OpenPortContext(Context(), 1), 1) << "round " << round;
    }
    EXPECT_TRUE(LinkCheck());
}

TEST_F(EmulatorThroughDriver, EveryGroupIsRequestedAndReceived) {
    Start();
    ASSERT_TRUE(RequestGroups(kModeLoading, AllGroups()));
    const ReceiverSettings factory = Status().current;
    for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
        EXPECT_EQ(Context().groupStatus[static_cast<size_t>(groupNo - 1)], kGroupReceived) << groupNo;
        EXPECT_EQ(ImageGroup(groupNo), ExpectedImageGroup(factory, groupNo)) << groupNo;
    }
}

TEST_F(EmulatorThroughDriver, SetThenReadBackMatches) {
    Start();
    ASSERT_TRUE(RequestGroups(kModeLoading, AllGroups()));
    // New values in every group but Port B (which moves the line; see below).
    uint8_t* g = SettingsGroupBytes(kGroup2DAltitude);
    PutSingleBE(1000.0f, g + 1);
    SettingsGroupBytes(kGroupIOOptions)[0] = 0x05;
    SettingsGroupBytes(kGroupNMEAOutput)[1] = 10;
    SettingsGroupBytes(kGroupGPSConfiguration)[1] = 4;
    PutSingleBE(0.2f, SettingsGroupBytes(kGroupGPSConfiguration) + 5);
    SettingsGroupBytes(kGroupPortAConfiguration)[1] = SettingsGroupBytes(kGroupPortAConfiguration)[2] = 9;
    g = SettingsGroupBytes(kGroupDatum);  // a custom datum with a DLE among its bytes
    PutU16BE(0xFFFF, g + 1);
    PutDoubleBE(-10.0, g + 3);
    PutDoubleBE(16.0, g + 11);
    PutDoubleBE(0.0, g + 19);
    PutDoubleBE(6378388.0, g + 27);
    PutDoubleBE(0.006722670022, g + 35);
    PutDoubleBE(5.0e-8, SettingsGroupBytes(kGroupTimingOutputSettings) + 4);
    PutU32BE(0xC0000901, SettingsGroupBytes(kGroupPortBAutomaticOutput) + 1);
    SettingsGroupBytes(kGroupTimingOutputOptions)[1] = 4;
    PutDoubleBE(2.0e-4, SettingsGroupBytes(kGroupPPSWidth) + 1);
    SettingsGroupBytes(kGroupPacket8EA5Masks)[1] = 0x33;
    PutU32BE(86400, SettingsGroupBytes(kGroupSelfSurveyConfiguration) + 3);

    const std::vector<int> groups = {1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13};
    SendSets(groups);
    ASSERT_TRUE(RequestGroups(kModeConfiguring, AllGroups()));
    for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
        EXPECT_EQ(Context().groupStatus[static_cast<size_t>(groupNo - 1)], kGroupMatches) << groupNo;
    }
    const ReceiverStatus status = Status();
    EXPECT_EQ(status.current.Group(kGroupNMEAOutput)[1], 10);
    EXPECT_EQ(GetU16BE(status.current.Group(kGroupDatum) + 1), 0xFFFF);
    EXPECT_EQ(GetDoubleBE(status.current.Group(kGroupDatum) + 27), 6378388.0);
}

TEST_F(EmulatorThroughDriver, PortBSetMovesTheReceiverAndThePcFollows) {
    Start();
    ASSERT_TRUE(RequestGroups(kModeLoading, AllGroups()));
    uint8_t* portB = SettingsGroupBytes(kGroupPortBConfiguration);
    portB[1] = portB[2] = 8;  // 19200
    portB[4] = 1;             // odd
    SendSet(kGroupPortBConfiguration, portB, 0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.portB.baudRate == 19200; }));
    EXPECT_EQ(Status().portB, (PortLine{19200, 8, 1, 1}));
    EXPECT_FALSE(Status().lineMatches);
    ApplyPortSettings(portB, 0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.lineMatches; }));
    EXPECT_EQ(Status().pcSide, (PortLine{19200, 8, 1, 1}));
    ASSERT_TRUE(LinkCheck());
    ASSERT_TRUE(RequestGroups(kModeConfiguring, {kGroupPortBConfiguration}));
    EXPECT_EQ(Context().groupStatus[kGroupPortBConfiguration - 1], kGroupMatches);
}

TEST_F(EmulatorThroughDriver, SaveResetAndReadBackLosesUnsavedChanges) {
    Start();
    ASSERT_TRUE(RequestGroups(kModeLoading, AllGroups()));
    SettingsGroupBytes(kGroupTimingOutputOptions)[1] = 2;
    SendSet(kGroupTimingOutputOptions, SettingsGroupBytes(kGroupTimingOutputOptions), 0);
    SendSaveSettings(0);
    const Bytes factoryWidth = ImageGroup(kGroupPPSWidth);
    PutDoubleBE(5.0e-4, SettingsGroupBytes(kGroupPPSWidth) + 1);
    SendSet(kGroupPPSWidth, SettingsGroupBytes(kGroupPPSWidth), 0);
    ASSERT_TRUE(WaitStatus(
        [](const ReceiverStatus& s) { return GetDoubleBE(s.current.Group(kGroupPPSWidth) + 1) == 5.0e-4; }));
    SendCommand1E(0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.resetting; }));
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.resets == 1; }));
    SettingsImage.fill(0);
    ASSERT_TRUE(RequestGroups(kModeLoading, {kGroupTimingOutputOptions, kGroupPPSWidth}));
    EXPECT_EQ(ImageGroup(kGroupTimingOutputOptions), (Bytes{0x4E, 0x02}));
    EXPECT_EQ(ImageGroup(kGroupPPSWidth), factoryWidth);
}

TEST_F(EmulatorThroughDriver, BreakReplyIsParsedIntoTheCurrentPortBSettings) {
    Start();
    uint8_t reply[kBreakReplySize] = {};
    ASSERT_TRUE(ProbeAfterBreak(reply));
    uint8_t record[kPortConfigurationSize] = {};
    EXPECT_EQ(ParseBreakReply(reinterpret_cast<const char*>(reply), record), 0);
    EXPECT_EQ(Bytes(record, record + 6), (Bytes{1, 7, 7, 3, 0, 0}));
    EXPECT_EQ(Status().breaks, 1u);
}

TEST_F(EmulatorThroughDriver, BreakReplyFollowsAPortBChange) {
    Start();
    const uint8_t portB[kPortConfigurationSize] = {1, 6, 6, 2, 2, 1, 0, 2, 2, 0};  // 4800 7 even 2
    SendSet(kGroupPortBConfiguration, portB, 0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.portB.baudRate == 4800; }));
    ApplyPortSettings(portB, 0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.lineMatches; }));
    uint8_t reply[kBreakReplySize] = {};
    ASSERT_TRUE(ProbeAfterBreak(reply));
    uint8_t record[kPortConfigurationSize] = {};
    EXPECT_EQ(ParseBreakReply(reinterpret_cast<const char*>(reply), record), 0);
    EXPECT_EQ(Bytes(record, record + 6), (Bytes{1, 6, 6, 2, 2, 1}));
}

TEST_F(EmulatorLine, MismatchLetsNothingThroughAndAMatchRestoresTraffic) {
    Start();
    ASSERT_TRUE(LinkCheck());
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 19200, 0, 8, 1), 1);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return !s.lineMatches; }));

    // PC to receiver: the Link Check is lost on the line.
    Context().linkState = kLinkCheckSent;
    SendLinkCheck(0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.bytesLost >= 3; }));
    EXPECT_EQ(Status().packetsReceived, 1u);
    PumpPort(Context(), ReportHandler);
    EXPECT_EQ(Context().linkState, kLinkCheckSent);

    // Receiver to PC: the break reply arrives as garbage, with no "PR" in it.
    uint8_t reply[kBreakReplySize] = {};
    SerialPurgeReceive(1);
    SerialSendBreak(1, 400);
    ASSERT_TRUE(
        WaitStatus([](const ReceiverStatus& s) { return s.bytesGarbled > 0 && s.breakReplies == 1; }));
    const uint64_t garbled = Status().bytesGarbled;
    ASSERT_TRUE(PumpUntil([&] { return SerialReceiveCount(1) == 0; }, RecordingHandler));
    EXPECT_EQ(ProbeBreakReply(reply, 0), 0);
    EXPECT_TRUE(seenPackets.empty());
    EXPECT_GE(garbled, 30u);

    // Parity alone differs: still nothing.
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 9600, 1, 8, 1), 1);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.pcSide.parity == 1 && !s.lineMatches; }));
    const uint64_t lostBefore = Status().bytesLost;
    SendLinkCheck(0);
    ASSERT_TRUE(WaitStatus([&](const ReceiverStatus& s) { return s.bytesLost >= lostBefore + 3; }));

    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.lineMatches; }));
    EXPECT_TRUE(LinkCheck());
}

TEST_F(EmulatorLine, PtyLineWorksAndSeesBaudRate) {
    EmulatorOptions options;
    options.usePty = true;
    Start(options);
    EXPECT_TRUE(LinkCheck());
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 4800, 0, 8, 1), 1);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return !s.lineMatches; }));
    EXPECT_EQ(Status().pcSide.baudRate, 4800);
    Context().linkState = kLinkCheckSent;
    SendLinkCheck(0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.bytesLost >= 3; }));
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    EXPECT_TRUE(LinkCheck());
    // Closing and reopening the port causes no hang-up of the receiver's side.
    ASSERT_EQ(SerialClose(1), 1);
    ASSERT_EQ(OpenPortContext(Context(), 1), 1);
    EXPECT_TRUE(LinkCheck());
    EXPECT_FALSE(Status().hungUp);
}

TEST_F(EmulatorFaults, SilentAnswersNothing) {
    EmulatorOptions options;
    options.silent = true;
    Start(options);
    Context().linkState = kLinkCheckSent;
    SendLinkCheck(0);
    SendRequest(kGroupIOOptions, 0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.packetsReceived == 2; }));
    uint8_t reply[kBreakReplySize] = {};
    SerialSendBreak(1, 400);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.breaks == 1; }));
    PumpPort(Context(), RecordingHandler);
    EXPECT_EQ(Status().bytesSent, 0u);
    EXPECT_TRUE(seenPackets.empty());
    EXPECT_EQ(ProbeBreakReply(reply, 0), 0);
}

TEST_F(EmulatorFaults, NoBreakReplySendsNoTextButAnswersPackets) {
    EmulatorOptions options;
    options.noBreakReply = true;
    Start(options);
    SerialPurgeReceive(1);
    SerialSendBreak(1, 400);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.breaks == 1; }));
    EXPECT_EQ(Status().breakReplies, 0u);
    EXPECT_EQ(Status().bytesSent, 0u);
    EXPECT_TRUE(LinkCheck());
}

TEST_F(EmulatorFaults, IgnoredGroupNeverArrives) {
    EmulatorOptions options;
    options.faults.ignore[kGroupGPSConfiguration] = true;
    Start(options);
    Context().operationMode = kModeLoading;
    for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
        Context().groupStatus[static_cast<size_t>(groupNo - 1)] = kGroupRequested;
        SendRequest(groupNo, 0);
    }
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.packetsReceived == kGroupCount; }));
    ASSERT_TRUE(
        PumpUntil([] { return Context().groupStatus[kGroupSelfSurveyConfiguration - 1] == kGroupReceived; }));
    for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
        EXPECT_EQ(Context().groupStatus[static_cast<size_t>(groupNo - 1)],
                  groupNo == kGroupGPSConfiguration ? kGroupRequested : kGroupReceived)
            << groupNo;
    }
}

TEST_F(EmulatorFaults, DifferReportsAnotherValueThanTheOneSet) {
    EmulatorOptions options;
    options.faults.differ[kGroupNMEAOutput] = true;
    options.faults.differ[kGroupSelfSurveyConfiguration] = true;
    Start(options);
    ASSERT_TRUE(RequestGroups(kModeLoading, AllGroups()));
    SendSets({1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 12, 13});
    ASSERT_TRUE(RequestGroups(kModeConfiguring, AllGroups()));
    for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) {
        const bool differs = groupNo == kGroupNMEAOutput || groupNo == kGroupSelfSurveyConfiguration;
        EXPECT_EQ(Context().groupStatus[static_cast<size_t>(groupNo - 1)],
                  differs ? kGroupDiffers : kGroupMatches)
            << groupNo;
    }
}

TEST_F(EmulatorFaults, NoSaveLosesEverySetAtReset) {
    EmulatorOptions options;
    options.faults.noSave = true;
    options.resetSilenceMs = 300;
    Start(options);
    const uint8_t option[2] = {0x4E, 0x02};
    SendSet(kGroupTimingOutputOptions, option, 0);
    SendSaveSettings(0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.packetsReceived == 2; }));
    EXPECT_EQ(Status().current.Group(kGroupTimingOutputOptions)[1], 2);
    SendCommand1E(0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.resets == 1; }));
    ASSERT_TRUE(RequestGroups(kModeLoading, {kGroupTimingOutputOptions}));
    EXPECT_EQ(ImageGroup(kGroupTimingOutputOptions), (Bytes{0x4E, 0x03}));
}

TEST_F(EmulatorFaults, ResetKeepsTheReceiverSilentForAWhile) {
    EmulatorOptions options;
    options.resetSilenceMs = 1500;
    Start(options);
    SendCommand1E(0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.resetting; }));
    // A Link Check during the reset is lost.
    Context().linkState = kLinkCheckSent;
    SendLinkCheck(0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.bytesLost >= 3 || s.resets == 1; }));
    EXPECT_EQ(Status().resets, 0u);
    EXPECT_EQ(Status().packetsSent, 0u);
    PumpPort(Context(), ReportHandler);
    EXPECT_EQ(Context().linkState, kLinkCheckSent);
    // Once back, it answers again.
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.resets == 1 && !s.resetting; }));
    EXPECT_TRUE(LinkCheck());
}

TEST_F(EmulatorFaults, LatencyDelaysEachAnswer) {
    EmulatorOptions options;
    options.latencyMs = 400;
    Start(options);
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(LinkCheck());
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(400));
}

TEST_F(EmulatorFaults, HangupAfterBytesCutsTheLine) {
    EmulatorOptions options;
    options.hangupAfterBytes = 20;
    Start(options);
    SendRequest(kGroupGPSConfiguration, 0);  // a 49-byte frame
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.hungUp; }));
    EXPECT_EQ(Status().bytesSent, 20u);
    size_t received = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (received < 20 && Clock::now() < deadline) {
        uint8_t byte = 0;
        if (SerialGetByte(1, &byte) == 1) {
            ++received;
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    EXPECT_EQ(received, 20u);
    // The port stays open in the driver but nothing answers any more.
    Context().linkState = kLinkCheckSent;
    SendLinkCheck(0);
    PumpPort(Context(), ReportHandler);
    EXPECT_EQ(Context().linkState, kLinkCheckSent);
    EXPECT_EQ(Status().packetsReceived, 1u);
}

TEST_F(EmulatorFaults, AutoOutputIsIgnoredByTheReportHandler) {
    EmulatorOptions options;
    options.autoOutput = true;
    options.autoOutputPeriodMs = 200;
    Start(options);
    ASSERT_TRUE(PumpUntil(
        [] {
            bool long4A = false, ab = false, ac = false;
            for (const SeenPacket& p : seenPackets) {
                long4A = long4A || (p.id == 0x4A && p.length == 20);
                ab = ab || (p.id == 0x8F && p.first == 0xAB);
                ac = ac || (p.id == 0x8F && p.first == 0xAC);
            }
            return long4A && ab && ac;
        },
        RecordingHandler));
    Context().operationMode = kModeLoading;
    const uint64_t sentBefore = Status().packetsSent;
    ASSERT_TRUE(
        PumpUntil([&] { return Status().packetsSent >= sentBefore + 6 && SerialReceiveCount(1) == 0; }));
    for (const uint8_t status : Context().groupStatus) EXPECT_EQ(status, kGroupNothingPending);
    for (const uint8_t byte : SettingsImage) EXPECT_EQ(byte, 0);
}

TEST_F(EmulatorFaults, LogHasEveryPacketInHex) {
    char path[] = "/tmp/kirp-emulator-log-XXXXXX";
    const int fd = ::mkstemp(path);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EmulatorOptions options;
    options.logFile = path;
    Start(options);
    ASSERT_TRUE(LinkCheck());
    SendRequest(kGroupTimingOutputOptions, 0);
    ASSERT_TRUE(WaitStatus([](const ReceiverStatus& s) { return s.packetsSent == 2; }));
    emulator_->Stop();
    std::FILE* file = std::fopen(path, "r");
    ASSERT_NE(file, nullptr);
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, file) != nullptr) text += buffer;
    std::fclose(file);
    ::unlink(path);
    EXPECT_NE(text.find("[1] rx 1F"), std::string::npos) << text;
    EXPECT_NE(text.find("[1] tx 45 03 02"), std::string::npos) << text;
    EXPECT_NE(text.find("[1] rx 8E 4E"), std::string::npos) << text;
    EXPECT_NE(text.find("[1] tx 8F 4E 03"), std::string::npos) << text;
}

}  // namespace
