// The telnet COM-PORT wire format, against bytes written out by hand from the protocol's tables.
#include <gtest/gtest.h>

#include <vector>

#include "serial/network/NetworkDevice.h"
#include "serial/network/Rfc2217.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Decoded {
    Bytes data;
    std::vector<TelnetEvent> events;
};

// Feeds the pieces one after another into one decoder, as separate network reads.
Decoded DecodePieces(const std::vector<Bytes>& pieces) {
    TelnetDecoder decoder;
    Decoded decoded;
    for (const Bytes& piece : pieces) {
        Bytes out(piece.size() + 1);
        const int count =
            TelnetDecode(decoder, piece.data(), static_cast<int>(piece.size()), out.data(), decoded.events);
        decoded.data.insert(decoded.data.end(), out.begin(), out.begin() + count);
    }
    return decoded;
}

Bytes Value(const TelnetEvent& event) {
    return Bytes(event.value.begin(), event.value.begin() + event.valueLength);
}

TEST(Rfc2217Encode, NegotiationVerbsAndOptions) {
    Bytes out;
    TelnetEncodeOption(kTelnetWILL, kOptionComPort, out);
    TelnetEncodeOption(kTelnetDO, kOptionBinary, out);
    TelnetEncodeOption(kTelnetWONT, kOptionSuppressGoAhead, out);
    TelnetEncodeOption(kTelnetDONT, 1, out);
    EXPECT_EQ(out, (Bytes{0xFF, 0xFB, 0x2C, 0xFF, 0xFD, 0x00, 0xFF, 0xFC, 0x03, 0xFF, 0xFE, 0x01}));
}

struct CommandCase {
    const char* name;
    Bytes encoded;
    Bytes expected;
};

Bytes U8(uint8_t command, uint8_t value) {
    Bytes out;
    ComPortEncodeU8(command, value, out);
    return out;
}

Bytes U32(uint8_t command, uint32_t value) {
    Bytes out;
    ComPortEncodeU32(command, value, out);
    return out;
}

TEST(Rfc2217Encode, EachCommandClientUses) {
    const std::vector<CommandCase> cases = {
        {"baud 9600",
         U32(kComPortSetBaudRate, 9600),
         {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0}},
        {"baud 38400",
         U32(kComPortSetBaudRate, 38400),
         {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x96, 0x00, 0xFF, 0xF0}},
        {"baud query",
         U32(kComPortSetBaudRate, 0),
         {0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xF0}},
        {"7 data bits", U8(kComPortSetDataSize, 7), {0xFF, 0xFA, 0x2C, 0x02, 0x07, 0xFF, 0xF0}},
        {"parity none",
         U8(kComPortSetParity, kComPortParityNone),
         {0xFF, 0xFA, 0x2C, 0x03, 0x01, 0xFF, 0xF0}},
        {"parity odd", U8(kComPortSetParity, kComPortParityOdd), {0xFF, 0xFA, 0x2C, 0x03, 0x02, 0xFF, 0xF0}},
        {"parity even",
         U8(kComPortSetParity, kComPortParityEven),
         {0xFF, 0xFA, 0x2C, 0x03, 0x03, 0xFF, 0xF0}},
        {"two stop bits",
         U8(kComPortSetStopSize, kComPortStopTwo),
         {0xFF, 0xFA, 0x2C, 0x04, 0x02, 0xFF, 0xF0}},
        {"break on",
         U8(kComPortSetControl, kComPortControlBreakOn),
         {0xFF, 0xFA, 0x2C, 0x05, 0x05, 0xFF, 0xF0}},
        {"break off",
         U8(kComPortSetControl, kComPortControlBreakOff),
         {0xFF, 0xFA, 0x2C, 0x05, 0x06, 0xFF, 0xF0}},
        {"purge receive",
         U8(kComPortPurgeData, kComPortPurgeReceive),
         {0xFF, 0xFA, 0x2C, 0x0C, 0x01, 0xFF, 0xF0}},
        {"purge transmit",
         U8(kComPortPurgeData, kComPortPurgeTransmit),
         {0xFF, 0xFA, 0x2C, 0x0C, 0x02, 0xFF, 0xF0}},
        {"server ack of 9600",
         U32(kComPortSetBaudRate + kComPortServerOffset, 9600),
         {0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0x25, 0x80, 0xFF, 0xF0}},
    };
    for (const CommandCase& c : cases) EXPECT_EQ(c.encoded, c.expected) << c.name;
}

TEST(Rfc2217Encode, IacInsideValueIsDoubled) {
    // 65535 baud is 00 00 FF FF: both FF bytes are doubled inside the subnegotiation.
    EXPECT_EQ(U32(kComPortSetBaudRate, 0xFFFF),
              (Bytes{0xFF, 0xFA, 0x2C, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
    EXPECT_EQ(U8(kComPortSetControl, 0xFF), (Bytes{0xFF, 0xFA, 0x2C, 0x05, 0xFF, 0xFF, 0xFF, 0xF0}));
}

TEST(Rfc2217Encode, DataDoublesOnlyIac) {
    const Bytes data = {0x10, 0xFF, 0x03, 0xFE, 0xFF, 0xFF, 0xF0};
    Bytes out;
    TelnetEncodeData(data.data(), static_cast<int>(data.size()), out);
    EXPECT_EQ(out, (Bytes{0x10, 0xFF, 0xFF, 0x03, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xF0}));
    out.clear();
    TelnetEncodeData(data.data(), 0, out);
    EXPECT_TRUE(out.empty());
}

TEST(Rfc2217Decode, PlainDataPassesThrough) {
    const Decoded d = DecodePieces({{0x10, 0x45, 0x01, 0x10, 0x03}});
    EXPECT_EQ(d.data, (Bytes{0x10, 0x45, 0x01, 0x10, 0x03}));
    EXPECT_TRUE(d.events.empty());
}

TEST(Rfc2217Decode, DoubledIacIsOneDataByte) {
    const Decoded d = DecodePieces({{0x41, 0xFF, 0xFF, 0x42, 0xFF, 0xFF, 0xFF, 0xFF}});
    EXPECT_EQ(d.data, (Bytes{0x41, 0xFF, 0x42, 0xFF, 0xFF}));
}

TEST(Rfc2217Decode, IacPairSplitAcrossTwoReads) {
    const Decoded d = DecodePieces({{0x41, 0xFF}, {0xFF, 0x42}});
    EXPECT_EQ(d.data, (Bytes{0x41, 0xFF, 0x42}));
    EXPECT_TRUE(d.events.empty());
}

TEST(Rfc2217Decode, DlePairSplitAcrossTwoReadsIsUntouched) {
    // DLE stuffing belongs to the packet framing above: the telnet layer hands both bytes on.
    const Decoded d = DecodePieces({{0x10, 0x45, 0x10}, {0x10, 0x10}, {0x03}});
    EXPECT_EQ(d.data, (Bytes{0x10, 0x45, 0x10, 0x10, 0x10, 0x03}));
}

TEST(Rfc2217Decode, NegotiationBetweenData) {
    const Decoded d = DecodePieces({{0x01, 0xFF, 0xFD, 0x2C, 0x02, 0xFF, 0xFB, 0x00, 0x03}});
    EXPECT_EQ(d.data, (Bytes{0x01, 0x02, 0x03}));
    ASSERT_EQ(d.events.size(), 2u);
    EXPECT_EQ(d.events[0].kind, TelnetEvent::Kind::Option);
    EXPECT_EQ(d.events[0].verb, kTelnetDO);
    EXPECT_EQ(d.events[0].option, kOptionComPort);
    EXPECT_EQ(d.events[1].verb, kTelnetWILL);
    EXPECT_EQ(d.events[1].option, kOptionBinary);
}

TEST(Rfc2217Decode, NegotiationSplitBetweenVerbAndOption) {
    const Decoded d = DecodePieces({{0xFF}, {0xFE}, {0x2C}});
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(d.events[0].verb, kTelnetDONT);
    EXPECT_EQ(d.events[0].option, kOptionComPort);
}

TEST(Rfc2217Decode, AcknowledgementSplitAcrossReads) {
    const Decoded d = DecodePieces({{0xFF, 0xFA, 0x2C, 0x65, 0x00}, {0x00, 0x25, 0x80, 0xFF}, {0xF0, 0x7E}});
    EXPECT_EQ(d.data, (Bytes{0x7E}));
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(d.events[0].kind, TelnetEvent::Kind::Subnegotiation);
    EXPECT_EQ(d.events[0].option, kOptionComPort);
    EXPECT_EQ(Value(d.events[0]), (Bytes{0x65, 0x00, 0x00, 0x25, 0x80}));
    EXPECT_EQ(ComPortValueU32(d.events[0]), 9600u);
}

TEST(Rfc2217Decode, DoubledIacInsideSubnegotiationSplitAtThePair) {
    const Decoded d =
        DecodePieces({{0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x00, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF, 0xF0}});
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(ComPortValueU32(d.events[0]), 0xFFFFu);
    EXPECT_TRUE(d.data.empty());
}

TEST(Rfc2217Decode, UnsolicitedModemStateIsAnEventNotData) {
    const Decoded d = DecodePieces({{0x10, 0xFF, 0xFA, 0x2C, 0x6B, 0x30, 0xFF, 0xF0, 0x03}});
    EXPECT_EQ(d.data, (Bytes{0x10, 0x03}));
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(Value(d.events[0]), (Bytes{0x6B, 0x30}));
    EXPECT_EQ(ComPortValueU8(d.events[0]), 0x30);
}

TEST(Rfc2217Decode, OtherTelnetCommandsAreDropped) {
    // NOP (F1), GA (F9) and a stray SE carry nothing for a serial line.
    const Decoded d = DecodePieces({{0x01, 0xFF, 0xF1, 0x02, 0xFF, 0xF9, 0xFF, 0xF0, 0x03}});
    EXPECT_EQ(d.data, (Bytes{0x01, 0x02, 0x03}));
    EXPECT_TRUE(d.events.empty());
}

TEST(Rfc2217Decode, OverlongSubnegotiationIsCutNotOverrun) {
    Bytes wire = {0xFF, 0xFA, 0x2C, 0x64};
    wire.insert(wire.end(), 500, 0x41);
    wire.insert(wire.end(), {0xFF, 0xF0, 0x55});
    const Decoded d = DecodePieces({wire});
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_TRUE(d.events[0].truncated);
    EXPECT_EQ(d.events[0].valueLength, kTelnetSubnegotiationMax);
    EXPECT_EQ(d.data, (Bytes{0x55}));
}

// A subnegotiation never closed by IAC SE is given up after its limit: what follows is data again,
// however it is split into reads, and a later subnegotiation is decoded as usual.
TEST(Rfc2217Decode, UnclosedSubnegotiationIsGivenUpAndTheDataAfterItArrives) {
    Bytes stream = {0xFF, 0xFA, 0x2C, 0x6A};
    stream.insert(stream.end(), kTelnetSubnegotiationLimit + 100, 'x');
    const Bytes tail = {'H', 'E', 'L', 'L', 'O', 0xFF, 0xFF, 0xFF, 0xFA, 0x2C, 0x6A, 0x05, 0xFF, 0xF0, '!'};
    stream.insert(stream.end(), tail.begin(), tail.end());
    for (const size_t pieceSize : {size_t{1}, size_t{7}, stream.size()}) {
        std::vector<Bytes> pieces;
        for (size_t at = 0; at < stream.size(); at += pieceSize)
            pieces.emplace_back(
                stream.begin() + static_cast<std::ptrdiff_t>(at),
                stream.begin() + static_cast<std::ptrdiff_t>(std::min(stream.size(), at + pieceSize)));
        const Decoded decoded = DecodePieces(pieces);
        const Bytes expectedEnd = {'H', 'E', 'L', 'L', 'O', 0xFF, '!'};
        ASSERT_GE(decoded.data.size(), expectedEnd.size()) << pieceSize;
        EXPECT_EQ(
            Bytes(decoded.data.end() - static_cast<std::ptrdiff_t>(expectedEnd.size()), decoded.data.end()),
            expectedEnd)
            << pieceSize;
        EXPECT_LE(decoded.data.size(), 101 + expectedEnd.size()) << pieceSize;  // 613 bytes opened, 512 taken
        ASSERT_EQ(decoded.events.size(), 1u) << pieceSize;
        EXPECT_EQ(Value(decoded.events[0]), (Bytes{0x6A, 0x05})) << pieceSize;
    }
}

TEST(Rfc2217Decode, SubnegotiationBrokenOffByCommand) {
    // IAC WILL inside a subnegotiation ends it: the half-read value is dropped, the WILL counts.
    const Decoded d = DecodePieces({{0xFF, 0xFA, 0x2C, 0x65, 0x00, 0xFF, 0xFB, 0x03, 0x09}});
    ASSERT_EQ(d.events.size(), 1u);
    EXPECT_EQ(d.events[0].kind, TelnetEvent::Kind::Option);
    EXPECT_EQ(d.events[0].verb, kTelnetWILL);
    EXPECT_EQ(d.data, (Bytes{0x09}));
}

TEST(Rfc2217Decode, ShortValuesReadAsZero) {
    TelnetEvent event;
    event.kind = TelnetEvent::Kind::Subnegotiation;
    event.valueLength = 1;
    event.value[0] = 0x65;
    EXPECT_EQ(ComPortValueU32(event), 0u);
    EXPECT_EQ(ComPortValueU8(event), 0u);
}

TEST(NetworkDeviceName, AcceptsHostAndPort) {
    std::string host;
    uint16_t port = 0;
    ASSERT_TRUE(ParseNetworkDeviceName("rfc2217://127.0.0.1:4001", host, port));
    EXPECT_EQ(host, "127.0.0.1");
    EXPECT_EQ(port, 4001);
    ASSERT_TRUE(ParseNetworkDeviceName("rfc2217://serial-server.local:65535", host, port));
    EXPECT_EQ(host, "serial-server.local");
    EXPECT_EQ(port, 65535);
    ASSERT_TRUE(ParseNetworkDeviceName("rfc2217://[::1]:2217", host, port));
    EXPECT_EQ(host, "::1");
    EXPECT_EQ(port, 2217);
}

TEST(NetworkDeviceName, RejectsMalformedNames) {
    std::string host = "unchanged";
    uint16_t port = 7;
    for (const char* name :
         {"", "rfc2217://", "rfc2217://host", "rfc2217://host:", "rfc2217://:4001", "rfc2217://host:0",
          "rfc2217://host:65536", "rfc2217://host:12x", "rfc2217://::1:4001", "rfc2217://[::1]4001",
          "rfc2217://[::1", "tcp://host:4001", "/dev/ttyS0", "rfc2217://host:999999", "rfc2217://a/b:1"}) {
        EXPECT_FALSE(ParseNetworkDeviceName(name, host, port)) << name;
    }
    EXPECT_EQ(host, "unchanged");
    EXPECT_EQ(port, 7);
}

}  // namespace
