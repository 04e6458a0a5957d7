// Receive Ring and Transmit Queue arithmetic on a Threaded port whose line stays silent, so that
// only the test stores bytes into the ring (as the I/O thread would).
#include <gtest/gtest.h>

#include <vector>

#include "serial/Serial.h"
#include "serial/SerialTesting.h"
#include "support/Pty.h"
#include "tests/serial/FakeSerialDevice.h"

namespace {

constexpr uint8_t kPort = 7;

class SerialRingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(SerialSetDeviceName(kPort, line.SlavePath()));
    }
    void TearDown() override {
        SerialCloseAll();
        SerialResetDeviceNames();
    }

    static void Store(int count, int first = 0) {
        for (int i = 0; i < count; ++i)
            ASSERT_EQ(SerialStoreReceivedByte(kPort, static_cast<uint8_t>(first + i)), 1);
    }
    static std::vector<uint8_t> Take(int count) {
        std::vector<uint8_t> bytes;
        uint8_t byte = 0;
        for (int i = 0; i < count && SerialGetByte(kPort, &byte) == 1; ++i) bytes.push_back(byte);
        return bytes;
    }
    static std::vector<uint8_t> Sequence(int count, int first = 0) {
        std::vector<uint8_t> bytes;
        for (int i = 0; i < count; ++i) bytes.push_back(static_cast<uint8_t>(first + i));
        return bytes;
    }

    PtyPair line;
};

}  // namespace

// Read index 4000, write index 100 on a 4096 ring: 196 unread bytes.
TEST_F(SerialRingTest, CountWhenTheWriteIndexHasWrapped) {
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    Store(4000);
    ASSERT_EQ(Take(4000).size(), 4000u);
    EXPECT_EQ(SerialReceiveCount(kPort), 0);
    Store(196, 10);
    EXPECT_EQ(SerialReceiveCount(kPort), 196);
    EXPECT_EQ(Take(196), Sequence(196, 10));
    EXPECT_EQ(SerialReceiveCount(kPort), 0);
}

TEST_F(SerialRingTest, RingHoldsCapacityLessOneBytes) {
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 0, 9600, 0, 8, 1), 1);
    Store(4095);
    EXPECT_EQ(SerialReceiveCount(kPort), 4095);
    EXPECT_EQ(Take(5000), Sequence(4095));
}

// One byte more than the ring holds is dropped; the 4095 unread bytes stay (a full ring does not
// read as empty).
TEST_F(SerialRingTest, OverflowDropsTheNewByteAndKeepsTheUnread) {
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    Store(4095, 1);
    ASSERT_EQ(SerialStoreReceivedByte(kPort, 0xEE), 1);
    EXPECT_EQ(SerialReceiveCount(kPort), 4095);
    const std::vector<uint8_t> got = Take(5000);
    EXPECT_EQ(got, Sequence(4095, 1));
    // Room again after taking bytes.
    Store(3, 0x40);
    EXPECT_EQ(Take(3), Sequence(3, 0x40));
}

TEST_F(SerialRingTest, OverflowAcrossTheWrap) {
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 8, 9600, 0, 8, 1), 1);
    Store(6);
    ASSERT_EQ(Take(6), Sequence(6));
    Store(9, 0x20);  // write index wraps; only 7 fit
    EXPECT_EQ(SerialReceiveCount(kPort), 7);
    EXPECT_EQ(Take(10), Sequence(7, 0x20));
}

TEST_F(SerialRingTest, RingOfOneByteHoldsNothing) {
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 1, 9600, 0, 8, 1), 1);
    Store(3);
    EXPECT_EQ(SerialReceiveCount(kPort), 0);
    EXPECT_TRUE(Take(1).empty());
}

TEST_F(SerialRingTest, PurgeReceiveResetsTheIndices) {
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 16, 9600, 0, 8, 1), 1);
    Store(10);
    ASSERT_EQ(Take(4).size(), 4u);
    ASSERT_EQ(SerialPurgeReceive(kPort), 1);
    EXPECT_EQ(SerialReceiveCount(kPort), 0);
    Store(15, 0x30);  // a full ring again from index 0
    EXPECT_EQ(SerialReceiveCount(kPort), 15);
    EXPECT_EQ(Take(20), Sequence(15, 0x30));
}

// The queue fills within the thread's 500 ms start delay, before its first poll could write it.
TEST_F(SerialRingTest, QueueAcceptsCapacityBytesThenRefusesAndStillDrains) {
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 4096, 38400, 0, 8, 1), 1);
    std::vector<uint8_t> sent;
    for (int i = 0; i < 4096; ++i) {
        sent.push_back(static_cast<uint8_t>(i ^ 0x5A));
        ASSERT_EQ(SerialPutByte(kPort, sent.back()), 1) << i;
    }
    EXPECT_EQ(SerialPutByte(kPort, 0x01), 0);
    EXPECT_EQ(SerialTransmitCount(kPort), 4096);
    // The thread still gets the lock and writes the whole queue out, the refused byte not with it.
    EXPECT_EQ(line.Read(sent.size()), sent);
    EXPECT_TRUE(WaitUntil([] { return SerialTransmitCount(kPort) == 0; }));
    EXPECT_EQ(SerialPutByte(kPort, 0x02), 1);
    EXPECT_EQ(line.Read(1), std::vector<uint8_t>{0x02});
}
