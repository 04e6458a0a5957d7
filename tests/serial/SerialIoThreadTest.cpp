// The I/O thread of a Threaded port over a scripted device: start-up, the quiet-line conditions
// for reading and writing, the lock during a break, a full Transmit Queue, a dead device.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "serial/Serial.h"
#include "serial/SerialTesting.h"
#include "tests/serial/FakeSerialDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint8_t kPort = 3;

class SerialIoThreadTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 4096, 9600, 0, 8, 1), 1); }
    void TearDown() override { SerialCloseAll(); }

    // Waits until the thread has finished `passes` more polls.
    bool WaitPasses(uint32_t passes) {
        const uint32_t target = SerialIoPassCount(kPort) + passes;
        return WaitUntil([&] { return SerialIoPassCount(kPort) >= target; });
    }

    FakeDeviceScope fake;
};

std::vector<uint8_t> DrainRing(uint8_t port) {
    std::vector<uint8_t> bytes;
    uint8_t byte = 0;
    while (SerialGetByte(port, &byte) == 1) bytes.push_back(byte);
    return bytes;
}

}  // namespace

TEST_F(SerialIoThreadTest, OpenPurgesTheDeviceBeforeTheThreadPolls) {
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.purgesInput, 1);
        EXPECT_EQ(l.purgesOutput, 1);
    });
    ASSERT_TRUE(WaitPasses(1));
}

TEST(SerialIoThreadStart, FirstPollComesAfterTheStartDelay) {
    FakeDeviceScope fake;
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_TRUE(WaitUntil([&] { return fake.With([](FakeLine& l) { return l.statusReads; }) > 0; }));
    EXPECT_GE(Clock::now() - start, milliseconds(500));
    // A break waits for the thread to have started; by now it has.
    EXPECT_EQ(SerialSendBreak(kPort, 1), 1);
    EXPECT_EQ(SerialClose(kPort), 1);
}

TEST_F(SerialIoThreadTest, ReceivedBytesReachTheRingInOrder) {
    fake.With([](FakeLine& l) { l.input = {0x10, 0x03, 0x00, 0xFF, 0x7F}; });
    ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(kPort) == 5; }));
    EXPECT_EQ(DrainRing(kPort), (std::vector<uint8_t>{0x10, 0x03, 0x00, 0xFF, 0x7F}));
}

TEST_F(SerialIoThreadTest, NothingIsReadWhileTheDeviceIsStillSending) {
    fake.With([](FakeLine& l) {
        l.outputCount = 1;
        l.input = {1, 2, 3};
    });
    ASSERT_TRUE(WaitPasses(3));
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.reads; }), 0);
    EXPECT_EQ(SerialReceiveCount(kPort), 0);
    fake.With([](FakeLine& l) { l.outputCount = 0; });
    ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(kPort) == 3; }));
    EXPECT_EQ(DrainRing(kPort), (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(SerialIoThreadTest, QueueIsWrittenInOnePieceOnceTheDeviceOutputIsEmpty) {
    fake.With([](FakeLine& l) { l.outputCount = 2; });
    for (uint8_t byte : {0x10, 0x1F, 0x10, 0x03}) ASSERT_EQ(SerialPutByte(kPort, byte), 1);
    EXPECT_EQ(SerialTransmitCount(kPort), 4);
    ASSERT_TRUE(WaitPasses(3));
    EXPECT_TRUE(fake.With([](FakeLine& l) { return l.writes.empty(); }));
    fake.With([](FakeLine& l) { l.outputCount = 0; });
    ASSERT_TRUE(WaitUntil([] { return SerialTransmitCount(kPort) == 0; }));
    fake.With([](FakeLine& l) {
        ASSERT_EQ(l.writes.size(), 1u);
        EXPECT_EQ(l.writes[0], (std::vector<uint8_t>{0x10, 0x1F, 0x10, 0x03}));
        EXPECT_EQ(l.writeTimeouts, std::vector<int>{40});  // 10 ms per byte
    });
}

TEST_F(SerialIoThreadTest, BytesQueuedWhileInputArrivesLeaveOnlyOnceItStops) {
    fake.With([](FakeLine& l) { l.arriving = true; });
    ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(kPort) > 0; }));
    ASSERT_EQ(SerialPutByte(kPort, 0x42), 1);
    const int before = fake.With([](FakeLine& l) { return l.statusReads; });
    ASSERT_TRUE(
        WaitUntil([&] { return fake.With([](FakeLine& l) { return l.statusReads; }) > before + 50; }));
    EXPECT_TRUE(fake.With([](FakeLine& l) { return l.writes.empty(); }));
    EXPECT_EQ(SerialTransmitCount(kPort), 1);
    fake.With([](FakeLine& l) { l.arriving = false; });
    ASSERT_TRUE(WaitUntil([] { return SerialTransmitCount(kPort) == 0; }));
    fake.With([](FakeLine& l) {
        ASSERT_EQ(l.writes.size(), 1u);
        EXPECT_EQ(l.writes[0], std::vector<uint8_t>{0x42});
    });
}

// Input the device reports but never delivers must not keep the thread from its 100 ms pace.
TEST_F(SerialIoThreadTest, ReportedButUndeliveredInputDoesNotSpin) {
    ASSERT_TRUE(WaitPasses(1));
    fake.With([](FakeLine& l) {
        l.input = {0x01};
        l.emptyReadsBeforeInput = 1000000;
    });
    ASSERT_EQ(SerialPutByte(kPort, 0x42), 1);
    ASSERT_TRUE(WaitPasses(1));
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(WaitPasses(5));
    EXPECT_GE(Clock::now() - start, milliseconds(400));
    EXPECT_LT(fake.With([](FakeLine& l) { return l.statusReads; }), 1000);
}

TEST_F(SerialIoThreadTest, BreakKeepsTheThreadFromStoringBytes) {
    ASSERT_TRUE(WaitPasses(1));
    fake.With([](FakeLine& l) { l.inputOnBreak = {7, 8, 9}; });
    ASSERT_EQ(SerialSendBreak(kPort, 300), 1);
    ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(kPort) == 3; }));
    EXPECT_FALSE(fake.With([](FakeLine& l) { return l.readDuringBreak; }));
    EXPECT_EQ(DrainRing(kPort), (std::vector<uint8_t>{7, 8, 9}));
}

TEST_F(SerialIoThreadTest, FullQueueRefusesTheNextByteAndStaysUsable) {
    fake.With([](FakeLine& l) { l.outputCount = 1; });
    std::vector<uint8_t> sent;
    for (int i = 0; i < 4096; ++i) {
        sent.push_back(static_cast<uint8_t>(i * 7));
        ASSERT_EQ(SerialPutByte(kPort, sent.back()), 1) << i;
    }
    EXPECT_EQ(SerialPutByte(kPort, 0xEE), 0);
    EXPECT_EQ(SerialTransmitCount(kPort), 4096);
    fake.With([](FakeLine& l) { l.outputCount = 0; });
    ASSERT_TRUE(WaitUntil([] { return SerialTransmitCount(kPort) == 0; }));
    fake.With([&](FakeLine& l) {
        ASSERT_EQ(l.writes.size(), 1u);
        EXPECT_EQ(l.writes[0], sent);
        EXPECT_EQ(l.writeTimeouts, std::vector<int>{40960});
    });
    EXPECT_EQ(SerialPutByte(kPort, 0x55), 1);
    EXPECT_EQ(SerialPurgeTransmit(kPort), 1);
    EXPECT_EQ(SerialTransmitCount(kPort), 0);
}

TEST_F(SerialIoThreadTest, RefusedTransmitPurgeKeepsTheQueue) {
    fake.With([](FakeLine& l) {
        l.outputCount = 1;
        l.purgeOutputResult = false;
    });
    ASSERT_EQ(SerialPutByte(kPort, 1), 1);
    ASSERT_EQ(SerialPutByte(kPort, 2), 1);
    EXPECT_EQ(SerialPurgeTransmit(kPort), 0);
    EXPECT_EQ(SerialTransmitCount(kPort), 2);
}

// A dead device (status, reads and writes all failing) costs one poll per 100 ms, and closing the
// port still succeeds.
TEST_F(SerialIoThreadTest, DeadDeviceKeepsThePaceAndClosesCleanly) {
    ASSERT_TRUE(WaitPasses(1));
    fake.With([](FakeLine& l) {
        l.input = {1, 2};
        l.statusResult = false;
        l.readError = true;
        l.writeError = true;
    });
    ASSERT_EQ(SerialPutByte(kPort, 0x42), 1);
    ASSERT_TRUE(WaitPasses(1));
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(WaitPasses(5));
    EXPECT_GE(Clock::now() - start, milliseconds(400));
    EXPECT_EQ(SerialTransmitCount(kPort), 0);  // the write failed, the block is gone
    EXPECT_EQ(SerialClose(kPort), 1);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.interrupts, 1);
        EXPECT_EQ(l.closes, 1);
    });
}

TEST_F(SerialIoThreadTest, CloseStopsTheThread) {
    ASSERT_TRUE(WaitPasses(1));
    EXPECT_EQ(SerialClose(kPort), 1);
    const int statusReads = fake.With([](FakeLine& l) { return l.statusReads; });
    EXPECT_EQ(SerialIoPassCount(kPort), 0u);
    // The thread is joined: nothing touches the device after the close returned.
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.statusReads; }), statusReads);
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.closes; }), 1);
}
