// The emulator's lines on their own, below the driver: the bytes on a pty, the network port's
// one-client rule, several receivers side by side, and a hang-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <vector>

#include "emulator/Emulator.h"
#include "link/Framing.h"
#include "serial/network/NetworkDevice.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(10);

// The slave end of an emulator's pty, opened raw like a serial port.
class PtyClient {
  public:
    explicit PtyClient(const std::string& path, speed_t speed = B9600, bool twoStopBits = false) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) return;
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, speed);
        ::cfsetospeed(&tio, speed);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
        if (twoStopBits) tio.c_cflag |= CSTOPB;
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~PtyClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    bool IsOpen() const { return fd_ >= 0; }
    bool Write(const Bytes& bytes) {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Reads until `count` bytes came, the line hung up, or the deadline passed.
    Bytes Read(size_t count, bool* hungUp = nullptr) {
        Bytes got;
        const Clock::time_point deadline = Clock::now() + kDeadline;
        while (got.size() < count && Clock::now() < deadline) {
            pollfd wait{fd_, POLLIN, 0};
            ::poll(&wait, 1, 50);
            uint8_t buffer[256];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n > 0) {
                got.insert(got.end(), buffer, buffer + n);
            } else if ((n == 0 || (n < 0 && errno == EIO)) && (wait.revents & POLLHUP) != 0) {
                if (hungUp != nullptr) *hungUp = true;
                break;
            }
        }
        return got;
    }

  private:
    int fd_ = -1;
};

// Decodes every packet in `bytes` (id first).
std::vector<Bytes> Packets(const Bytes& bytes) {
    FrameDecoder decoder;
    std::vector<Bytes> packets;
    for (const uint8_t byte : bytes) {
        if (FrameDecodeByte(decoder.Fields(), byte) == 1) {
            Bytes packet = {static_cast<uint8_t>(decoder.packetId)};
            packet.insert(packet.end(), decoder.payload, decoder.payload + decoder.completedLength);
            packets.push_back(packet);
        }
    }
    return packets;
}

EmulatorOptions PtyOptions(int count = 1) {
    EmulatorOptions options;
    options.usePty = true;
    options.count = count;
    return options;
}

TEST(EmulatorPty, LinkCheckFrameOnTheWire) {
    Emulator emulator(PtyOptions());
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;
    PtyClient client(emulator.Address(0));
    ASSERT_TRUE(client.IsOpen());
    ASSERT_TRUE(client.Write({0x10, 0x1F, 0x10, 0x03}));
    EXPECT_EQ(client.Read(14),
              (Bytes{0x10, 0x45, 0x03, 0x02, 0x0F, 0x06, 0x18, 0x02, 0x01, 0x0B, 0x12, 0x18, 0x10, 0x03}));
}

TEST(EmulatorPty, ReportsAreStuffedAndCarryTheWholeGroup) {
    Emulator emulator(PtyOptions());
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;
    PtyClient client(emulator.Address(0));
    ASSERT_TRUE(client.Write({0x10, 0xBB, 0x00, 0x10, 0x03}));
    const Bytes wire = client.Read(48);  // 44 bytes, one of them 0x10 doubled, plus DLE, DLE ETX
    ASSERT_EQ(wire.size(), 48u);
    EXPECT_EQ(std::search_n(wire.begin() + 1, wire.end() - 2, 2, 0x10) - wire.begin(), 2 + 27);
    const std::vector<Bytes> packets = Packets(wire);
    ASSERT_EQ(packets.size(), 1u);
    const ReceiverStatus status = emulator.Status(0);
    const uint8_t* gps = status.current.Group(4);
    Bytes expected = {0xBB};
    expected.insert(expected.end(), gps, gps + 43);
    EXPECT_EQ(packets[0], expected);
}

TEST(EmulatorPty, StopBitsAreSeenAndParityIsNot) {
    Emulator emulator(PtyOptions());
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;
    {
        PtyClient client(emulator.Address(0), B9600, true);
        ASSERT_TRUE(emulator.WaitFor(
            0, [](const ReceiverStatus& s) { return !s.lineMatches; }, kDeadline));
        EXPECT_EQ(emulator.Status(0).pcSide.stopBits, 2);
        ASSERT_TRUE(client.Write({0x10, 0x1F, 0x10, 0x03}));
        ASSERT_TRUE(emulator.WaitFor(
            0, [](const ReceiverStatus& s) { return s.bytesLost == 4; }, kDeadline));
        EXPECT_EQ(emulator.Status(0).packetsReceived, 0u);
    }
    PtyClient client(emulator.Address(0));
    ASSERT_TRUE(emulator.WaitFor(
        0, [](const ReceiverStatus& s) { return s.lineMatches; }, kDeadline));
    EXPECT_EQ(emulator.Status(0).pcSide, (PortLine{9600, 8, 0, 1}));
}

TEST(EmulatorPty, SeveralReceiversAreIndependent) {
    Emulator emulator(PtyOptions(3));
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;
    ASSERT_EQ(emulator.Count(), 3);
    EXPECT_NE(emulator.Address(0), emulator.Address(1));
    EXPECT_NE(emulator.Address(1), emulator.Address(2));
    PtyClient second(emulator.Address(1));
    ASSERT_TRUE(second.Write({0x10, 0x8E, 0x4E, 0x02, 0x10, 0x03}));
    ASSERT_TRUE(emulator.WaitFor(
        1, [](const ReceiverStatus& s) { return s.packetsReceived == 1; }, kDeadline));
    EXPECT_EQ(emulator.Status(1).current.Group(10)[1], 2);
    EXPECT_EQ(emulator.Status(0).current.Group(10)[1], 3);
    EXPECT_EQ(emulator.Status(2).current.Group(10)[1], 3);
    EXPECT_EQ(emulator.Status(0).packetsReceived, 0u);
}

TEST(EmulatorPty, HangupAfterBytesClosesTheLine) {
    EmulatorOptions options = PtyOptions();
    options.hangupAfterBytes = 5;
    Emulator emulator(options);
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;
    PtyClient client(emulator.Address(0));
    ASSERT_TRUE(client.Write({0x10, 0x1F, 0x10, 0x03}));
    bool hungUp = false;
    const Bytes got = client.Read(100, &hungUp);
    EXPECT_EQ(got, (Bytes{0x10, 0x45, 0x03, 0x02, 0x0F}));
    EXPECT_TRUE(hungUp);
    EXPECT_TRUE(emulator.Status(0).hungUp);
}

TEST(EmulatorNetwork, OneClientAtATime) {
    Emulator emulator{EmulatorOptions{}};
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;
    ASSERT_EQ(emulator.DeviceName(0).rfind("rfc2217://127.0.0.1:", 0), 0u);
    auto first = CreateNetworkDevice();
    ASSERT_TRUE(first->Open(emulator.DeviceName(0)));
    auto second = CreateNetworkDevice();
    EXPECT_FALSE(second->Open(emulator.DeviceName(0)));
    ASSERT_TRUE(first->Close());
    ASSERT_TRUE(emulator.WaitFor(
        0, [](const ReceiverStatus& s) { return !s.connected; }, kDeadline));
    EXPECT_TRUE(second->Open(emulator.DeviceName(0)));
    EXPECT_EQ(emulator.Status(0).connections, 2u);
    second->Close();
}

TEST(EmulatorNetwork, AcknowledgesWhatItTakesAndRefusesMarkParity) {
    Emulator emulator{EmulatorOptions{}};
    std::string error;
    ASSERT_TRUE(emulator.Start(error)) << error;
    auto device = CreateNetworkDevice();
    ASSERT_TRUE(device->Open(emulator.DeviceName(0)));
    EXPECT_TRUE(device->SetLineSettings(DeviceLineSettings{2400, 2, 7, 2}));
    EXPECT_EQ(emulator.Status(0).pcSide, (PortLine{2400, 7, 2, 2}));
    // One and a half stop bits are not something a receiver port does: refused, the old value stays.
    EXPECT_FALSE(device->SetLineSettings(DeviceLineSettings{2400, 2, 7, 1}));
    DeviceLineSettings now;
    ASSERT_TRUE(device->GetLineSettings(now));
    EXPECT_EQ(now.stopBits, 2);
    device->Close();
}

TEST(EmulatorNetwork, ConsecutivePortsForSeveralReceivers) {
    for (int attempt = 0; attempt < 5; ++attempt) {
        EmulatorOptions options;
        options.count = 2;
        options.listenPort = static_cast<uint16_t>(20000 + (::getpid() * 7 + attempt * 131) % 30000);
        Emulator emulator(options);
        std::string error;
        if (!emulator.Start(error)) continue;  // taken by someone else: try other numbers
        EXPECT_EQ(emulator.Address(0), "127.0.0.1:" + std::to_string(options.listenPort));
        EXPECT_EQ(emulator.Address(1), "127.0.0.1:" + std::to_string(options.listenPort + 1));
        return;
    }
    FAIL() << "no two free consecutive ports found";
}

TEST(EmulatorNetwork, StartFailsWithAReasonOnABadHost) {
    EmulatorOptions options;
    options.listenHost = "256.1.1.1";
    Emulator emulator(options);
    std::string error;
    EXPECT_FALSE(emulator.Start(error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(emulator.Count(), 0);
}

}  // namespace
