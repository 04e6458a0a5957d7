// Port sessions on real pseudo-terminals: the slave end is the comm port, the master end plays
// the receiver's line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "link/Framing.h"
#include "link/PortContext.h"
#include "serial/Serial.h"
#include "support/Pty.h"
#include "support/WaitUntil.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

struct Received {
    int32_t commPortNumber;
    uint32_t id;
    Bytes payload;
};
std::vector<Received> received;

void RecordingHandler(PortContext& context) {
    received.push_back({context.commPortNumber, context.packetId,
                        Bytes(context.payloadBuffer, context.payloadBuffer + context.completedLength)});
}

Bytes Frame(const Bytes& packet) {
    uint8_t frame[kFrameBufferSize];
    const int size = FrameEncode(packet.data(), static_cast<int>(packet.size()), frame, kFrameBufferSize);
    return Bytes(frame, frame + size);
}

class PortSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        received.clear();
        ASSERT_TRUE(line.IsOpen());
    }
    void TearDown() override {
        SerialCloseAll();
        SerialResetDeviceNames();
    }
    // Opens Port Context commIndex on the pty.
    void Open(int commIndex, PtyPair& pty) {
        const int port = commIndex + 1;
        ASSERT_TRUE(SerialSetDeviceName(static_cast<uint8_t>(port), pty.SlavePath()));
        ASSERT_EQ(OpenPortContext(PortContexts[static_cast<size_t>(commIndex)], port), 1);
    }
    // Writes bytes to the line and waits until the port's Receive Ring holds `expected` bytes.
    void Arrive(PtyPair& pty, int port, const Bytes& bytes, int32_t expected) {
        ASSERT_TRUE(pty.Write(bytes));
        ASSERT_TRUE(WaitUntil([&] { return SerialReceiveCount(static_cast<uint8_t>(port)) >= expected; }));
    }
    PtyPair line;
};

TEST_F(PortSessionTest, OpenResetsTheDecoderButKeepsIdBuffersAndBookkeeping) {
    PortContext& context = PortContexts[4];
    context.readPosition = 17;
    context.collectedLength = 99;
    context.bytesRemaining = 5;
    context.completedLength = 12;
    context.dleFlag = 1;
    context.packetId = 0x8F;
    context.payloadBuffer[3] = 0x77;
    context.operationMode = kModeConfiguring;
    context.linkState = kLinkCheckSent;
    context.groupStatus[2] = kGroupDiffers;
    context.portResult = kResultGroupDiffers;
    Open(4, line);
    EXPECT_EQ(context.readPosition, 0);
    EXPECT_EQ(context.collectedLength, 0);
    EXPECT_EQ(context.bytesRemaining, 0u);
    EXPECT_EQ(context.completedLength, 0u);
    EXPECT_EQ(context.dleFlag, 0u);
    EXPECT_EQ(context.commPortNumber, 5);
    EXPECT_EQ(context.packetId, 0x8Fu);
    EXPECT_EQ(context.payloadBuffer[3], 0x77);
    EXPECT_EQ(context.operationMode, kModeConfiguring);
    EXPECT_EQ(context.linkState, kLinkCheckSent);
    EXPECT_EQ(context.groupStatus[2], kGroupDiffers);
    EXPECT_EQ(context.portResult, kResultGroupDiffers);
    uint8_t mode = 0;
    int32_t baud = 0, parity = -1, dataBits = 0, stopBits = -1;
    ASSERT_EQ(SerialGetParams(5, &mode, &baud, &parity, &dataBits, &stopBits), 1);
    EXPECT_EQ(mode, kAccessThreaded);
    EXPECT_EQ(baud, 9600);
    EXPECT_EQ(stopBits, 0);
}

TEST_F(PortSessionTest, OpenFailsForAPortThatCannotBeOpened) {
    ASSERT_TRUE(SerialSetDeviceName(7, "/dev/no-such-device-here"));
    EXPECT_EQ(OpenPortContext(PortContexts[6], 7), 0);
    EXPECT_EQ(PortContexts[6].commPortNumber, 7);
    EXPECT_EQ(OpenPortContext(PortContexts[6], 0), 0);
    EXPECT_EQ(OpenPortContext(PortContexts[6], 300), 0);
}

TEST_F(PortSessionTest, ReportSplitBetweenTwoPumpsReachesTheHandlerOnceInTheSecond) {
    Open(4, line);
    const Bytes frame = Frame({0x8F, 0x4E, 0x10, 0x03});
    const Bytes first(frame.begin(), frame.begin() + 5);  // ends inside the stuffed DLE pair
    const Bytes second(frame.begin() + 5, frame.end());
    Arrive(line, 5, first, static_cast<int32_t>(first.size()));
    EXPECT_EQ(PumpPort(PortContexts[4], RecordingHandler), 0);
    EXPECT_TRUE(received.empty());
    Arrive(line, 5, second, static_cast<int32_t>(second.size()));
    PumpPort(PortContexts[4], RecordingHandler);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].id, 0x8Fu);
    EXPECT_EQ(received[0].payload, (Bytes{0x4E, 0x10, 0x03}));
    // Context 4 serves Comm 5.
    EXPECT_EQ(received[0].commPortNumber, 5);
    EXPECT_EQ(PortContexts[4].readPosition, 0);
    EXPECT_EQ(PortContexts[4].bytesRemaining, 0u);
}

TEST_F(PortSessionTest, TwoReportsInOneReadReachTheHandlerInArrivalOrder) {
    Open(0, line);
    Bytes bytes = Frame({0x55, 0x01, 0x02, 0x03, 0x04});
    const Bytes second = Frame({0x45, 0x09});
    bytes.insert(bytes.end(), second.begin(), second.end());
    Arrive(line, 1, bytes, static_cast<int32_t>(bytes.size()));
    PumpPort(PortContexts[0], RecordingHandler);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].id, 0x55u);
    EXPECT_EQ(received[0].payload.size(), 4u);
    EXPECT_EQ(received[1].id, 0x45u);
    EXPECT_EQ(received[1].payload, Bytes{0x09});
    EXPECT_EQ(received[1].commPortNumber, 1);
}

TEST_F(PortSessionTest, StreamInRandomPiecesGivesEveryPacketOnce) {
    Open(2, line);
    Bytes stream;
    std::vector<Bytes> packets;
    for (int n = 0; n < 60; ++n) {
        Bytes packet{static_cast<uint8_t>(0x40 + n % 64)};
        for (int i = 0; i < n % 23; ++i) packet.push_back(static_cast<uint8_t>(i % 3 == 0 ? 0x10 : n + i));
        packets.push_back(packet);
        const Bytes frame = Frame(packet);
        stream.insert(stream.end(), frame.begin(), frame.end());
    }
    size_t at = 0;
    for (size_t piece = 1; at < stream.size(); piece = piece * 7 % 97 + 1) {
        const size_t size = std::min(piece, stream.size() - at);
        Arrive(line, 3,
               Bytes(stream.begin() + static_cast<long>(at), stream.begin() + static_cast<long>(at + size)),
               static_cast<int32_t>(size));
        PumpPort(PortContexts[2], RecordingHandler);
        at += size;
    }
    ASSERT_EQ(received.size(), packets.size());
    for (size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(received[i].id, packets[i][0]);
        EXPECT_EQ(received[i].payload, Bytes(packets[i].begin() + 1, packets[i].end()));
    }
}

TEST_F(PortSessionTest, ReadBytesCollectsWhatTheRingHoldsUpToTheCount) {
    Open(1, line);
    Arrive(line, 2, {1, 2, 3, 4, 5}, 5);
    uint8_t destination[8] = {};
    EXPECT_EQ(ReadBytes(destination, 3, 2), 3);
    EXPECT_EQ(ReadBytes(destination + 3, 8 - 3, 2), 2);
    EXPECT_EQ(Bytes(destination, destination + 5), (Bytes{1, 2, 3, 4, 5}));
    EXPECT_EQ(ReadBytes(destination, 8, 2), 0);
    EXPECT_EQ(ReadByte(destination, 2), 0);
    EXPECT_EQ(ReadBytes(destination, 8, 0), 0);  // no such port
    EXPECT_EQ(ReadBytes(destination, 8, 41), 0);
}

TEST_F(PortSessionTest, ProbeOfAnUnusedPortReturnsZeroAndOverwritesNothing) {
    Open(8, line);
    uint8_t reply[kBreakReplySize];
    std::memset(reply, 0x5A, sizeof reply);
    EXPECT_EQ(ProbeBreakReply(reply, 8), 0);
    for (uint8_t b : PortContexts[8].rawReceiveBuffer) ASSERT_EQ(b, 0);
    for (uint8_t b : reply) ASSERT_EQ(b, 0x5A);
}

TEST_F(PortSessionTest, ProbeFindsTheReplyAndMarksWhatLiesBeforeIt) {
    Open(3, line);
    const std::string text = "\x01garbagPR;x,1,x,4800,8,1,O,x,;;";
    Bytes bytes(text.begin(), text.end());
    ASSERT_EQ(bytes[7], 'P');
    Arrive(line, 4, bytes, static_cast<int32_t>(bytes.size()));
    PortContexts[3].readPosition = 9;
    uint8_t reply[kBreakReplySize];
    ASSERT_EQ(ProbeBreakReply(reply, 3), 1);
    const uint8_t* buffer = PortContexts[3].rawReceiveBuffer;
    for (int i = 0; i < 7; ++i) EXPECT_EQ(buffer[i], 'a') << i;
    EXPECT_EQ(std::memcmp(buffer + 7, text.data() + 7, text.size() - 7), 0);
    EXPECT_EQ(std::memcmp(reply, text.data() + 7, text.size() - 7), 0);
    EXPECT_EQ(Bytes(reply + (text.size() - 7), reply + kBreakReplySize),
              Bytes(kBreakReplySize - (text.size() - 7), 0));
    EXPECT_EQ(PortContexts[3].readPosition, 0);
    uint8_t record[kPortConfigurationSize] = {};
    EXPECT_EQ(ParseBreakReply(reinterpret_cast<const char*>(reply), kBreakReplySize, record), 0);
    EXPECT_EQ(Bytes(record, record + 6), (Bytes{1, 6, 6, 3, 1, 0}));
}

TEST_F(PortSessionTest, ApplyPortSettingsSetsBaudAndStopBitsFromTheCodes) {
    Open(0, line);
    struct Row {
        uint8_t baudCode, dataCode, parityCode, stopCode;
        int32_t baud, stopBitsAsDeviceCodes;
    };
    const Row rows[] = {
        {7, 3, 1, 0, 9600, 0}, {12, 3, 0, 0, 9600, 0}, {255, 255, 255, 255, 9600, 0}, {9, 2, 2, 1, 38400, 2},
        {1, 3, 0, 1, 110, 2},  {2, 3, 0, 0, 300, 0},   {3, 3, 0, 0, 600, 0},          {4, 3, 0, 0, 1200, 0},
        {5, 3, 0, 0, 2400, 0}, {6, 3, 0, 0, 4800, 0},  {8, 3, 0, 0, 19200, 0},        {10, 3, 0, 2, 9600, 0},
    };
    for (const Row& row : rows) {
        const uint8_t record[kPortConfigurationSize] = {
            0, row.baudCode, 0x44, row.dataCode, row.parityCode, row.stopCode};
        ApplyPortSettings(record, 0);
        uint8_t mode = 0;
        int32_t baud = 0, parity = -1, dataBits = 0, stopBits = -1;
        ASSERT_EQ(SerialGetParams(1, &mode, &baud, &parity, &dataBits, &stopBits), 1);
        EXPECT_EQ(baud, row.baud) << int(row.baudCode);
        EXPECT_EQ(stopBits, row.stopBitsAsDeviceCodes) << int(row.stopCode);
        EXPECT_EQ(mode, kAccessThreaded);
    }
}

TEST_F(PortSessionTest, ApplyPortSettingsEmptiesTheReceiveRing) {
    Open(0, line);
    Arrive(line, 1, {1, 2, 3}, 3);
    const uint8_t record[kPortConfigurationSize] = {0, 6, 6, 3, 0, 0};
    ApplyPortSettings(record, 0);
    EXPECT_EQ(SerialReceiveCount(1), 0);
}

TEST_F(PortSessionTest, ApplyPortSettingsForEveryConfiguringPort) {
    PtyPair second;
    ASSERT_TRUE(second.IsOpen());
    Open(0, line);
    Open(1, second);
    for (PortContext& context : PortContexts) context.operationMode = kModeIdle;
    PortContexts[1].operationMode = kModeConfiguring;
    const uint8_t record[kPortConfigurationSize] = {0, 6, 6, 3, 0, 1};
    ApplyPortSettings(record, -1);
    int32_t baud = 0, parity = 0, dataBits = 0, stopBits = 0;
    uint8_t mode = 0;
    ASSERT_EQ(SerialGetParams(1, &mode, &baud, &parity, &dataBits, &stopBits), 1);
    EXPECT_EQ(baud, 9600);
    EXPECT_EQ(stopBits, 0);
    ASSERT_EQ(SerialGetParams(2, &mode, &baud, &parity, &dataBits, &stopBits), 1);
    EXPECT_EQ(baud, 4800);
    EXPECT_EQ(stopBits, 2);
    PortContexts[1].operationMode = kModeIdle;
}

TEST_F(PortSessionTest, PacketSendPutsTheFrameOnTheLine) {
    Open(5, line);
    const uint8_t packet[] = {0x8E, 0x10, 0x4A};
    EXPECT_EQ(PacketSend(3, packet, PortContexts[5]), 0);
    EXPECT_EQ(line.Read(7), (Bytes{0x10, 0x8E, 0x10, 0x10, 0x4A, 0x10, 0x03}));
    EXPECT_EQ(PacketSend(0, packet, PortContexts[5]), 0);
    EXPECT_EQ(line.Read(3), (Bytes{0x10, 0x10, 0x03}));
}

TEST_F(PortSessionTest, PacketSendSendsNothingOfAFrameThatDoesNotFit) {
    Open(5, line);
    const Bytes tooLong(255, 0x10);  // doubles to 510 bytes: 513 with DLE, DLE, ETX
    EXPECT_EQ(PacketSend(255, tooLong.data(), PortContexts[5]), 0);
    const uint8_t linkCheck[] = {0x1F};
    PacketSend(1, linkCheck, PortContexts[5]);
    EXPECT_EQ(line.Read(4), (Bytes{0x10, 0x1F, 0x10, 0x03}));
    EXPECT_TRUE(line.Read(1, 300ms).empty());  // nothing of the long frame follows
}

}  // namespace

// What the tally says came back: every byte received, and those no packet took.
struct TallyCase {
    const char* name;
    Bytes bytes;
    uint32_t unframed;
    uint32_t packets;
};

Bytes Junk(size_t count) {
    Bytes junk(count);
    for (size_t i = 0; i < count; ++i) junk[i] = static_cast<uint8_t>(0x80 | (i * 37 & 0x7F));
    return junk;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

TEST_F(PortSessionTest, TheTallyCountsTheBytesNoPacketTook) {
    const Bytes linkAnswer = Frame({0x45, 0x01, 0x02});
    const TallyCase cases[] = {
        {"a packet", linkAnswer, 0, 1},
        {"a packet with a doubled DLE", Frame({0x45, 0x10, 0x10, 0x03}), 0, 1},
        {"noise at a wrong baud rate", Junk(300), 300, 0},
        {"noise, then a packet", Join({Junk(7), linkAnswer}), 7, 1},
        {"a packet cut short by the next", Join({{0x10, 0x46, 0x01, 0x02}, linkAnswer}), 4, 1},
        {"noise past the 512-byte guard", Junk(1500), 1500, 0},
        {"a packet not yet complete", {0x10, 0x45, 0x01}, 3, 0},
        {"a packet, then a text", Join({linkAnswer, {'P', 'R', ';', '1', '\r', '\n'}}), 6, 1},
    };
    for (const TallyCase& c : cases) {
        SCOPED_TRACE(c.name);
        Open(0, line);
        Arrive(line, 1, c.bytes, static_cast<int32_t>(c.bytes.size()));
        PumpPort(PortContexts[0], nullptr);
        const ReceiveTally& tally = PortContexts[0].tally;
        EXPECT_EQ(tally.TotalReceived(), c.bytes.size());
        EXPECT_EQ(tally.TotalUnframed(), c.unframed);
        EXPECT_EQ(tally.TotalPackets(), c.packets);
        // Nothing of one session stays for the next.
        SerialClose(1);
    }
}

// Each line setting the PC side takes starts a stretch of its own, and what is pending at a switch
// stays with the settings before; a probe that finds no Break Reply counts what it read as
// unframed. Opening starts again from nothing.
TEST_F(PortSessionTest, TheTallyKeepsAStretchPerLineSetting) {
    Open(0, line);
    const ReceiveTally& tally = PortContexts[0].tally;
    uint8_t reply[kBreakReplySize];
    Arrive(line, 1, Junk(20), 20);
    EXPECT_EQ(ProbeBreakReply(reply, 0), 0);
    Arrive(line, 1, Junk(4), 4);
    PumpPort(PortContexts[0], nullptr);  // the start of a packet, perhaps: pending at the switch

    const uint8_t evenTwoStop[kPortConfigurationSize] = {0, 8, 8, 3, kParityCodeEven, kStopBitsCode2};
    ApplyPortSettings(evenTwoStop, 0);
    PumpPort(PortContexts[0], nullptr);  // listened, nothing came
    ApplyPortSettings(evenTwoStop, 0);
    Arrive(line, 1, Join({Junk(5), Frame({0x45, 0x01})}), 10);
    PumpPort(PortContexts[0], nullptr);

    ASSERT_EQ(tally.LineCount(), 3);
    const LineTally first = tally.Line(0);
    EXPECT_EQ(first.line, (PortLine{9600, 8, 0, 1}));
    EXPECT_EQ(first.listens, 2u);
    EXPECT_EQ(first.received, 24u);
    EXPECT_EQ(first.unframed, 24u);
    EXPECT_EQ(tally.Line(1).line, (PortLine{19200, 8, 2, 2}));
    EXPECT_EQ(tally.Line(1).listens, 1u);
    EXPECT_EQ(tally.Line(1).received, 0u);
    EXPECT_EQ(tally.Line(2).received, 10u);
    EXPECT_EQ(tally.Line(2).unframed, 5u);
    EXPECT_EQ(tally.Line(2).packets, 1u);
    EXPECT_EQ(tally.TotalUnframed(), 29u);

    Open(0, line);
    EXPECT_EQ(tally.LineCount(), 1);
    EXPECT_EQ(tally.TotalReceived(), 0u);
}
