#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/Framing.h"
#include "messages/CommandRows.h"
#include "messages/SettingsCommands.h"

namespace {

using namespace command_rows;

Bytes FrameOf(const CommandRow& row) {
    uint8_t packet[kMaxPacketLength];
    const int length = row.build(row.group.empty() ? nullptr : row.group.data(), packet);
    if (length == 0) return {};
    uint8_t frame[kFrameBufferSize];
    const int size = FrameEncode(packet, length, frame, kFrameBufferSize);
    return Bytes(frame, frame + size);
}

TEST(SettingsCommands, EveryCommandGivesItsGoldenFrame) {
    for (const CommandRow& row : AllCommandRows()) EXPECT_EQ(FrameOf(row), row.frame) << row.name;
}

TEST(SettingsCommands, LengthsCountIdAndPayloadBeforeStuffing) {
    uint8_t packet[kMaxPacketLength];
    const Bytes gps(43, 0x10);  // every byte a DLE: the length is still 44
    EXPECT_EQ(BuildSetPacket(kGroupGPSConfiguration, gps.data(), packet), 44);
    Bytes datum(43, 0x10);
    datum[1] = 0xFF;
    datum[2] = 0xFF;
    EXPECT_EQ(BuildSetPacket(kGroupDatum, datum.data(), packet), 42);
    datum[2] = 0x00;
    EXPECT_EQ(BuildSetPacket(kGroupDatum, datum.data(), packet), 4);
    const int lengths[] = {5, 5, 7, 44, 11, 11, 4, 17, 6, 3, 10, 6, 12};
    const Bytes zeros(43, 0x00);
    for (int g = 1; g <= kGroupCount; ++g) {
        EXPECT_EQ(BuildSetPacket(g, zeros.data(), packet), lengths[g - 1]) << "group " << g;
    }
    const int requestLengths[] = {1, 1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2};
    for (int g = 1; g <= kGroupCount; ++g) EXPECT_EQ(BuildRequestPacket(g, packet), requestLengths[g - 1]);
}

TEST(SettingsCommands, GpsConfigurationNeverSendsItsCarriedTail) {
    uint8_t packet[kMaxPacketLength];
    Bytes group = Sequence(0x01, 43);
    ASSERT_EQ(BuildSetPacket(kGroupGPSConfiguration, group.data(), packet), 44);
    for (int i = 2; i <= 22; ++i) EXPECT_EQ(packet[i], group[static_cast<size_t>(i - 1)]) << i;
    for (int i = 23; i <= 43; ++i) EXPECT_EQ(packet[i], 0xFF) << i;
}

TEST(SettingsCommands, GroupNumbersOutsideTheTableBuildNothing) {
    uint8_t packet[kMaxPacketLength];
    const Bytes zeros(43, 0x00);
    EXPECT_EQ(BuildRequestPacket(0, packet), 0);
    EXPECT_EQ(BuildRequestPacket(14, packet), 0);
    EXPECT_EQ(BuildSetPacket(-1, zeros.data(), packet), 0);
    EXPECT_EQ(BuildSetPacket(14, zeros.data(), packet), 0);
}

TEST(SettingsCommands, OneTableGivesRequestsAndReportsOfEveryGroup) {
    // Report identities as the receiver sends them.
    struct Identity {
        uint8_t reportId;
        int key;
    };
    const Identity reports[] = {{0x4A, -1},   {0x55, -1},   {0x7B, -1},   {0xBB, -1},   {0xBC, 0},
                                {0xBC, 1},    {0x8F, 0x15}, {0x8F, 0x4A}, {0x8F, 0x4D}, {0x8F, 0x4E},
                                {0x8F, 0x4F}, {0x8F, 0xA5}, {0x8F, 0xA9}};
    for (int g = 1; g <= kGroupCount; ++g) {
        const GroupPackets& row = PacketsOfGroup(g);
        EXPECT_EQ(row.groupNo, g);
        EXPECT_EQ(row.reportId, reports[g - 1].reportId) << g;
        EXPECT_EQ(row.reportKey, reports[g - 1].key) << g;
        EXPECT_EQ(row.reportLength, g == 1 ? 9 : -1) << g;
    }
}

}  // namespace
