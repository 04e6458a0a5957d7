// The driver on a real pseudo-terminal: the slave is the port under test, the master plays the line.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <iostream>
#include <vector>

#include "serial/Serial.h"
#include "support/Pty.h"
#include "support/WaitUntil.h"

class SerialPtyTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(SerialSetDeviceName(1, line.SlavePath()));
    }
    void TearDown() override {
        // A failed open of the port under test says why, whichever assertion noticed it.
        if (HasFailure()) std::cerr << "port 1: " << DescribeSerialFailure(SerialLastFailure(1)) << "\n";
        SerialCloseAll();
        SerialResetDeviceNames();
    }

    // Takes count bytes out of the Receive Ring as they arrive.
    static std::vector<uint8_t> Receive(uint8_t port, size_t count) {
        std::vector<uint8_t> bytes;
        WaitUntil([&] {
            uint8_t byte = 0;
            while (bytes.size() < count && SerialGetByte(port, &byte) == 1) bytes.push_back(byte);
            return bytes.size() == count;
        });
        return bytes;
    }

    static void ExpectLine(uint8_t port, int32_t baud, int32_t stopBits) {
        uint8_t mode = 0;
        int32_t gotBaud = 0, parity = -1, dataBits = 0, gotStop = -1;
        ASSERT_EQ(SerialGetParams(port, &mode, &gotBaud, &parity, &dataBits, &gotStop), 1);
        EXPECT_EQ(gotBaud, baud);
        EXPECT_EQ(gotStop, stopBits);
        EXPECT_EQ(parity, 0);  // a pty forces no parity and 8 data bits
        EXPECT_EQ(dataBits, 8);
    }

    PtyPair line;
};
