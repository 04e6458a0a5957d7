// A megabyte of random bytes mixed with valid report frames through the pump and the Report
// Handler, in each Operation Mode: nothing may crash or leave the Port Context in a state that
// no rule produces.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "link/Framing.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "serial/Serial.h"
#include "serial/SerialTesting.h"
#include "settings/SettingsImage.h"
#include "support/Pty.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Frame(const Bytes& packet) {
    uint8_t frame[kFrameBufferSize];
    const int size = FrameEncode(packet.data(), static_cast<int>(packet.size()), frame, kFrameBufferSize);
    return Bytes(frame, frame + size);
}

// Random junk and frames of every report the handler knows (and some it does not), with random
// lengths, short and long ones included.
Bytes RandomStream(uint32_t seed, size_t size) {
    std::mt19937 random(seed);
    const uint8_t ids[] = {0x45, 0x4A, 0x55, 0x7B, 0xBB, 0xBC, 0x8F, 0x8F, 0x8F, 0x42, 0x10, 0x03};
    const uint8_t keys[] = {0x00, 0x01, 0x02, 0x15, 0x4A, 0x4D, 0x4E, 0x4F, 0xA5, 0xA9, 0x20};
    Bytes stream;
    stream.reserve(size + 600);
    while (stream.size() < size) {
        if (random() % 2 == 0) {
            for (int n = static_cast<int>(random() % 64); n > 0; --n)
                stream.push_back(static_cast<uint8_t>(random()));
        } else {
            Bytes packet{ids[random() % std::size(ids)], keys[random() % std::size(keys)]};
            const int length =
                random() % 8 == 0 ? static_cast<int>(random() % 520) : static_cast<int>(random() % 50);
            for (int i = 0; i < length; ++i) packet.push_back(static_cast<uint8_t>(random()));
            const Bytes frame = Frame(packet);  // empty when it would not fit
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
    }
    return stream;
}

uint32_t handlerCalls = 0;
void CountingHandler(PortContext& context) {
    ++handlerCalls;
    ReportHandler(context);
    // No rule leaves another value; a configuring port never keeps a 2 after the handler.
    for (uint8_t status : context.groupStatus) {
        ASSERT_LE(status, kGroupMatches);
        if (context.operationMode == kModeConfiguring) {
            ASSERT_NE(status, kGroupReceived);
        } else {
            ASSERT_LE(status, kGroupReceived);
        }
    }
    ASSERT_LE(context.linkState, kLinkAnswered);
}

class ReportStream : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(SerialSetDeviceName(kPort, line.SlavePath()));
        ASSERT_EQ(OpenPortContext(PortContexts[kPort - 1], kPort), 1);
    }
    void TearDown() override {
        SerialCloseAll();
        SerialResetDeviceNames();
    }
    // Stores the bytes in the port's Receive Ring as its I/O thread would, pumping whenever the
    // ring is nearly full.
    void Feed(const Bytes& bytes) {
        PortContext& context = PortContexts[kPort - 1];
        size_t inRing = 0;
        for (uint8_t b : bytes) {
            ASSERT_EQ(SerialStoreReceivedByte(kPort, b), 1);
            if (++inRing == kRawReceiveBufferSize - 1) {
                PumpPort(context, CountingHandler);
                inRing = 0;
            }
        }
        PumpPort(context, CountingHandler);
    }
    static constexpr uint8_t kPort = 6;
    PtyPair line;
};

TEST_P(ReportStream, MegabyteOfRandomBytesAndFrames) {
    PortContext& context = PortContexts[kPort - 1];
    context.operationMode = static_cast<uint8_t>(GetParam());
    context.groupStatus.fill(kGroupRequested);
    context.linkState = kLinkCheckSent;
    SettingsImage.fill(0x5A);
    const Bytes imageBefore(SettingsImage.begin(), SettingsImage.end());

    Feed(RandomStream(static_cast<uint32_t>(1000 + GetParam()), 1 << 20));
    EXPECT_GT(handlerCalls, 1000u);
    EXPECT_EQ(SerialReceiveCount(kPort), 0);
    for (const PortContext& other : PortContexts) {
        if (&other == &context) continue;
        for (uint8_t status : other.groupStatus) EXPECT_EQ(status, kGroupNothingPending);
    }
    if (GetParam() != kModeLoading) {
        EXPECT_EQ(Bytes(SettingsImage.begin(), SettingsImage.end()), imageBefore);  // only loading stores
    }

    // After the noise the decoder still finds a clean frame: a separator ends whatever was open.
    context.linkState = kLinkCheckSent;
    Bytes tail{0x00, 0x10, 0x03};
    const Bytes linkAnswer = Frame({0x45, 0x01});
    tail.insert(tail.end(), linkAnswer.begin(), linkAnswer.end());
    const Bytes nmea = Frame({0x7B, 0x00, 0x01, 0x00, 0x00, 0x01, 0x3F});
    tail.insert(tail.end(), nmea.begin(), nmea.end());
    SettingsGroupBytes(kGroupNMEAOutput)[1] = 0x77;
    Feed(tail);
    EXPECT_EQ(context.linkState, kLinkAnswered);
    const uint8_t expected[] = {kGroupReceived, kGroupReceived, kGroupDiffers};
    EXPECT_EQ(context.groupStatus[kGroupNMEAOutput - 1], expected[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(AllModes, ReportStream,
                         ::testing::Values(kModeIdle, kModeLoading, kModeConfiguring));

}  // namespace
