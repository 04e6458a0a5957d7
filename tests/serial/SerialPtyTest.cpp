// The driver on real pseudo-terminals: the slave is the port under test, the master plays the line.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "serial/Serial.h"
#include "serial/SerialTesting.h"
#include "support/Pty.h"
#include "tests/serial/FakeSerialDevice.h"
#include "tests/serial/SerialPtyFixture.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::vector<uint8_t> AllByteValues() {
    std::vector<uint8_t> bytes(256);
    for (int i = 0; i < 256; ++i) bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    return bytes;
}

}  // namespace

TEST_F(SerialPtyTest, ThreadedPortCarriesAllByteValuesBothWays) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    const std::vector<uint8_t> all = AllByteValues();
    ASSERT_TRUE(line.Write(all));
    EXPECT_EQ(Receive(1, 256), all);
    for (uint8_t byte : all) ASSERT_EQ(SerialPutByte(1, byte), 1);
    EXPECT_EQ(line.Read(256), all);
    EXPECT_TRUE(WaitUntil([] { return SerialTransmitCount(1) == 0; }));
}

TEST_F(SerialPtyTest, DirectPortCarriesAllByteValuesBothWays) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 19200, 0, 8, 1), 1);
    const std::vector<uint8_t> all = AllByteValues();
    for (uint8_t byte : all) ASSERT_EQ(SerialPutByte(1, byte), 1);
    EXPECT_EQ(line.Read(256), all);
    ASSERT_TRUE(line.Write(all));
    std::vector<uint8_t> got;
    uint8_t byte = 0;
    for (int i = 0; i < 256; ++i) {
        ASSERT_EQ(SerialGetByte(1, &byte), 1);
        got.push_back(byte);
    }
    EXPECT_EQ(got, all);
}

TEST_F(SerialPtyTest, DirectGetByteWaitsForTheNextByte) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    std::atomic<bool> waiting{false};
    std::thread sender([&] {
        WaitUntil([&] { return waiting.load(); });
        line.Write({0x8F});
    });
    waiting.store(true);
    uint8_t byte = 0;
    EXPECT_EQ(SerialGetByte(1, &byte), 1);
    EXPECT_EQ(byte, 0x8F);
    sender.join();
}

TEST_F(SerialPtyTest, QueuedBytesLeaveWithinAPoll) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 0, 9600, 0, 8, 1), 1);
    const std::vector<uint8_t> packet = {0x10, 0x1F, 0x10, 0x03};
    for (uint8_t byte : packet) ASSERT_EQ(SerialPutByte(1, byte), 1);
    EXPECT_EQ(line.Read(packet.size()), packet);
}

TEST_F(SerialPtyTest, SecondOpenOfAHeldDeviceFails) {
    ASSERT_TRUE(SerialSetDeviceName(2, line.SlavePath()));
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialOpen(2, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialOpen(2, kAccessDirect, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialReceiveCount(2), -1);
    // The holder is undisturbed, and once it lets go the device can be opened again.
    ASSERT_TRUE(line.Write({0x45}));
    EXPECT_EQ(Receive(1, 1), std::vector<uint8_t>{0x45});
    ASSERT_EQ(SerialClose(1), 1);
    EXPECT_EQ(SerialOpen(2, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
}

TEST_F(SerialPtyTest, DeviceHeldByAnotherProgramFails) {
    const int other = ::open(line.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialReceiveCount(1), -1);
    ::close(other);
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
}

TEST_F(SerialPtyTest, DevicesThatAreNotTtysFail) {
    char path[] = "/tmp/serial-not-a-tty-XXXXXX";
    const int file = ::mkstemp(path);
    ASSERT_GE(file, 0);
    ::close(file);
    const struct {
        const char* name;
        SerialFailureCode why;
    } rows[] = {
        {"/dev/null", SerialFailureCode::kNotSerial},
        {"/dev/ptmx", SerialFailureCode::kNotSerial},
        {path, SerialFailureCode::kNotSerial},
        {"/tmp", SerialFailureCode::kNotSerial},
        {"/dev/does-not-exist", SerialFailureCode::kNoSuchDevice},
    };
    for (const auto& row : rows) {
        ASSERT_TRUE(SerialSetDeviceName(3, row.name));
        EXPECT_EQ(SerialOpen(3, kAccessThreaded, 4096, 9600, 0, 8, 1), 0) << row.name;
        EXPECT_EQ(SerialOpen(3, kAccessDirect, 4096, 9600, 0, 8, 1), 0) << row.name;
        EXPECT_EQ(SerialReceiveCount(3), -1) << row.name;
        EXPECT_EQ(SerialLastFailure(3).code, row.why) << row.name;
    }
    ::unlink(path);
}

TEST_F(SerialPtyTest, RateTermiosCannotSetFailsTheOpen) {
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 14400, 0, 8, 1), 0);
    EXPECT_EQ(SerialOpen(1, kAccessDirect, 4096, 28800, 0, 8, 1), 0);
    EXPECT_EQ(SerialReceiveCount(1), -1);
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialSetParams(1, kAccessDirect, 4096, 14400, 0, 8, 1), 0);
    ExpectLine(1, 9600, 0);
}

TEST_F(SerialPtyTest, StopBitsReadBackAtOpenAndSetParams) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ExpectLine(1, 9600, 0);
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 4800, 0, 8, 2), 1);
    ExpectLine(1, 4800, 2);
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 38400, 0, 8, 1), 1);
    ExpectLine(1, 38400, 0);
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 1200, 0, 8, 2), 1);
    ExpectLine(1, 1200, 2);
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 300, 0, 8, 0), 1);
    ExpectLine(1, 300, 2);
    uint8_t mode = 0;
    int32_t value = 0;
    ASSERT_EQ(SerialGetParams(1, &mode, &value, &value, &value, &value), 1);
    EXPECT_EQ(mode, kAccessThreaded);
}

TEST_F(SerialPtyTest, ReopenAppliesTheNewParametersAndStillCarriesBytes) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 19200, 0, 8, 2), 1);
    ExpectLine(1, 19200, 2);
    uint8_t mode = 0xEE;
    int32_t value = 0;
    ASSERT_EQ(SerialGetParams(1, &mode, &value, &value, &value, &value), 1);
    EXPECT_EQ(mode, kAccessDirect);
    ASSERT_EQ(SerialPutByte(1, 0x33), 1);
    EXPECT_EQ(line.Read(1), std::vector<uint8_t>{0x33});
}

TEST_F(SerialPtyTest, InvalidArgumentsLeaveAnOpenPortAsItWas) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 4800, 0, 8, 2), 1);
    ASSERT_TRUE(line.Write({1, 2, 3}));
    ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(1) == 3; }));
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 57600, 0, 8, 1), 0);
    EXPECT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 3, 8, 1), 0);
    EXPECT_EQ(SerialSetParams(1, kAccessThreaded, -1, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 9600, 0, 6, 1), 0);
    EXPECT_EQ(SerialReceiveCount(1), 3);
    ExpectLine(1, 4800, 2);
}

TEST_F(SerialPtyTest, SetParamsEmptiesTheRing) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_TRUE(line.Write({0x10, 0x45, 0x10, 0x03}));
    ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(1) == 4; }));
    ASSERT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 19200, 0, 8, 1), 1);
    EXPECT_EQ(SerialReceiveCount(1), 0);
    uint8_t byte = 0;
    EXPECT_EQ(SerialGetByte(1, &byte), 0);
}

TEST_F(SerialPtyTest, SetParamsOnAClosedPortFails) {
    EXPECT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialClose(1), 1);
    EXPECT_EQ(SerialSetParams(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
}

TEST_F(SerialPtyTest, PurgesEmptyRingAndQueue) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_TRUE(line.Write({5, 6, 7}));
    ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(1) == 3; }));
    EXPECT_EQ(SerialPurgeReceive(1), 1);
    EXPECT_EQ(SerialReceiveCount(1), 0);
    for (uint8_t byte : {8, 9, 10}) ASSERT_EQ(SerialPutByte(1, byte), 1);
    EXPECT_EQ(SerialPurgeTransmit(1), 1);
    EXPECT_EQ(SerialTransmitCount(1), 0);
}

TEST_F(SerialPtyTest, EmptyRingGivesNoByte) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    uint8_t byte = 0x99;
    EXPECT_EQ(SerialGetByte(1, &byte), 0);
    EXPECT_EQ(byte, 0x99);
    EXPECT_EQ(SerialReceiveCount(1), 0);
}

TEST_F(SerialPtyTest, BreakOnAPtySucceeds) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialSendBreak(1, 20), 1);
    ASSERT_TRUE(line.Write({0x11}));
    EXPECT_EQ(Receive(1, 1), std::vector<uint8_t>{0x11});
}

TEST_F(SerialPtyTest, CloseAllClosesPortsOneAndTwo) {
    PtyPair second;
    ASSERT_TRUE(second.IsOpen());
    ASSERT_TRUE(SerialSetDeviceName(2, second.SlavePath()));
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialOpen(2, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialCloseAll(), 1);
    EXPECT_EQ(SerialReceiveCount(1), -1);
    EXPECT_EQ(SerialReceiveCount(2), -1);
    // Both devices are free again.
    EXPECT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialOpen(2, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
}

TEST_F(SerialPtyTest, HangUpWhileTheThreadRunsKeepsThePaceUntilClose) {
    ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    ASSERT_TRUE(WaitUntil([] { return SerialIoPassCount(1) >= 1; }));
    line.CloseMaster();
    ASSERT_EQ(SerialPutByte(1, 0x42), 1);
    const uint32_t first = SerialIoPassCount(1) + 1;
    ASSERT_TRUE(WaitUntil([&] { return SerialIoPassCount(1) >= first; }));
    const Clock::time_point start = Clock::now();
    ASSERT_TRUE(WaitUntil([&] { return SerialIoPassCount(1) >= first + 5; }));
    EXPECT_GE(Clock::now() - start, milliseconds(400));
    EXPECT_EQ(SerialTransmitCount(1), 0);
    uint8_t byte = 0;
    EXPECT_EQ(SerialGetByte(1, &byte), 0);
    SerialPurgeTransmit(1);  // a hung-up tty may refuse the flush; it must only not hang
    EXPECT_EQ(SerialSendBreak(1, 10), 1);
    EXPECT_EQ(SerialClose(1), 1);
    EXPECT_EQ(SerialReceiveCount(1), -1);
}

TEST_F(SerialPtyTest, OpenAndClose200TimesWhileTheLineTalks) {
    std::atomic<bool> done{false};
    std::thread talker([&] {
        const std::vector<uint8_t> burst = {0x10, 0x45, 0x01, 0x02, 0x10, 0x03};
        while (!done.load()) {
            line.Write(burst, milliseconds(50));
            line.ReadAvailable();
            std::this_thread::sleep_for(milliseconds(1));
        }
    });
    for (int i = 0; i < 200; ++i) {
        ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1) << i;
        SerialPutByte(1, static_cast<uint8_t>(i));
        uint8_t byte = 0;
        SerialGetByte(1, &byte);
        if (i % 50 == 0) {
            ASSERT_TRUE(WaitUntil([] { return SerialReceiveCount(1) > 0; }));
        }
        ASSERT_EQ(SerialClose(1), 1) << i;
    }
    done.store(true);
    talker.join();
}

// Ports left open when the program ends are not closed by the driver; ending the program with a
// Threaded port open (its I/O thread still running) must still end it normally.
TEST_F(SerialPtyTest, ProgramEndsNormallyWithAThreadedPortLeftOpen) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1) != 1) std::exit(2);
            if (!WaitUntil([] { return SerialIoPassCount(1) >= 1; })) std::exit(3);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}
