// The network serial device against peers that misbehave on purpose: one that floods it faster than
// it decodes (also under a driver port nobody reads), one that stops reading while a write carries
// doubled 0xFF bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>

#include "ScriptedServer.h"
#include "serial/Serial.h"
#include "serial/SerialTesting.h"
#include "serial/network/NetworkDevice.h"
#include "support/WaitUntil.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// The real network device, counting the data bytes its user reads off it.
class CountingDevice final : public SerialDevice {
  public:
    explicit CountingDevice(std::atomic<uint64_t>& taken) : taken_(taken) {}
    bool Open(const std::string& name) override { return device_->Open(name); }
    SerialFailure LastFailure() const override { return device_->LastFailure(); }
    bool SetQueueSizes(int32_t in, int32_t out) override { return device_->SetQueueSizes(in, out); }
    bool GetLineSettings(DeviceLineSettings& line) override { return device_->GetLineSettings(line); }
    bool SetLineSettings(const DeviceLineSettings& line) override { return device_->SetLineSettings(line); }
    bool QueueCounts(int32_t& in, int32_t& out) override { return device_->QueueCounts(in, out); }
    int Read(uint8_t* buffer, int maxCount) override {
        const int count = device_->Read(buffer, maxCount);
        if (count > 0) taken_ += static_cast<uint64_t>(count);
        return count;
    }
    bool WaitReadable(int timeoutMs) override { return device_->WaitReadable(timeoutMs); }
    int Write(const uint8_t* data, int count, int timeoutMs) override {
        return device_->Write(data, count, timeoutMs);
    }
    bool PurgeInput() override { return device_->PurgeInput(); }
    bool PurgeOutput() override { return device_->PurgeOutput(); }
    bool SetBreak(bool on) override { return device_->SetBreak(on); }
    bool Close() override { return device_->Close(); }
    void Interrupt() override { device_->Interrupt(); }
    bool HoldsBackUnreadInput() const override { return device_->HoldsBackUnreadInput(); }

  private:
    std::unique_ptr<SerialDevice> device_ = CreateNetworkDevice();
    std::atomic<uint64_t>& taken_;
};

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

// A driver port on a flooding peer that nobody reads, with and without a byte waiting to go out:
// once the Receive Ring has stayed full for a while the I/O thread leaves the socket unread, so
// TCP holds the peer back. What the thread takes off the device stays within a few rings however
// long the flood lasts, the thread keeps its polls, and the waiting byte is written all the same.
TEST(NetworkDeviceData, AFullRingNobodyReadsHoldsAFloodingPeerBack) {
    constexpr uint8_t kPort = 1;
    constexpr int32_t kRing = 4096;
    // A thread that reads and drops takes a ring's worth at each of the twenty polls (two
    // seconds), or never finishes a poll while a byte waits.
    constexpr uint64_t kTakenBound = 10 * kRing;
    constexpr uint64_t kSentBound = 32u * 1024 * 1024;  // the socket buffers and more
    for (const bool byteWaiting : {false, true}) {
        SCOPED_TRACE(byteWaiting ? "a byte waiting to go out" : "nothing to send");
        std::atomic<uint64_t> sent{0};
        std::atomic<uint64_t> taken{0};
        const Bytes flood(64 * 1024, 0x55);
        ScriptedServer server([&](ScriptedConnection& c) {
            ASSERT_TRUE(c.AcceptNegotiation());
            ASSERT_TRUE(c.AcknowledgeCommands(4));
            while (c.Send(flood)) sent += flood.size();
        });
        SetSerialDeviceMaker([&](const std::string&) { return std::make_unique<CountingDevice>(taken); });
        ASSERT_TRUE(SerialSetDeviceName(kPort, server.DeviceName()));
        ASSERT_EQ(SerialOpen(kPort, kAccessThreaded, kRing, 9600, 0, 8, 1), 1)
            << DescribeSerialFailure(SerialLastFailure(kPort));
        if (byteWaiting) {
            ASSERT_EQ(SerialPutByte(kPort, 0x10), 1);
        }
        EXPECT_TRUE(
            WaitUntil([&] { return SerialIoPassCount(kPort) >= 20 || taken.load() > 64 * kTakenBound; }));
        EXPECT_GE(SerialIoPassCount(kPort), 20u) << "the I/O thread is stuck reading the flood";
        EXPECT_LE(taken.load(), kTakenBound) << "the flood was read and dropped instead of held back";
        EXPECT_LT(sent.load(), kSentBound);
        EXPECT_EQ(SerialReceiveCount(kPort), kRing - 1);
        EXPECT_EQ(SerialTransmitCount(kPort), 0) << "the waiting byte was never written";
        // Taking the bytes ends the hold: the next polls fill the ring again.
        uint8_t byte = 0;
        while (SerialGetByte(kPort, &byte) == 1) {
        }
        EXPECT_TRUE(WaitUntil([&] { return SerialReceiveCount(kPort) == kRing - 1; }));
        ASSERT_EQ(SerialClose(kPort), 1);
        SetSerialDeviceMaker(nullptr);
        SerialResetDeviceNames();
        EXPECT_TRUE(server.WaitDone());
    }
}

}  // namespace
