// The network serial device against peers that misbehave on purpose: one that floods it faster than
// it decodes, one that stops reading while a write carries doubled 0xFF bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>

#include "ScriptedServer.h"
#include "serial/network/NetworkDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// A peer that sends faster than we decode cannot hold a call past its deadline: not the open
// (which it never lets succeed), not the line settings it never acknowledges.
TEST(NetworkDeviceOpen, AFloodingPeerCannotStallTheOpenOrTheSettings) {
    const Bytes flood(64 * 1024, 0x55);
    ScriptedServer silent([&](ScriptedConnection& c) {
        while (c.Send(flood)) {
        }
    });
    auto device = CreateNetworkDevice();
    Clock::time_point start = Clock::now();
    EXPECT_FALSE(device->Open(silent.DeviceName()));
    EXPECT_LT(Since(start), milliseconds(3 * kNetworkConnectTimeoutMs));
    EXPECT_EQ(device->LastFailure().code, SerialFailureCode::kNoAnswer);

    ScriptedServer accepting([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        while (c.Send(flood)) {
        }
    });
    ASSERT_TRUE(device->Open(accepting.DeviceName()));
    start = Clock::now();
    EXPECT_FALSE(device->SetLineSettings(DeviceLineSettings{9600, 0, 8, 0}));
    EXPECT_LT(Since(start), milliseconds(3 * kNetworkAckTimeoutMs));
    int32_t in = 0;
    int32_t out = 0;
    start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        uint8_t buffer[256];
        EXPECT_TRUE(device->QueueCounts(in, out));
        EXPECT_GE(device->Read(buffer, sizeof buffer), 0);
    }
    EXPECT_LT(Since(start), milliseconds(kNetworkAckTimeoutMs));
    device->Close();
}

// A write that runs out of time never leaves half of a doubled 0xFF on the wire: the server would
// read the next byte as a telnet command. Every write reports the data bytes that went out whole,
// and the server receives exactly those, in order.
TEST(NetworkDeviceData, AWriteCutShortNeverSplitsADoubledIac) {
    std::promise<void> startReading;
    std::promise<Bytes> received;
    std::atomic<size_t> expected{0};
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        startReading.get_future().wait();
        received.set_value(c.ExpectData(expected.load(), std::chrono::seconds(30)));
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    const Bytes block(200001, 0xFF);  // odd: cuts fall on every kind of boundary
    size_t total = 0;
    int shortWrites = 0;
    for (int i = 0; i < 200 && shortWrites < 6; ++i) {
        const int written = device->Write(block.data(), static_cast<int>(block.size()), 5);
        ASSERT_GE(written, 0);
        total += static_cast<size_t>(written);
        if (written < static_cast<int>(block.size())) ++shortWrites;
    }
    EXPECT_GT(shortWrites, 0);  // the server's buffers filled up
    const Bytes marker = {'E', 'N', 'D'};
    expected.store(total + marker.size());
    startReading.set_value();
    ASSERT_EQ(device->Write(marker.data(), 3, 30000), 3);
    auto future = received.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(40)), std::future_status::ready);
    const Bytes got = future.get();
    ASSERT_EQ(got.size(), total + marker.size());
    EXPECT_EQ(std::count(got.begin(), got.end() - 3, 0xFF), static_cast<std::ptrdiff_t>(total));
    EXPECT_EQ(Bytes(got.end() - 3, got.end()), marker);
    device->Close();
}

}  // namespace
