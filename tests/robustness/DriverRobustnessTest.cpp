// The Serial Port Driver under churn and trouble on real pseudo-terminals: one port opened and closed
// a thousand times while its line talks, beside a port that carries a counted stream the whole time;
// a port whose line hangs up beside ports that keep working. Nothing of one port may reach another.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "serial/Serial.h"
#include "support/Pty.h"
#include "support/WaitUntil.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class DriverRobustness : public ::testing::Test {
  protected:
    void TearDown() override {
        SerialCloseAll();
        SerialResetDeviceNames();
    }
};

// Bytes written on the steady line are 0x80 | (n mod 128), in order; the churned line only ever
// sends bytes below 0x80. A byte of the one line seen on the other port is cross-talk.
TEST_F(DriverRobustness, OpenAndClose1000TimesWhileDataFlowsLeavesTheNeighbourUntouched) {
    PtyPair churned, steady;
    ASSERT_TRUE(churned.IsOpen() && steady.IsOpen());
    ASSERT_TRUE(SerialSetDeviceName(1, churned.SlavePath()));
    ASSERT_TRUE(SerialSetDeviceName(2, steady.SlavePath()));
    ASSERT_EQ(SerialOpen(2, kAccessThreaded, 4096, 38400, 0, 8, 1), 1);

    std::atomic<bool> done{false};
    std::atomic<uint32_t> steadySent{0};
    std::atomic<uint32_t> steadyReceived{0};
    std::thread lines([&] {
        const std::vector<uint8_t> burst = {0x10, 0x45, 0x01, 0x02, 0x10, 0x03};
        uint32_t n = 0;
        while (!done.load()) {
            churned.Write(burst, milliseconds(50));
            churned.ReadAvailable();
            // Like a line at its baud rate, the steady line never gets further ahead of the reader
            // than the Receive Ring holds: every byte must arrive.
            if (n - steadyReceived.load() > 2000) {
                std::this_thread::sleep_for(milliseconds(1));
                continue;
            }
            std::vector<uint8_t> counted;
            for (int i = 0; i < 8; ++i)
                counted.push_back(static_cast<uint8_t>(0x80 | ((n + static_cast<uint32_t>(i)) & 0x7F)));
            if (steady.Write(counted, milliseconds(1000))) {
                n += 8;
                steadySent.store(n);
            }
            steady.ReadAvailable();
            std::this_thread::sleep_for(milliseconds(1));
        }
    });

    bool steadyInOrder = true;
    auto drainSteady = [&] {
        uint8_t byte = 0;
        while (SerialGetByte(2, &byte) == 1) {
            steadyInOrder =
                steadyInOrder && byte == static_cast<uint8_t>(0x80 | (steadyReceived.load() & 0x7F));
            ++steadyReceived;
        }
    };
    int churnedBytes = 0;
    bool churnedClean = true;
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(SerialOpen(1, kAccessThreaded, 4096, 9600, 0, 8, 1), 1) << "open " << i;
        EXPECT_EQ(SerialPutByte(1, static_cast<uint8_t>(i & 0x7F)), 1);
        // Now and then the port stays open until its I/O thread has stored bytes from the line.
        if (i % 100 == 0) {
            ASSERT_TRUE(WaitUntil([&] {
                drainSteady();
                return SerialReceiveCount(1) > 0;
            })) << "open "
                << i;
        }
        uint8_t byte = 0;
        while (SerialGetByte(1, &byte) == 1) {
            churnedClean = churnedClean && byte < 0x80;
            ++churnedBytes;
        }
        ASSERT_EQ(SerialClose(1), 1) << "close " << i;
        EXPECT_EQ(SerialReceiveCount(1), -1);
        drainSteady();
    }
    // The churned port did receive its line's bytes at times (its I/O thread polled), never the
    // neighbour's.
    EXPECT_TRUE(churnedClean);
    EXPECT_GT(churnedBytes, 0);
    const uint32_t sentAtEnd = steadySent.load();
    done.store(true);
    lines.join();
    const uint32_t sent = steadySent.load();
    ASSERT_TRUE(WaitUntil([&] {
        drainSteady();
        return steadyReceived.load() >= sent;
    })) << steadyReceived.load()
        << " of " << sent;
    EXPECT_GE(sent, sentAtEnd);
    EXPECT_EQ(steadyReceived.load(), sent);
    EXPECT_TRUE(steadyInOrder);
    EXPECT_GT(sent, 0u);
    std::printf("churned port received %d bytes over 1000 opens; the steady port %u of %u\n", churnedBytes,
                steadyReceived.load(), sent);
}

// Four ports talk; the line of port 2 hangs up halfway. The other three go on receiving everything
// sent to them, and port 2 closes cleanly.
TEST_F(DriverRobustness, HangUpOnOnePortDisturbsNoOther) {
    constexpr int kPorts = 4;
    std::vector<std::unique_ptr<PtyPair>> lines;
    for (int p = 1; p <= kPorts; ++p) {
        lines.push_back(std::make_unique<PtyPair>());
        ASSERT_TRUE(lines.back()->IsOpen());
        ASSERT_TRUE(SerialSetDeviceName(static_cast<uint8_t>(p), lines.back()->SlavePath()));
        ASSERT_EQ(SerialOpen(static_cast<uint8_t>(p), kAccessThreaded, 4096, 9600, 0, 8, 1), 1);
    }
    std::vector<std::vector<uint8_t>> received(kPorts);
    auto drain = [&] {
        for (int p = 1; p <= kPorts; ++p) {
            uint8_t byte = 0;
            while (SerialGetByte(static_cast<uint8_t>(p), &byte) == 1)
                received[static_cast<size_t>(p - 1)].push_back(byte);
        }
    };
    std::vector<size_t> sent(kPorts, 0);
    for (int round = 0; round < 20; ++round) {
        for (int p = 0; p < kPorts; ++p) {
            if (p == 1 && round >= 10) continue;
            std::vector<uint8_t> bytes(100);
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(p * 50 + (sent[static_cast<size_t>(p)] + i) % 50);
            ASSERT_TRUE(lines[static_cast<size_t>(p)]->Write(bytes));
            sent[static_cast<size_t>(p)] += bytes.size();
        }
        if (round == 10) {
            ASSERT_TRUE(WaitUntil([&] {
                drain();
                return received[1].size() >= sent[1];
            }));
            lines[1]->CloseMaster();
        }
        ASSERT_TRUE(WaitUntil([&] {
            drain();
            return received[0].size() >= sent[0] && received[2].size() >= sent[2] &&
                   received[3].size() >= sent[3];
        }));
    }
    for (int p = 0; p < kPorts; ++p) {
        const auto& bytes = received[static_cast<size_t>(p)];
        EXPECT_EQ(bytes.size(), sent[static_cast<size_t>(p)]) << "port " << p + 1;
        for (size_t i = 0; i < bytes.size(); ++i) {
            ASSERT_EQ(bytes[i], static_cast<uint8_t>(p * 50 + i % 50)) << "port " << p + 1 << " byte " << i;
        }
    }
    // The hung-up port still answers every call and closes.
    uint8_t byte = 0;
    EXPECT_EQ(SerialGetByte(2, &byte), 0);
    SerialPutByte(2, 0x10);
    EXPECT_EQ(SerialClose(2), 1);
    for (int p = 1; p <= kPorts; ++p) EXPECT_EQ(SerialReceiveCount(static_cast<uint8_t>(p)), p == 2 ? -1 : 0);
}

}  // namespace
