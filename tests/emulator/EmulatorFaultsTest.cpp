// The emulated receiver's faults, seen through the real program path: silence, no break reply,
// ignored and differing groups, lost saves, resets, latency, hang-ups, unsolicited output, the log.
#include "tests/emulator/EmulatorDriverFixture.h"

namespace {

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
    // The trace format of the programs, from the receiver's side: its notes and the raw bytes.
    EXPECT_EQ(text.rfind("# trace of kirp-emulator ", 0), 0u) << text;
    EXPECT_NE(text.find(" comm1 note rx 1F"), std::string::npos) << text;
    EXPECT_NE(text.find(" comm1 note tx 45 03 02"), std::string::npos) << text;
    EXPECT_NE(text.find(" comm1 note rx 8E 4E"), std::string::npos) << text;
    EXPECT_NE(text.find(" comm1 note tx 8F 4E 03"), std::string::npos) << text;
    EXPECT_NE(text.find(" comm1 rx 10 1F 10 03"), std::string::npos) << text;
    EXPECT_NE(text.find(" comm1 tx 10 8F 4E 03 10 03"), std::string::npos) << text;
}

}  // namespace
