#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "bytes/ByteOrder.h"

namespace {

TEST(ByteOrder, IntegersAreMostSignificantFirst) {
    const uint8_t fffe[] = {0xFF, 0xFE};
    EXPECT_EQ(GetU16BE(fffe), 0xFFFE);
    EXPECT_EQ(static_cast<int16_t>(GetU16BE(fffe)), -2);

    const uint8_t baud[] = {0x00, 0x00, 0x25, 0x80};
    EXPECT_EQ(GetU32BE(baud), 9600u);

    uint8_t out[4] = {};
    PutU32BE(0x01020304u, out);
    EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    PutU16BE(0xABCD, out);
    EXPECT_EQ(out[0], 0xAB);
    EXPECT_EQ(out[1], 0xCD);
    EXPECT_EQ(static_cast<int32_t>(GetU32BE(std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}.data())), -1);
}

TEST(ByteOrder, FloatingPointGoldenBytes) {
    uint8_t single[4];
    PutSingleBE(1.0f, single);
    EXPECT_EQ(std::vector<uint8_t>(single, single + 4), (std::vector<uint8_t>{0x3F, 0x80, 0x00, 0x00}));
    EXPECT_EQ(GetSingleBE(single), 1.0f);

    uint8_t dbl[8];
    PutDoubleBE(1.0, dbl);
    EXPECT_EQ(std::vector<uint8_t>(dbl, dbl + 8), (std::vector<uint8_t>{0x3F, 0xF0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(GetDoubleBE(dbl), 1.0);

    PutDoubleBE(-2.5, dbl);
    EXPECT_EQ(std::vector<uint8_t>(dbl, dbl + 8), (std::vector<uint8_t>{0xC0, 0x04, 0, 0, 0, 0, 0, 0}));
}

// NaN payloads, negative zero and subnormals pass through bit for bit, at any alignment.
TEST(ByteOrder, SpecialValuesKeepEveryBitAtAnyAlignment) {
    const uint32_t singles[] = {0x7FC12345u, 0xFF800001u, 0x80000000u, 0x00000001u, 0x807FFFFFu, 0x7F800000u};
    const uint64_t doubles[] = {0x7FF8DEADBEEF0001ull, 0xFFF0000000000001ull, 0x8000000000000000ull,
                                0x0000000000000001ull, 0x800FFFFFFFFFFFFFull};
    uint8_t buffer[16];
    for (int offset = 0; offset < 8; ++offset) {
        for (uint32_t bits : singles) {
            PutSingleBE(std::bit_cast<float>(bits), buffer + offset);
            EXPECT_EQ(buffer[offset], static_cast<uint8_t>(bits >> 24));
            EXPECT_EQ(std::bit_cast<uint32_t>(GetSingleBE(buffer + offset)), bits) << offset;
        }
        for (uint64_t bits : doubles) {
            PutDoubleBE(std::bit_cast<double>(bits), buffer + offset);
            EXPECT_EQ(buffer[offset + 7], static_cast<uint8_t>(bits));
            EXPECT_EQ(std::bit_cast<uint64_t>(GetDoubleBE(buffer + offset)), bits) << offset;
        }
    }
    PutSingleBE(-0.0f, buffer);
    EXPECT_TRUE(std::signbit(GetSingleBE(buffer)));
}

TEST(ByteOrder, WritesTouchOnlyTheirOwnBytes) {
    uint8_t buffer[12];
    std::fill(std::begin(buffer), std::end(buffer), 0xAA);
    PutDoubleBE(0.0, buffer + 2);
    EXPECT_EQ(buffer[1], 0xAA);
    EXPECT_EQ(buffer[10], 0xAA);
    PutU16BE(0, buffer + 0);
    EXPECT_EQ(buffer[2], 0x00);
    EXPECT_EQ(buffer[11], 0xAA);
}

}  // namespace
