#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "link/Framing.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Encode(const Bytes& packet) {
    uint8_t frame[kFrameBufferSize];
    const int size = FrameEncode(packet.data(), static_cast<int>(packet.size()), frame, kFrameBufferSize);
    return Bytes(frame, frame + size);
}

struct Packet {
    uint32_t id;
    Bytes payload;
    bool operator==(const Packet&) const = default;
};

// Feeds bytes to a decoder and collects every completed packet.
std::vector<Packet> Decode(FrameDecoder& decoder, const Bytes& bytes) {
    std::vector<Packet> packets;
    for (uint8_t b : bytes) {
        if (FrameDecodeByte(decoder.Fields(), b) == 1) {
            packets.push_back(
                {decoder.packetId, Bytes(decoder.payload, decoder.payload + decoder.completedLength)});
        }
    }
    return packets;
}

std::vector<Packet> Decode(const Bytes& bytes) {
    FrameDecoder decoder;
    return Decode(decoder, bytes);
}

TEST(FrameEncode, DoublesADleInThePayload) {
    EXPECT_EQ(Encode({0x8E, 0x10, 0x4A}), (Bytes{0x10, 0x8E, 0x10, 0x10, 0x4A, 0x10, 0x03}));
}

TEST(FrameEncode, DoublesADleId) {
    const Bytes frame = Encode({0x10, 0x01});
    EXPECT_EQ(frame, (Bytes{0x10, 0x10, 0x10, 0x01, 0x10, 0x03}));
}

TEST(FrameEncode, EmptyPacketIsDleDleEtx) {
    EXPECT_EQ(Encode({}), (Bytes{0x10, 0x10, 0x03}));
}

TEST(FrameEncode, EtxInThePayloadIsNotEscaped) {
    EXPECT_EQ(Encode({0x45, 0x03, 0x03}), (Bytes{0x10, 0x45, 0x03, 0x03, 0x10, 0x03}));
}

TEST(FrameEncode, AFrameThatDoesNotFitIsRefusedWithoutWritingPastTheBuffer) {
    // 509 plain bytes make exactly 512; one more does not fit.
    EXPECT_EQ(Encode(Bytes(509, 0x41)).size(), 512u);
    EXPECT_TRUE(Encode(Bytes(510, 0x41)).empty());
    // 254 DLEs double to 508 (+3 = 511); 255 double to 510 (+3 = 513).
    EXPECT_EQ(Encode(Bytes(254, 0x10)).size(), 511u);
    EXPECT_TRUE(Encode(Bytes(255, 0x10)).empty());

    // A small buffer: guard bytes after it stay untouched.
    uint8_t buffer[12];
    std::fill(std::begin(buffer), std::end(buffer), 0xEE);
    const Bytes packet(20, 0x10);
    EXPECT_EQ(FrameEncode(packet.data(), 20, buffer, 8), 0);
    for (int i = 8; i < 12; ++i) EXPECT_EQ(buffer[i], 0xEE);
    EXPECT_EQ(FrameEncode(packet.data(), -1, buffer, 8), 0);
    EXPECT_EQ(FrameEncode(packet.data(), 0, buffer, 2), 0);
}

TEST(FrameDecodeByte, UnstuffsAndKeepsEtxInsideThePayload) {
    const auto packets = Decode({0x10, 0x45, 0x01, 0x10, 0x10, 0x03, 0x10, 0x03});
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Packet{0x45, {0x01, 0x10, 0x03}}));
}

TEST(FrameDecodeByte, FieldsStartAtZero) {
    FrameDecoder decoder;
    EXPECT_EQ(decoder.collectedLength, 0);
    EXPECT_EQ(decoder.completedLength, 0u);
    EXPECT_EQ(decoder.dleFlag, 0u);
    EXPECT_EQ(decoder.packetId, 0u);
}

TEST(FrameDecodeByte, PacketSplitBetweenDleAndEtxCompletesOnTheEtx) {
    FrameDecoder decoder;
    EXPECT_TRUE(Decode(decoder, {0x10, 0x8F, 0x15, 0x00, 0x10}).empty());
    EXPECT_EQ(decoder.dleFlag, 1u);
    const auto packets = Decode(decoder, {0x03});
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Packet{0x8F, {0x15, 0x00}}));
}

TEST(FrameDecodeByte, ADleIdPairAbandonsThePacketBeingAssembled) {
    const auto packets = Decode({0x10, 0x4A, 0x01, 0x02, 0x03, 0x10, 0x55, 0x04, 0x05, 0x10, 0x03});
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Packet{0x55, {0x04, 0x05}}));
}

TEST(FrameDecodeByte, JunkAfterAPacketBecomesAPacketWithThePreviousId) {
    FrameDecoder decoder;
    const auto first = Decode(decoder, {0x10, 0x45, 0x01, 0x10, 0x03});
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(decoder.packetId, 0x45u);  // kept after the packet
    const auto junk = Decode(decoder, {0x77, 0x88, 0x10, 0x03});
    ASSERT_EQ(junk.size(), 1u);
    EXPECT_EQ(junk[0], (Packet{0x45, {0x77, 0x88}}));
}

TEST(FrameDecodeByte, JunkBeforeADleIdPairIsDropped) {
    const auto packets = Decode({0x01, 0x02, 0x03, 0xFF, 0x10, 0xBB, 0x00, 0x10, 0x03});
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Packet{0xBB, {0x00}}));
}

TEST(FrameDecodeByte, EmptyPacket) {
    const auto packets = Decode({0x10, 0x1F, 0x10, 0x03});
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Packet{0x1F, {}}));
}

TEST(FrameDecodeByte, PayloadOf511BytesIsDelivered) {
    Bytes stream{0x10, 0x8F};
    stream.insert(stream.end(), 511, 0x5A);
    stream.insert(stream.end(), {0x10, 0x03});
    const auto packets = Decode(stream);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].id, 0x8Fu);
    EXPECT_EQ(packets[0].payload, Bytes(511, 0x5A));
}

TEST(FrameDecodeByte, PayloadOf512BytesIsDroppedAndItsEndYieldsAnEmptyPacketWithIdZero) {
    Bytes stream{0x10, 0x8F};
    stream.insert(stream.end(), 512, 0x5A);
    stream.insert(stream.end(), {0x10, 0x03});
    const auto packets = Decode(stream);
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0], (Packet{0x00, {}}));
}

TEST(FrameDecodeByte, GuardKeepsAnEndlessStreamInsideThePayloadBuffer) {
    FrameDecoder decoder;
    for (int i = 0; i < 5000; ++i) {
        EXPECT_EQ(FrameDecodeByte(decoder.Fields(), 0x10), 0);  // 2500 stuffed DLEs
        ASSERT_LE(decoder.collectedLength, kPayloadBufferSize);
    }
    decoder.collectedLength = -7;  // a corrupted field is reset, never used as an index
    EXPECT_EQ(FrameDecodeByte(decoder.Fields(), 0x41), 0);
    EXPECT_EQ(decoder.collectedLength, 1);
}

// Many frames with payloads full of DLE and ETX bytes, junk between some of them.
struct Stream {
    Bytes bytes;
    std::vector<Packet> packets;
};

Stream ManyFrames(uint32_t seed, int count) {
    std::mt19937 random(seed);
    Stream stream;
    const uint8_t interesting[] = {0x10, 0x03, 0x8F, 0x00, 0xFF};
    for (int n = 0; n < count; ++n) {
        Packet packet;
        do {
            packet.id = random() % 256;
        } while (packet.id == 0x10 || packet.id == 0x03);  // a DLE or ETX id would not delimit
        const int length = static_cast<int>(random() % 60);
        for (int i = 0; i < length; ++i) {
            packet.payload.push_back(random() % 3 == 0 ? interesting[random() % 5]
                                                       : static_cast<uint8_t>(random()));
        }
        Bytes whole{static_cast<uint8_t>(packet.id)};
        whole.insert(whole.end(), packet.payload.begin(), packet.payload.end());
        const Bytes frame = Encode(whole);
        stream.bytes.insert(stream.bytes.end(), frame.begin(), frame.end());
        stream.packets.push_back(packet);
        if (random() % 4 == 0) {
            // Junk that contains no DLE: dropped by the next DLE-id pair.
            for (int i = static_cast<int>(random() % 8); i > 0; --i)
                stream.bytes.push_back(0x20 + random() % 64);
        }
    }
    return stream;
}

// The decoder is fed in pieces; between pieces only its fields survive (copied to a fresh record,
// as a Port Context keeps them between pumps).
std::vector<Packet> DecodeInPieces(const Bytes& bytes, const std::vector<size_t>& cuts) {
    FrameDecoder decoder;
    std::vector<Packet> packets;
    size_t begin = 0;
    for (size_t i = 0; i <= cuts.size(); ++i) {
        const size_t end = i < cuts.size() ? cuts[i] : bytes.size();
        const auto piece = Decode(
            decoder, Bytes(bytes.begin() + static_cast<long>(begin), bytes.begin() + static_cast<long>(end)));
        packets.insert(packets.end(), piece.begin(), piece.end());
        FrameDecoder next = decoder;
        decoder = next;
        begin = end;
    }
    return packets;
}

TEST(FrameDecodeByte, SameStreamSplitAtEveryPositionGivesTheSamePackets) {
    const Stream stream = ManyFrames(7, 40);
    ASSERT_EQ(Decode(stream.bytes), stream.packets);
    for (size_t cut = 0; cut <= stream.bytes.size(); ++cut) {
        ASSERT_EQ(DecodeInPieces(stream.bytes, {cut}), stream.packets) << "split at " << cut;
    }
}

TEST(FrameDecodeByte, SameStreamInRandomReadSizesGivesTheSamePackets) {
    const Stream stream = ManyFrames(11, 300);
    std::mt19937 random(3);
    for (int round = 0; round < 50; ++round) {
        std::vector<size_t> cuts;
        for (size_t at = random() % 20; at < stream.bytes.size(); at += 1 + random() % 40) cuts.push_back(at);
        ASSERT_EQ(DecodeInPieces(stream.bytes, cuts), stream.packets) << "round " << round;
    }
}

}  // namespace
