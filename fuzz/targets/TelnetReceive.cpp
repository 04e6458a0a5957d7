// The network serial port's receive path: the telnet COM-PORT decoder gives the same data bytes and
// the same negotiations whatever sizes the network reads have, never more data than it read, and
// never a subnegotiation value longer than its limit. The client's reading of each COM-PORT answer
// (a 32-bit rate or an 8-bit value) stays inside the event.
//
// Input: byte 0 the seed of the read sizes; the rest is what the server sends.
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "serial/network/Rfc2217.h"

namespace {

constexpr const char* kTarget = "telnet_receive";

bool SameEvent(const TelnetEvent& a, const TelnetEvent& b) {
    if (a.kind != b.kind || a.verb != b.verb || a.option != b.option || a.valueLength != b.valueLength ||
        a.truncated != b.truncated)
        return false;
    for (int i = 0; i < a.valueLength; ++i) {
        if (a.value[static_cast<size_t>(i)] != b.value[static_cast<size_t>(i)]) return false;
    }
    return true;
}

}  // namespace

int FuzzTelnetReceive(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    ReadCutter cutter(data[0]);
    ++data;
    --size;

    TelnetDecoder whole;
    std::vector<uint8_t> wholeData(size + 1);
    std::vector<TelnetEvent> wholeEvents;
    const int wholeCount = TelnetDecode(whole, data, static_cast<int>(size), wholeData.data(), wholeEvents);
    FuzzCheck(wholeCount >= 0 && static_cast<size_t>(wholeCount) <= size, kTarget,
              "no more data bytes come out than went in");
    wholeData.resize(static_cast<size_t>(wholeCount));

    TelnetDecoder pieces;
    std::vector<uint8_t> piecesData;
    std::vector<TelnetEvent> piecesEvents;
    for (size_t offset = 0; offset < size;) {
        size_t count = cutter.Next();
        if (count > size - offset) count = size - offset;
        // Exactly `count` bytes of room, as the device gives: a store past it is an overrun.
        std::vector<uint8_t> out(count);
        const int got =
            TelnetDecode(pieces, data + offset, static_cast<int>(count), out.data(), piecesEvents);
        FuzzCheck(got >= 0 && static_cast<size_t>(got) <= count, kTarget,
                  "a read gives at most its own size of data");
        piecesData.insert(piecesData.end(), out.begin(), out.begin() + got);
        offset += count;
    }
    FuzzCheck(piecesData == wholeData, kTarget, "the data do not depend on how the reads were cut");
    bool sameEvents = piecesEvents.size() == wholeEvents.size();
    for (size_t i = 0; sameEvents && i < wholeEvents.size(); ++i)
        sameEvents = SameEvent(piecesEvents[i], wholeEvents[i]);
    FuzzCheck(sameEvents, kTarget, "the negotiations do not depend on how the reads were cut");

    for (const TelnetEvent& event : wholeEvents) {
        FuzzCheck(event.valueLength >= 0 && event.valueLength <= kTelnetSubnegotiationMax, kTarget,
                  "a subnegotiation value stays within its limit");
        FuzzCheck(!event.truncated || event.valueLength == kTelnetSubnegotiationMax, kTarget,
                  "only a full value is marked cut");
        const uint32_t rate = ComPortValueU32(event);
        const uint8_t value = ComPortValueU8(event);
        FuzzCheck(event.valueLength >= 5 || rate == 0, kTarget, "a short rate answer reads as 0");
        FuzzCheck(event.valueLength >= 2 || value == 0, kTarget, "a short value answer reads as 0");
    }
    return 0;
}
