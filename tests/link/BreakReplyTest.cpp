#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/PortContext.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint8_t kUnwritten = 0xEE;

struct ParseRow {
    const char* text;
    int code;
    Bytes record;  // bytes 0..9 after the call (kUnwritten where the parser must not write)
};

Bytes Untouched() {
    return Bytes(kPortConfigurationSize, kUnwritten);
}
Bytes With(std::initializer_list<uint8_t> first) {
    Bytes record = Untouched();
    std::copy(first.begin(), first.end(), record.begin());
    return record;
}

const ParseRow kParseRows[] = {
    // The worked example: fields x, 1, x, 4800, 8, 1, O, x, then a "," and two ";".
    {"PR;x,1,x,4800,8,1,O,x,;;", 0, With({1, 6, 6, 3, 1, 0})},
    {"PR ver 3;B,0,in,38400,7,2,E,KIRP,out;;", 0, With({0, 9, 9, 2, 2, 1})},
    {"PRa;,1,,110,8,1,N,,;x;", 0, With({1, 1, 1, 3, 0, 0})},
    {"PR;x,1,x,300,8,1,Odd,x,;y;z", 0, With({1, 2, 2, 3, 1, 0})},
    {"PR;x,0,x,600,8,1,N,x,;;", 0, With({0, 3, 3, 3, 0, 0})},
    {"PR;x,0,x,1200,8,1,N,x,;;", 0, With({0, 4, 4, 3, 0, 0})},
    {"PR;x,0,x,2400,8,1,N,x,;;", 0, With({0, 5, 5, 3, 0, 0})},
    {"PR;x,0,x,9600,8,1,N,x,;;", 0, With({0, 7, 7, 3, 0, 0})},
    {"PR;x,0,x,19200,8,1,N,x,;;", 0, With({0, 8, 8, 3, 0, 0})},
    // -1: no ";" or no "," after it.
    {"PR x,1,x,4800,8,1,O,x,;;", -1, Untouched()},
    {"PR,x,1;", -1, Untouched()},
    {"", -1, Untouched()},
    // -2: receiver port not 0 or 1, or it or f3 lacks its ",".
    {"PR;x,2,x,4800,8,1,O,x,;;", -2, Untouched()},
    {"PR;x,,x,4800,8,1,O,x,;;", -2, Untouched()},
    {"PR;x,1", -2, With({1})},
    {"PR;x,1,x", -2, With({1})},
    // -3: a rate that is not supported, or not a number.
    {"PR;x,1,x,57600,8,1,O,x,;;", -3, With({1})},
    {"PR;x,1,x,abc,8,1,O,x,;;", -3, With({1})},
    {"PR;x,1,x,,8,1,O,x,;;", -3, With({1})},
    {"PR;x,1,x, 4800,8,1,O,x,;;", -3, With({1})},
    {"PR;x,1,x,4800x,8,1,O,x,;;", -3, With({1})},
    {"PR;x,1,x,0,8,1,O,x,;;", -3, With({1})},
    {"PR;x,1,x,99999999999999999999,8,1,O,x,;;", -3, With({1})},
    // -4: the rate or the data bits lack their ",".
    {"PR;x,1,x,4800", -4, With({1, 6, 6})},
    {"PR;x,1,x,4800,8", -4, With({1, 6, 6})},
    // -5: data bits not 7 or 8.
    {"PR;x,1,x,4800,6,1,O,x,;;", -5, With({1, 6, 6})},
    {"PR;x,1,x,4800,eight,1,O,x,;;", -5, With({1, 6, 6})},
    // -6 / -7: stop bits.
    {"PR;x,1,x,4800,8,1", -6, With({1, 6, 6, 3})},
    {"PR;x,1,x,4800,8,3,O,x,;;", -7, With({1, 6, 6, 3})},
    {"PR;x,1,x,4800,8,,O,x,;;", -7, With({1, 6, 6, 3})},
    // -8 / -9: parity.
    {"PR;x,1,x,4800,8,2,O", -8, With({1, 6, 6, 3, kUnwritten, 1})},
    {"PR;x,1,x,4800,8,2,o,x,;;", -9, With({1, 6, 6, 3, kUnwritten, 1})},
    {"PR;x,1,x,4800,8,2,,x,;;", -9, With({1, 6, 6, 3, kUnwritten, 1})},
    // -10: the field after the parity lacks its ",".
    {"PR;x,1,x,4800,8,2,E,x;;", -10, With({1, 6, 6, 3, 2, 1})},
    // -11: fewer than two ";" after the start of that field.
    {"PR;x,1,x,4800,8,2,E,x,;", -11, With({1, 6, 6, 3, 2, 1})},
    {"PR;x,1,x,4800,8,2,E,x,", -11, With({1, 6, 6, 3, 2, 1})},
};

TEST(ParseBreakReply, TableOfTextsGivesCodesAndPartialRecords) {
    for (const ParseRow& row : kParseRows) {
        Bytes record = Untouched();
        EXPECT_EQ(ParseBreakReply(row.text, record.data()), row.code) << row.text;
        EXPECT_EQ(record, row.record) << row.text;
    }
}

TEST(ParseBreakReply, NeverWritesBytesSixToNine) {
    Bytes record = Untouched();
    ASSERT_EQ(ParseBreakReply("PR;x,1,x,4800,8,1,O,x,;;", record.data()), 0);
    for (size_t i = 6; i < 10; ++i) EXPECT_EQ(record[i], kUnwritten);
}

TEST(ParseBreakReply, TextEndsAtItsFirstZeroByte) {
    // The rest of a complete reply lies after the zero: it must not be read.
    const char text[] = "PR;x,1,x,4800\0,8,1,O,x,;;";
    Bytes record = Untouched();
    EXPECT_EQ(ParseBreakReply(text, record.data()), -4);
}

TEST(ParseBreakReply, BoundedTextEndsAtItsSizeWithoutAZero) {
    // A 200-byte probe copy need not hold a zero: the sized form stops at its end.
    std::string full = "PR;x,1,x,4800,8,1,O,x,;;";
    std::vector<char> copy(kBreakReplySize, 'a');
    std::memcpy(copy.data(), full.data(), full.size());
    Bytes record = Untouched();
    EXPECT_EQ(ParseBreakReply(copy.data(), copy.size(), record.data()), 0);

    Bytes cut = Untouched();
    EXPECT_EQ(ParseBreakReply(full.data(), 13, cut.data()), -4);  // "PR;x,1,x,4800"
    std::vector<char> noSemicolon(kBreakReplySize, 'a');
    EXPECT_EQ(ParseBreakReply(noSemicolon.data(), noSemicolon.size(), cut.data()), -1);
    EXPECT_EQ(ParseBreakReply(nullptr, cut.data()), -1);
}

// The probe scans what earlier reads left in the Raw Receive Buffer; with the port closed the
// read adds nothing, so the buffer is set up directly.
class ProbeBreakReplyTail : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(buffer, 0x20, kRawReceiveBufferSize);
        std::memset(reply, 0x5A, sizeof reply);
    }
    uint8_t* buffer = PortContexts[kIndex].rawReceiveBuffer;
    uint8_t reply[kBreakReplySize];
    static constexpr size_t kIndex = 17;
};

TEST_F(ProbeBreakReplyTail, PairWithinTheLast199BytesCopiesToTheEndAndZeroFillsTheRest) {
    const int at = kRawReceiveBufferSize - 6;
    std::memcpy(buffer + at, "PR;1,2", 6);
    ASSERT_EQ(ProbeBreakReply(reply, kIndex), 1);
    EXPECT_EQ(std::memcmp(reply, "PR;1,2", 6), 0);
    for (int i = 6; i < kBreakReplySize; ++i) ASSERT_EQ(reply[i], 0) << i;
    for (int i = 0; i < at; ++i) ASSERT_EQ(buffer[i], 'a') << i;
}

TEST_F(ProbeBreakReplyTail, PairInTheLastTwoBytes) {
    buffer[kRawReceiveBufferSize - 2] = 'P';
    buffer[kRawReceiveBufferSize - 1] = 'R';
    ASSERT_EQ(ProbeBreakReply(reply, kIndex), 1);
    EXPECT_EQ(reply[0], 'P');
    EXPECT_EQ(reply[1], 'R');
    for (int i = 2; i < kBreakReplySize; ++i) ASSERT_EQ(reply[i], 0) << i;
}

TEST_F(ProbeBreakReplyTail, PairWithExactly200BytesLeftCopiesThemAll) {
    const int at = kRawReceiveBufferSize - kBreakReplySize;
    buffer[at] = 'P';
    buffer[at + 1] = 'R';
    buffer[kRawReceiveBufferSize - 1] = '!';
    ASSERT_EQ(ProbeBreakReply(reply, kIndex), 1);
    EXPECT_EQ(reply[0], 'P');
    EXPECT_EQ(reply[kBreakReplySize - 2], 0x20);
    EXPECT_EQ(reply[kBreakReplySize - 1], '!');
}

TEST_F(ProbeBreakReplyTail, NoPairTurnsTheWholeBufferIntoA) {
    buffer[kRawReceiveBufferSize - 1] = 'P';  // a P at the very end starts no pair
    buffer[100] = 'R';
    buffer[101] = 'P';
    ASSERT_EQ(ProbeBreakReply(reply, kIndex), 0);
    for (int i = 0; i < kRawReceiveBufferSize; ++i) ASSERT_EQ(buffer[i], 'a') << i;
    for (uint8_t b : reply) ASSERT_EQ(b, 0x5A);
}

TEST_F(ProbeBreakReplyTail, FirstHundredBytesZeroReturnsWithoutScanning) {
    std::memset(buffer, 0, 100);
    std::memcpy(buffer + 300, "PR;", 3);
    EXPECT_EQ(ProbeBreakReply(reply, kIndex), 0);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[299], 0x20);
    EXPECT_EQ(reply[0], 0x5A);
}

TEST_F(ProbeBreakReplyTail, CommIndexOutsideTheTableFindsNothing) {
    EXPECT_EQ(ProbeBreakReply(reply, -1), 0);
    EXPECT_EQ(ProbeBreakReply(reply, kPortContextCount), 0);
    EXPECT_EQ(reply[0], 0x5A);
}

}  // namespace
