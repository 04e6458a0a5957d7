// The rfc2217:// device against scripted servers, well-behaved and not: every call must end in
// bounded time and a broken server must look like a missing or hung-up device.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "ScriptedServer.h"
#include "serial/network/NetworkDevice.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const Bytes kOffer = {0xFF, 0xFB, 0x2C, 0xFF, 0xFB, 0x00, 0xFF, 0xFD,
                      0x00, 0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03};

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// Reads from the device until `count` bytes arrived or the device fails; gives up after 10 s.
Bytes ReadAtLeast(SerialDevice& device, size_t count) {
    Bytes got;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (got.size() < count && Clock::now() < deadline) {
        uint8_t buffer[64];
        const int n = device.Read(buffer, sizeof buffer);
        if (n < 0) break;
        got.insert(got.end(), buffer, buffer + n);
        if (n == 0) device.WaitReadable(50);
    }
    return got;
}

TEST(NetworkDeviceOpen, SendsTheOfferAndOpensWhenComPortIsAccepted) {
    std::promise<Bytes> offer;
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        offer.set_value(c.Raw());
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    auto future = offer.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const Bytes raw = future.get();
    ASSERT_GE(raw.size(), kOffer.size());
    EXPECT_EQ(Bytes(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(kOffer.size())), kOffer);
    DeviceLineSettings settings;
    ASSERT_TRUE(device->GetLineSettings(settings));
    EXPECT_EQ(settings.baudRate, 9600);
    EXPECT_EQ(settings.dataBits, 8);
    EXPECT_TRUE(device->Close());
    EXPECT_TRUE(server.WaitDone());
}

TEST(NetworkDeviceOpen, AnswersEachOtherOptionOnceAndDeclinesIt) {
    std::promise<Bytes> seen;
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.ExpectRaw({0xFF, 0xFB, 0x2C}));
        // WILL ECHO twice and DO TIMING-MARK, then accept the COM-PORT option.
        c.Send({0xFF, 0xFB, 0x01, 0xFF, 0xFB, 0x01, 0xFF, 0xFD, 0x06, 0xFF, 0xFD, 0x2C});
        const bool declined = c.ExpectRaw({0xFF, 0xFE, 0x01}) && c.ExpectRaw({0xFF, 0xFC, 0x06});
        EXPECT_TRUE(declined);
        c.WaitPeerClosed();
        seen.set_value(c.Raw());
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    int32_t in = -1, out = -1;
    device->QueueCounts(in, out);
    EXPECT_EQ(in, 0);
    device->Close();
    auto future = seen.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    const Bytes raw = future.get();
    int dontEcho = 0;
    for (size_t i = 0; i + 2 < raw.size(); ++i)
        dontEcho += raw[i] == 0xFF && raw[i + 1] == 0xFE && raw[i + 2] == 0x01;
    EXPECT_EQ(dontEcho, 1);
}

TEST(NetworkDeviceOpen, FailsWhenTheServerRefusesComPort) {
    ScriptedServer server([](ScriptedConnection& c) {
        ASSERT_TRUE(c.ExpectRaw({0xFF, 0xFB, 0x2C}));
        c.Send({0xFF, 0xFE, 0x2C});
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(device->Open(server.DeviceName()));
    EXPECT_LT(Since(start), milliseconds(kNetworkConnectTimeoutMs));
    EXPECT_EQ(device->LastFailure().code, SerialFailureCode::kComPortRefused);
    DeviceLineSettings settings;
    EXPECT_FALSE(device->GetLineSettings(settings));
}

TEST(NetworkDeviceOpen, FailsInBoundedTimeWhenTheServerNeverAnswers) {
    ScriptedServer server([](ScriptedConnection& c) { c.WaitPeerClosed(std::chrono::seconds(15)); });
    auto device = CreateNetworkDevice();
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(device->Open(server.DeviceName()));
    EXPECT_GE(Since(start), milliseconds(kNetworkConnectTimeoutMs - 100));
    EXPECT_LT(Since(start), milliseconds(3 * kNetworkConnectTimeoutMs));
    EXPECT_EQ(device->LastFailure().code, SerialFailureCode::kNoAnswer);
}

TEST(NetworkDeviceOpen, FailsWhenTheServerClosesAtOnce) {
    ScriptedServer server([](ScriptedConnection& c) { c.Close(); });
    auto device = CreateNetworkDevice();
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(device->Open(server.DeviceName()));
    EXPECT_LT(Since(start), milliseconds(kNetworkConnectTimeoutMs));
    EXPECT_EQ(device->LastFailure().code, SerialFailureCode::kConnectionRefused);
}

TEST(NetworkDeviceOpen, FailsWhenNothingListens) {
    auto device = CreateNetworkDevice();
    EXPECT_FALSE(device->Open("rfc2217://127.0.0.1:" + std::to_string(UnusedLoopbackPort())));
    EXPECT_EQ(device->LastFailure().code, SerialFailureCode::kConnectionRefused);
}

TEST(NetworkDeviceOpen, FailsOnAMalformedName) {
    auto device = CreateNetworkDevice();
    EXPECT_FALSE(device->Open("rfc2217://127.0.0.1"));
    EXPECT_FALSE(device->Open("/dev/ttyS0"));
}

TEST(NetworkDeviceClosed, EveryOperationFails) {
    auto device = CreateNetworkDevice();
    DeviceLineSettings settings;
    int32_t in = 0, out = 0;
    uint8_t byte = 0;
    EXPECT_FALSE(device->SetQueueSizes(4096, 4096));
    EXPECT_FALSE(device->GetLineSettings(settings));
    EXPECT_FALSE(device->SetLineSettings(settings));
    EXPECT_FALSE(device->QueueCounts(in, out));
    EXPECT_EQ(device->Read(&byte, 1), -1);
    EXPECT_EQ(device->Write(&byte, 1, 10), -1);
    EXPECT_FALSE(device->WaitReadable(10));
    EXPECT_FALSE(device->PurgeInput());
    EXPECT_FALSE(device->PurgeOutput());
    EXPECT_FALSE(device->SetBreak(true));
    EXPECT_FALSE(device->Close());
}

TEST(NetworkDeviceSettings, SendsTheFourCommandsAndTakesTheAcknowledgedValues) {
    std::promise<Bytes> request;
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        const size_t before = c.Raw().size();
        ASSERT_TRUE(c.AcknowledgeCommands(4));
        const Bytes raw = c.Raw();
        request.set_value(Bytes(raw.begin() + static_cast<std::ptrdiff_t>(before), raw.end()));
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    const DeviceLineSettings wanted{4800, 2, 7, 2};  // 4800 baud, even parity, 7 data bits, two stop bits
    ASSERT_TRUE(device->SetLineSettings(wanted));
    DeviceLineSettings now;
    ASSERT_TRUE(device->GetLineSettings(now));
    EXPECT_EQ(now.baudRate, 4800);
    EXPECT_EQ(now.parity, 2);
    EXPECT_EQ(now.dataBits, 7);
    EXPECT_EQ(now.stopBits, 2);
    device->Close();
    auto future = request.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), (Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x12, 0xC0, 0xFF, 0xF0,  //
                                   0xFF, 0xFA, 0x2C, 0x02, 0x07, 0xFF, 0xF0,                    //
                                   0xFF, 0xFA, 0x2C, 0x03, 0x03, 0xFF, 0xF0,                    //
                                   0xFF, 0xFA, 0x2C, 0x04, 0x02, 0xFF, 0xF0}));
}

TEST(NetworkDeviceSettings, FailsInBoundedTimeWhenAnAcknowledgementIsMissing) {
    ScriptedServer server([](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        c.AcknowledgeCommands(3);  // the stop size is never acknowledged
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    const Clock::time_point start = Clock::now();
    EXPECT_FALSE(device->SetLineSettings(DeviceLineSettings{9600, 0, 8, 0}));
    EXPECT_GE(Since(start), milliseconds(kNetworkAckTimeoutMs - 100));
    EXPECT_LT(Since(start), milliseconds(3 * kNetworkAckTimeoutMs));
    device->Close();
}

TEST(NetworkDeviceSettings, FailsWhenTheServerKeepsOtherValues) {
    ScriptedServer server([](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        for (int i = 0; i < 4; ++i) {
            TelnetEvent event;
            ASSERT_TRUE(c.NextEvent(event));
            if (event.kind != TelnetEvent::Kind::Subnegotiation) {
                --i;  // the client's answers to the negotiation
                continue;
            }
            Bytes reply;
            if (event.value[0] == kComPortSetParity) {
                ComPortEncodeU8(kComPortSetParity + kComPortServerOffset, kComPortParityNone, reply);
            } else {
                ComPortEncode(static_cast<uint8_t>(event.value[0] + kComPortServerOffset),
                              event.value.data() + 1, event.valueLength - 1, reply);
            }
            c.Send(reply);
        }
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    EXPECT_FALSE(device->SetLineSettings(DeviceLineSettings{9600, 1, 8, 0}));
    EXPECT_EQ(device->LastFailure().code, SerialFailureCode::kSettingsNotAcknowledged);
    DeviceLineSettings now;
    ASSERT_TRUE(device->GetLineSettings(now));
    EXPECT_EQ(now.parity, 0);  // what the server reports is what the device says
    device->Close();
}

TEST(NetworkDeviceData, IacIsDoubledBothWaysAndSplitPairsJoin) {
    std::promise<Bytes> written;
    std::promise<void> firstHalfTaken;
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        ASSERT_TRUE(c.ExpectRaw({0x10, 0xFF, 0xFF, 0x03, 0x10, 0x10}));
        written.set_value(c.ExpectData(5));
        c.Send({0x10, 0x45, 0xFF});
        firstHalfTaken.get_future().wait_for(std::chrono::seconds(10));
        c.Send({0xFF, 0x10});
        c.Send({0x10, 0x10, 0x03});
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    const Bytes data = {0x10, 0xFF, 0x03, 0x10, 0x10};
    EXPECT_EQ(device->Write(data.data(), static_cast<int>(data.size()), 1000), 5);
    auto future = written.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(), data);

    Bytes got = ReadAtLeast(*device, 2);
    firstHalfTaken.set_value();
    const Bytes rest = ReadAtLeast(*device, 5 - got.size() + 1);
    got.insert(got.end(), rest.begin(), rest.end());
    EXPECT_EQ(got, (Bytes{0x10, 0x45, 0xFF, 0x10, 0x10, 0x10, 0x03}));
    device->Close();
}

TEST(NetworkDeviceData, QueueCountIsDataNotYetTakenAndIgnoresModemState) {
    std::promise<void> sent;
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        // Data, an unsolicited modem-state report, a doubled IAC, more data.
        c.Send({0x41, 0x42, 0xFF, 0xFA, 0x2C, 0x6B, 0xB0, 0xFF, 0xF0, 0xFF, 0xFF, 0x43});
        sent.set_value();
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    sent.get_future().wait_for(std::chrono::seconds(10));
    int32_t in = 0, out = -1;
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
    while (in < 4 && Clock::now() < deadline) {
        ASSERT_TRUE(device->QueueCounts(in, out));
        if (in < 4) device->WaitReadable(50);
    }
    EXPECT_EQ(in, 4);
    EXPECT_EQ(out, 0);
    uint8_t buffer[8] = {};
    EXPECT_EQ(device->Read(buffer, 2), 2);
    ASSERT_TRUE(device->QueueCounts(in, out));
    EXPECT_EQ(in, 2);
    EXPECT_EQ(device->Read(buffer + 2, 8), 2);
    EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{0x41, 0x42, 0xFF, 0x43}));
    device->Close();
}

TEST(NetworkDeviceData, ConnectionClosedInMidFrameLooksHungUp) {
    ScriptedServer server([](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        ASSERT_TRUE(c.ExpectRaw({0xFF, 0xFA, 0x2C, 0x0C, 0x02, 0xFF, 0xF0}));  // the device is open
        c.Send({0x10, 0x45, 0xFF, 0xFA, 0x2C, 0x65, 0x00});  // a packet and an acknowledgement, both cut
        c.Close();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    ASSERT_TRUE(device->PurgeOutput());
    ASSERT_TRUE(server.WaitDone());
    const Clock::time_point start = Clock::now();
    const Bytes got = ReadAtLeast(*device, 100);
    EXPECT_EQ(got, (Bytes{0x10, 0x45}));
    uint8_t byte = 0;
    EXPECT_EQ(device->Read(&byte, 1), -1);
    int32_t in = 0, out = 0;
    EXPECT_FALSE(device->QueueCounts(in, out));
    EXPECT_TRUE(device->WaitReadable(5000));  // returns at once: the caller is to read the hang-up
    EXPECT_EQ(device->Write(&byte, 1, 100), -1);
    EXPECT_FALSE(device->SetLineSettings(DeviceLineSettings{9600, 0, 8, 0}));
    EXPECT_LT(Since(start), std::chrono::seconds(5));
    EXPECT_TRUE(device->Close());
}

TEST(NetworkDeviceControl, BreakAndPurgesSendTheirCommands) {
    std::promise<Bytes> commands;
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        const size_t before = c.Raw().size();
        ASSERT_TRUE(c.ExpectRaw({0xFF, 0xFA, 0x2C, 0x0C, 0x02, 0xFF, 0xF0}));
        const Bytes raw = c.Raw();
        commands.set_value(Bytes(raw.begin() + static_cast<std::ptrdiff_t>(before), raw.end()));
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    EXPECT_TRUE(device->SetBreak(true));
    EXPECT_TRUE(device->SetBreak(false));
    EXPECT_TRUE(device->PurgeInput());
    EXPECT_TRUE(device->PurgeOutput());
    auto future = commands.get_future();
    ASSERT_EQ(future.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_EQ(future.get(),
              (Bytes{0xFF, 0xFA, 0x2C, 0x05, 0x05, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x05, 0x06, 0xFF, 0xF0,
                     0xFF, 0xFA, 0x2C, 0x0C, 0x01, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x0C, 0x02, 0xFF, 0xF0}));
    device->Close();
}

TEST(NetworkDeviceControl, PurgeInputDropsWhatWasReceived) {
    std::promise<void> sent;
    ScriptedServer server([&](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        c.Send({1, 2, 3});
        sent.set_value();
        c.WaitPeerClosed();
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    sent.get_future().wait_for(std::chrono::seconds(10));
    ASSERT_TRUE(device->WaitReadable(10000));
    EXPECT_TRUE(device->PurgeInput());
    int32_t in = -1, out = -1;
    ASSERT_TRUE(device->QueueCounts(in, out));
    EXPECT_EQ(in, 0);
    device->Close();
}

TEST(NetworkDeviceControl, InterruptReleasesAWaitingReader) {
    ScriptedServer server([](ScriptedConnection& c) {
        ASSERT_TRUE(c.AcceptNegotiation());
        c.WaitPeerClosed(std::chrono::seconds(15));
    });
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(server.DeviceName()));
    const Clock::time_point start = Clock::now();
    auto waiting = std::async(std::launch::async, [&] { return device->WaitReadable(20000); });
    std::this_thread::yield();
    device->Interrupt();
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_FALSE(waiting.get());
    EXPECT_LT(Since(start), std::chrono::seconds(10));
    EXPECT_FALSE(device->WaitReadable(20000));  // and every later wait too
    device->Close();
}

}  // namespace
