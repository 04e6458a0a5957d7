// Load from receiver, end to end: the real operation through the real driver, against emulated
// receivers on RFC 2217 loopback ports, with a recording Operator.
#include <gtest/gtest.h>

#include <cstring>

#include "operations/LoadFromReceiver.h"
#include "support/RecordingOperator.h"
#include "tests/operations/EmulatorSupport.h"

namespace {

using Kind = RecordingOperator::Kind;

class LoadFromReceiverTest : public EndToEndTest {};

std::array<uint8_t, kSettingsImageSize> ImageOf(const ReceiverSettings& settings) {
    const auto saved = SettingsImage;
    ImageFromReceiver(settings);
    const auto image = SettingsImage;
    SettingsImage = saved;
    return image;
}

TEST_F(LoadFromReceiverTest, ReceiverAt9600FillsTheWholeImage) {
    ASSERT_EQ(Start({}, {4}), 0);
    RecordingOperator op;  // no box expected
    EXPECT_EQ(LoadFromReceiver(3, op), 1);
    EXPECT_TRUE(op.Log().empty());
    EXPECT_EQ(SettingsImage, ImageOf(Emu().Status(0).current));

    // Break, Link Check, one probe, the Port B set command, one Link Check pass, one request pass
    // that gets everything, and the pass that finds nothing left to request.
    EXPECT_EQ(OperationWaits(), (std::vector<int>{500, 500, 500, 500, 500, 500, 500, 500}));
    const auto packets = Received(0);
    ASSERT_GE(packets.size(), 2u);
    EXPECT_EQ(packets[0], "1F");
    EXPECT_EQ(packets[1],
              "BC 01 07 07 03 00 00 00 02 02 00");  // the probe record, receiver port byte from f2
    EXPECT_EQ(CountPackets(packets, "2A"), 1);
    EXPECT_EQ(CountPackets(packets, "8E A9"), 1);
    EXPECT_EQ(Emu().Status(0).breaks, 1u);
    // What the progress window said, pass by pass; it is gone at the end.
    EXPECT_EQ(op.ProgressTexts(), (std::vector<std::string>{
                                      "Comm 4: Line break",
                                      "Comm 4: Waiting for the reply to the line break, pass 1 of 4",
                                      "Comm 4: Link Check, pass 1 of 8",
                                      "Comm 4: Requesting settings, pass 1 of 8: 13 groups still missing",
                                      "Comm 4: Requesting settings, pass 2 of 8: 0 groups still missing",
                                      "",
                                  }));

    // The port is closed and the context back at rest.
    EXPECT_EQ(SerialReceiveCount(4), -1);
    EXPECT_EQ(PortContexts[3].operationMode, kModeIdle);
    EXPECT_EQ(PortContexts[3].linkState, kLinkIdle);
    for (uint8_t status : PortContexts[3].groupStatus) EXPECT_EQ(status, kGroupNothingPending);
}

TEST_F(LoadFromReceiverTest, Comm20UsesTheLastPortContextAndPort20) {
    ASSERT_EQ(Start({}, {20}), 0);
    RecordingOperator op;
    EXPECT_EQ(LoadFromReceiver(19, op), 1);
    EXPECT_TRUE(op.Log().empty());
    EXPECT_EQ(SettingsImage, ImageOf(Emu().Status(0).current));
    EXPECT_EQ(PortContexts[19].commPortNumber, 20);
}

// Nothing comes back, not even a Break Reply: four probes, the PC Serial Settings, no Link Check
// pass, thirteen requests in each of eight passes, then Error 30.
TEST_F(LoadFromReceiverTest, SilentReceiverEndsInError30AfterEightRequestPasses) {
    EmulatorOptions options;
    options.silent = true;
    ASSERT_EQ(Start(options, {2}), 0);
    SettingsImage.fill(0xEE);
    const auto before = SettingsImage;
    // 9600 8 none 1, so that the silent receiver hears the requests and the log shows them.
    PcSerialSettings[4] = 0;
    RecordingOperator op;
    op.ExpectWarning("Error 30",
                     "The settings could not be retrieved from the receiver \nconnected to Comm  2.");
    EXPECT_EQ(LoadFromReceiver(1, op), 1);
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_EQ(SettingsImage, before);
    std::vector<int> waits = {500, 500, 500, 500, 500, 500};  // break, Link Check, four probes
    waits.insert(waits.end(), 8, 500);                        // eight request passes
    EXPECT_EQ(OperationWaits(), waits);
    const auto packets = Received(0);
    EXPECT_EQ(CountPackets(packets, "1F"), 1);  // the one before the probes, no pass
    EXPECT_EQ(CountPackets(packets, "BC 01 07"), 0);
    EXPECT_EQ(CountPackets(packets, "2A"), 8);
    EXPECT_EQ(CountPackets(packets, "8E A9"), 8);
    EXPECT_EQ(packets.size(), 1u + 13u * 8u);
    EXPECT_EQ(SerialReceiveCount(2), -1);
}

TEST_F(LoadFromReceiverTest, NoBreakReplyMeansThePcSerialSettings) {
    EmulatorOptions options;
    options.noBreakReply = true;
    ASSERT_EQ(Start(options, {5}), 0);
    RecordingOperator op;
    // 9600 8 odd 1 against a receiver at 9600 8 none 1: nothing gets through.
    op.ExpectWarning("Error 30",
                     "The settings could not be retrieved from the receiver \nconnected to Comm  5.");
    int snapshotParity = -1;
    EXPECT_EQ(LoadFromReceiver(4, op), 1);
    EXPECT_TRUE(op.ScriptDone());
    snapshotParity = Emu().Status(0).pcSide.parity;
    EXPECT_EQ(snapshotParity, 1);  // the PC side was switched to odd parity
}

// Only some groups answer: those are loaded, the others keep their values, Error 30 names the port.
TEST_F(LoadFromReceiverTest, ReceiverAnsweringSomeRequestsLoadsThoseAndShowsError30) {
    EmulatorOptions options;
    options.faults.ignore[kGroupNMEAOutput] = true;
    options.faults.ignore[kGroupPPSWidth] = true;
    ASSERT_EQ(Start(options, {7}), 0);
    SettingsImage.fill(0xEE);
    RecordingOperator op;
    op.ExpectWarning("Error 30",
                     "The settings could not be retrieved from the receiver \nconnected to Comm  7.");
    EXPECT_EQ(LoadFromReceiver(6, op), 1);
    EXPECT_TRUE(op.ScriptDone());
    const auto expected = ImageOf(Emu().Status(0).current);
    for (int g = 1; g <= kGroupCount; ++g) {
        const auto& info = SettingsGroup(g);
        const bool ignored = g == kGroupNMEAOutput || g == kGroupPPSWidth;
        for (int b = 0; b < info.length; ++b) {
            const size_t at = static_cast<size_t>(info.offset + b);
            EXPECT_EQ(SettingsImage[at], ignored ? 0xEE : expected[at]) << "group " << g << " byte " << b;
        }
    }
    const auto packets = Received(0);
    EXPECT_EQ(CountPackets(packets, "7A 00"), 8);  // re-requested in every pass
    EXPECT_EQ(CountPackets(packets, "8E 4F"), 8);
    EXPECT_EQ(CountPackets(packets, "8E A9"), 1);  // arrived in the first pass
}

// The Break Reply arrives, then the line goes dead: no answer to the Link Check passes.
TEST_F(LoadFromReceiverTest, NoAnswerToTheLinkCheckIsError20) {
    EmulatorOptions options;
    options.hangupAfterBytes = static_cast<int64_t>(BreakReplyText(options.portB).size());
    ASSERT_EQ(Start(options, {3}), 0);
    SettingsImage.fill(0x5A);
    const auto before = SettingsImage;
    RecordingOperator op;
    op.ExpectWarning("Error 20",
                     "Communications could not be established with the receiver \nconnected to Comm  3.");
    EXPECT_EQ(LoadFromReceiver(2, op), 1);
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_EQ(SettingsImage, before);
    // Break, Link Check, one probe, the set command's two waits, eight Link Check passes.
    std::vector<int> waits = {500, 500, 500, 500, 500};
    waits.insert(waits.end(), 8, 500);
    EXPECT_EQ(OperationWaits(), waits);
    EXPECT_EQ(PortContexts[2].linkState, kLinkIdle);
    EXPECT_EQ(SerialReceiveCount(3), -1);
}

TEST_F(LoadFromReceiverTest, PortThatCannotOpenIsError10AndNothingElse) {
    RecordingOperator op;
    op.ExpectWarning("Error 10", "Could not initialize Comm port 12.");
    EXPECT_EQ(LoadFromReceiver(11, op), 0);
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_TRUE(OperationWaits().empty());
}

}  // namespace
