// The Serial Port Table without a real device: validation, closed ports, the device-name table,
// and what the driver does to a scripted device in Direct mode (no thread).
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "serial/Serial.h"
#include "serial/SerialTesting.h"
#include "tests/serial/FakeSerialDevice.h"

namespace {

struct OpenArgs {
    int port;
    int32_t mode;
    int32_t bufferSize;
    int32_t baudRate;
    int32_t parity;
    int32_t dataBits;
    int32_t stopBits;
};

constexpr OpenArgs kValid{1, kAccessDirect, 4096, 9600, 0, 8, 1};

// Each row breaks exactly one parameter of kValid.
const OpenArgs kInvalidArgs[] = {
    {0, 0, 4096, 9600, 0, 8, 1},  {41, 0, 4096, 9600, 0, 8, 1}, {255, 0, 4096, 9600, 0, 8, 1},
    {1, -1, 4096, 9600, 0, 8, 1}, {1, 3, 4096, 9600, 0, 8, 1},  {1, 0, -1, 9600, 0, 8, 1},
    {1, 0, 4096, -1, 0, 8, 1},    {1, 0, 4096, 38401, 0, 8, 1}, {1, 0, 4096, 57600, 0, 8, 1},
    {1, 0, 4096, 9600, -1, 8, 1}, {1, 0, 4096, 9600, 3, 8, 1},  {1, 0, 4096, 9600, 0, 6, 1},
    {1, 0, 4096, 9600, 0, 9, 1},  {1, 0, 4096, 9600, 0, 8, -1}, {1, 0, 4096, 9600, 0, 8, 3},
};

uint8_t Open(const OpenArgs& a) {
    return SerialOpen(static_cast<uint8_t>(a.port), a.mode, a.bufferSize, a.baudRate, a.parity, a.dataBits,
                      a.stopBits);
}

uint8_t SetParams(const OpenArgs& a) {
    return SerialSetParams(static_cast<uint8_t>(a.port), a.mode, a.bufferSize, a.baudRate, a.parity,
                           a.dataBits, a.stopBits);
}

class SerialDriverTest : public ::testing::Test {
  protected:
    void TearDown() override {
        SerialCloseAll();
        SerialResetDeviceNames();
    }
    FakeDeviceScope fake;
};

// The machine's own port n: /dev/ttyS<n−1> on Linux; COM1 … COM9, then \\.\COM10 … on Windows.
std::string OwnPort(int n) {
#ifdef _WIN32
    return (n <= 9 ? "COM" : "\\\\.\\COM") + std::to_string(n);
#else
    return "/dev/ttyS" + std::to_string(n - 1);
#endif
}

}  // namespace

TEST(SerialDeviceNames, DefaultTableMapsPortsToTtyS) {
    SerialResetDeviceNames();
    EXPECT_EQ(SerialDeviceName(1), OwnPort(1));
    EXPECT_EQ(SerialDeviceName(9), OwnPort(9));
    EXPECT_EQ(SerialDeviceName(10), OwnPort(10));
    EXPECT_EQ(SerialDeviceName(20), OwnPort(20));
    EXPECT_EQ(SerialDeviceName(39), OwnPort(39));
    EXPECT_EQ(SerialDeviceName(40), "");
    EXPECT_EQ(SerialDeviceName(0), "");
    EXPECT_EQ(SerialDeviceName(41), "");
}

TEST(SerialDeviceNames, SetAndResetEntries) {
    EXPECT_TRUE(SerialSetDeviceName(3, "/dev/ttyUSB0"));
    EXPECT_TRUE(SerialSetDeviceName(40, "rfc2217://localhost:7000"));
    EXPECT_FALSE(SerialSetDeviceName(0, "/dev/null"));
    EXPECT_FALSE(SerialSetDeviceName(41, "/dev/null"));
    EXPECT_EQ(SerialDeviceName(3), "/dev/ttyUSB0");
    EXPECT_EQ(SerialDeviceName(40), "rfc2217://localhost:7000");
    EXPECT_EQ(SerialDeviceName(4), OwnPort(4));
    SerialResetDeviceNames();
    EXPECT_EQ(SerialDeviceName(3), OwnPort(3));
    EXPECT_EQ(SerialDeviceName(40), "");
}

TEST(SerialClosedPort, EveryOperationFailsAndCountsAreMinusOne) {
    for (int port : {0, 1, 20, 40, 41}) {
        const auto p = static_cast<uint8_t>(port);
        uint8_t byte = 0x77;
        uint8_t mode = 0x11;
        int32_t baud = 5, parity = 5, dataBits = 5, stopBits = 5;
        EXPECT_EQ(SerialSetParams(p, 2, 4096, 9600, 0, 8, 1), 0) << port;
        EXPECT_EQ(SerialPurgeReceive(p), 0) << port;
        EXPECT_EQ(SerialPurgeTransmit(p), 0) << port;
        EXPECT_EQ(SerialSendBreak(p, 10), 0) << port;
        EXPECT_EQ(SerialClose(p), 0) << port;
        EXPECT_EQ(SerialGetParams(p, &mode, &baud, &parity, &dataBits, &stopBits), 0) << port;
        EXPECT_EQ(SerialGetByte(p, &byte), 0) << port;
        EXPECT_EQ(SerialPutByte(p, 0x10), 0) << port;
        EXPECT_EQ(SerialReceiveCount(p), -1) << port;
        EXPECT_EQ(SerialTransmitCount(p), -1) << port;
        EXPECT_EQ(byte, 0x77);
        EXPECT_EQ(mode, 0x11);
        EXPECT_EQ(baud, 5);
    }
    EXPECT_EQ(SerialCloseAll(), 1);
}

TEST(SerialClosedPort, OpeningPort40FailsOnItsEmptyName) {
    SerialResetDeviceNames();
    EXPECT_EQ(SerialOpen(40, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialOpen(40, kAccessDirect, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialReceiveCount(40), -1);
}

TEST(SerialClosedPort, MissingDeviceFailsAndLeavesSlotClosed) {
    ASSERT_TRUE(SerialSetDeviceName(5, "/dev/no-such-serial-device"));
    EXPECT_EQ(SerialOpen(5, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialTransmitCount(5), -1);
    SerialResetDeviceNames();
}

TEST_F(SerialDriverTest, InvalidArgumentsFailWithoutTouchingTheDevice) {
    for (const OpenArgs& args : kInvalidArgs) {
        EXPECT_EQ(Open(args), 0) << args.port << " " << args.mode << " " << args.bufferSize << " "
                                 << args.baudRate << " " << args.parity << " " << args.dataBits << " "
                                 << args.stopBits;
        EXPECT_EQ(SetParams(args), 0);
    }
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.opens; }), 0);
    EXPECT_EQ(SerialReceiveCount(1), -1);
}

TEST_F(SerialDriverTest, InvalidArgumentsLeaveAnOpenPortAsItWas) {
    ASSERT_EQ(Open(kValid), 1);
    for (const OpenArgs& args : kInvalidArgs) {
        if (args.port != kValid.port) continue;
        EXPECT_EQ(Open(args), 0);
        EXPECT_EQ(SetParams(args), 0);
    }
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.opens, 1);
        EXPECT_EQ(l.closes, 0);
        EXPECT_EQ(l.settingsWritten.size(), 1u);
        EXPECT_EQ(l.purgesInput, 0);
    });
    EXPECT_EQ(SerialReceiveCount(1), 0);
}

TEST_F(SerialDriverTest, BoundaryValuesAreAccepted) {
    EXPECT_EQ(SerialOpen(1, kAccessDirect, 0, 0, 2, 7, 0), 1);
    EXPECT_EQ(SerialOpen(2, kAccessDirect, 1, 38400, 0, 8, 2), 1);
    fake.With([](FakeLine& l) {
        ASSERT_EQ(l.settingsWritten.size(), 2u);
        EXPECT_EQ(l.settingsWritten[0].baudRate, 0);
        EXPECT_EQ(l.settingsWritten[1].baudRate, 38400);
    });
}

TEST_F(SerialDriverTest, ModeOneFailsAndLeavesSlotClosed) {
    EXPECT_EQ(SerialOpen(4, 1, 4096, 9600, 0, 8, 1), 0);
    EXPECT_EQ(SerialReceiveCount(4), -1);
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.opens; }), 0);
}

TEST_F(SerialDriverTest, OpenUsesTheDeviceNameOfThePort) {
    ASSERT_EQ(SerialOpen(10, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.openedName; }), OwnPort(10));
}

TEST_F(SerialDriverTest, OpenSetsQueueSizesToTheRingCapacity) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 0, 9600, 0, 8, 1), 1);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.inputQueueSize, 4096);
        EXPECT_EQ(l.outputQueueSize, 4096);
    });
    ASSERT_EQ(SerialOpen(2, kAccessDirect, 100, 9600, 0, 8, 1), 1);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.inputQueueSize, 100);
        EXPECT_EQ(l.outputQueueSize, 100);
    });
}

// Stop bits 1 is one stop bit (device code 0); every other value is two (device code 2).
TEST_F(SerialDriverTest, LineSettingsAtOpenAndSetParams) {
    struct Row {
        int32_t baud, parity, dataBits, stopBits;
        DeviceLineSettings expected;
    };
    const Row rows[] = {
        {9600, 0, 8, 1, {9600, 0, 8, 0}},
        {19200, 1, 7, 2, {19200, 1, 7, 2}},
        {4800, 2, 8, 0, {4800, 2, 8, 2}},
        {110, 0, 7, 1, {110, 0, 7, 0}},
    };
    for (const Row& row : rows) {
        ASSERT_EQ(SerialOpen(6, kAccessDirect, 4096, row.baud, row.parity, row.dataBits, row.stopBits), 1);
        ASSERT_EQ(SerialSetParams(6, kAccessThreaded, 99, row.baud, row.parity, row.dataBits, row.stopBits),
                  1);
        fake.With([&](FakeLine& l) {
            ASSERT_EQ(l.settingsWritten.size() % 2, 0u);
            for (size_t back = 1; back <= 2; ++back) {
                const DeviceLineSettings& got = l.settingsWritten[l.settingsWritten.size() - back];
                EXPECT_EQ(got.baudRate, row.expected.baudRate);
                EXPECT_EQ(got.parity, row.expected.parity);
                EXPECT_EQ(got.dataBits, row.expected.dataBits);
                EXPECT_EQ(got.stopBits, row.expected.stopBits);
            }
        });
        uint8_t mode = 0xEE;
        int32_t baud = 0, parity = 0, dataBits = 0, stopBits = 0;
        ASSERT_EQ(SerialGetParams(6, &mode, &baud, &parity, &dataBits, &stopBits), 1);
        EXPECT_EQ(mode, kAccessDirect);  // SerialSetParams keeps the access mode
        EXPECT_EQ(baud, row.expected.baudRate);
        EXPECT_EQ(parity, row.expected.parity);
        EXPECT_EQ(dataBits, row.expected.dataBits);
        EXPECT_EQ(stopBits, row.expected.stopBits);
    }
}

TEST_F(SerialDriverTest, SetParamsPurgesBothWaysAndKeepsQueueSizes) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 512, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialStoreReceivedByte(1, 0x31), 1);
    ASSERT_EQ(SerialReceiveCount(1), 1);
    ASSERT_EQ(SerialSetParams(1, kAccessDirect, 0, 2400, 0, 8, 1), 1);
    EXPECT_EQ(SerialReceiveCount(1), 0);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.purgesInput, 1);
        EXPECT_EQ(l.purgesOutput, 1);
        EXPECT_EQ(l.inputQueueSize, 512);
    });
}

TEST_F(SerialDriverTest, SetParamsFailsWhenTheDeviceCannotBeReadOrWritten) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialStoreReceivedByte(1, 0x31), 1);
    fake.With([](FakeLine& l) { l.getResult = false; });
    EXPECT_EQ(SerialSetParams(1, kAccessDirect, 4096, 4800, 0, 8, 1), 0);
    fake.With([](FakeLine& l) {
        l.getResult = true;
        l.setResult = false;
    });
    EXPECT_EQ(SerialSetParams(1, kAccessDirect, 4096, 4800, 0, 8, 1), 0);
    EXPECT_EQ(SerialReceiveCount(1), 1);  // nothing purged
    fake.With([](FakeLine& l) { EXPECT_EQ(l.purgesInput, 0); });
}

TEST_F(SerialDriverTest, ConfigureFailuresFailTheOpenAndCloseTheDevice) {
    void (*const breakers[])(FakeLine&) = {
        [](FakeLine& l) { l.queueSizesResult = false; },
        [](FakeLine& l) { l.getResult = false; },
        [](FakeLine& l) { l.setResult = false; },
        [](FakeLine& l) { l.openResult = false; },
    };
    for (auto breaker : breakers) {
        fake.With([&](FakeLine& l) {
            l.openResult = l.queueSizesResult = l.getResult = l.setResult = true;
            l.closes = 0;
            breaker(l);
        });
        EXPECT_EQ(SerialOpen(2, kAccessThreaded, 4096, 9600, 0, 8, 1), 0);
        EXPECT_EQ(SerialReceiveCount(2), -1);
        EXPECT_EQ(fake.With([](FakeLine& l) { return l.closes; }), 1);
    }
}

TEST_F(SerialDriverTest, ReopeningClosesFirstAndAppliesTheNewParameters) {
    ASSERT_EQ(SerialOpen(3, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialOpen(3, kAccessDirect, 4096, 38400, 2, 7, 2), 1);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.opens, 2);
        EXPECT_EQ(l.closes, 1);
        EXPECT_EQ(l.settings.baudRate, 38400);
        EXPECT_EQ(l.settings.parity, 2);
        EXPECT_EQ(l.settings.dataBits, 7);
        EXPECT_EQ(l.settings.stopBits, 2);
    });
}

TEST_F(SerialDriverTest, CloseAllClosesEveryOpenPort) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialOpen(2, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialOpen(39, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialCloseAll(), 1);
    EXPECT_EQ(SerialReceiveCount(1), -1);
    EXPECT_EQ(SerialReceiveCount(2), -1);
    EXPECT_EQ(SerialReceiveCount(39), -1);
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.closes; }), 3);
}

// A device that refuses to close has still given up its descriptor: the slot is released and the
// failure reported, so the port can be opened again.
TEST_F(SerialDriverTest, RefusedDeviceCloseReportsFailureButFreesTheSlot) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    fake.With([](FakeLine& l) { l.closeResult = false; });
    EXPECT_EQ(SerialClose(1), 0);
    EXPECT_EQ(SerialReceiveCount(1), -1);
    fake.With([](FakeLine& l) { l.closeResult = true; });
    EXPECT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
}

TEST_F(SerialDriverTest, PurgeReceiveFailsWhenTheDeviceRefusesAndKeepsTheRing) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    ASSERT_EQ(SerialStoreReceivedByte(1, 0x41), 1);
    fake.With([](FakeLine& l) { l.purgeInputResult = false; });
    EXPECT_EQ(SerialPurgeReceive(1), 0);
    EXPECT_EQ(SerialReceiveCount(1), 1);
    fake.With([](FakeLine& l) { l.purgeInputResult = true; });
    EXPECT_EQ(SerialPurgeReceive(1), 1);
    EXPECT_EQ(SerialReceiveCount(1), 0);
}

TEST_F(SerialDriverTest, PurgeTransmitReportsTheDevice) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialPurgeTransmit(1), 1);
    fake.With([](FakeLine& l) { l.purgeOutputResult = false; });
    EXPECT_EQ(SerialPurgeTransmit(1), 0);
}

TEST_F(SerialDriverTest, BreakSetsAndClearsTheBreakStateAroundItsDuration) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SerialSendBreak(1, 50), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50));
    fake.With([](FakeLine& l) {
        ASSERT_EQ(l.breakCalls.size(), 2u);
        EXPECT_TRUE(l.breakCalls[0]);
        EXPECT_FALSE(l.breakCalls[1]);
    });
}

// A negative duration would be an endless sleep; it gives a break of no length instead.
TEST_F(SerialDriverTest, NegativeBreakDurationDoesNotHang) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    EXPECT_EQ(SerialSendBreak(1, -1), 1);
    EXPECT_EQ(SerialSendBreak(1, INT16_MIN), 1);
    EXPECT_EQ(fake.With([](FakeLine& l) { return l.breakCalls.size(); }), 4u);
}

TEST_F(SerialDriverTest, DirectPutByteRetriesTimeoutsAndReportsRefusal) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    fake.With([](FakeLine& l) { l.writeScript = {0, 0}; });
    EXPECT_EQ(SerialPutByte(1, 0x10), 1);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.writeTimeouts, (std::vector<int>{10, 10, 10}));
        ASSERT_EQ(l.writes.size(), 1u);
        EXPECT_EQ(l.writes[0], std::vector<uint8_t>{0x10});
        l.writeScript = {-1};
    });
    EXPECT_EQ(SerialPutByte(1, 0x11), 0);
    EXPECT_EQ(SerialTransmitCount(1), 0);  // Direct mode never uses the queue
}

TEST_F(SerialDriverTest, DirectGetByteWaitsInPollBetweenEmptyReads) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    fake.With([](FakeLine& l) {
        l.emptyReadsBeforeInput = 3;
        l.input = {0x5A};
    });
    uint8_t byte = 0;
    EXPECT_EQ(SerialGetByte(1, &byte), 1);
    EXPECT_EQ(byte, 0x5A);
    fake.With([](FakeLine& l) {
        EXPECT_EQ(l.reads, 4);
        EXPECT_EQ(l.waits, 3);
        l.readError = true;
    });
    EXPECT_EQ(SerialGetByte(1, &byte), 0);
    EXPECT_EQ(SerialGetByte(1, nullptr), 0);
}

TEST_F(SerialDriverTest, GetParamsRejectsMissingPlaces) {
    ASSERT_EQ(SerialOpen(1, kAccessDirect, 4096, 9600, 0, 8, 1), 1);
    int32_t value = 0;
    uint8_t mode = 0;
    EXPECT_EQ(SerialGetParams(1, nullptr, &value, &value, &value, &value), 0);
    EXPECT_EQ(SerialGetParams(1, &mode, &value, &value, &value, nullptr), 0);
    fake.With([](FakeLine& l) { l.getResult = false; });
    EXPECT_EQ(SerialGetParams(1, &mode, &value, &value, &value, &value), 0);
}
