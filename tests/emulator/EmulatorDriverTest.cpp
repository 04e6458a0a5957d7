// The emulated receiver through the real program path: Serial Port Driver on an rfc2217:// (or
// pty) device name, Packet Link, Settings Commands and the Report Handler, as the load and
// configure operations use them.
#include "tests/emulator/EmulatorDriverFixture.h"

namespace {

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

}  // namespace
