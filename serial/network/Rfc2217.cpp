#include "serial/network/Rfc2217.h"

#include <cstddef>
#include <utility>

namespace {

// (line setting, COM-PORT value) pairs.
constexpr std::pair<int32_t, uint8_t> kParityValues[] = {
    {0, kComPortParityNone}, {1, kComPortParityOdd}, {2, kComPortParityEven}};
constexpr std::pair<int32_t, uint8_t> kStopSizeValues[] = {
    {0, kComPortStopOne}, {1, kComPortStopOneAndHalf}, {2, kComPortStopTwo}};

template <size_t N>
uint8_t ValueOf(const std::pair<int32_t, uint8_t> (&table)[N], int32_t setting) {
    for (const auto& [line, value] : table)
        if (line == setting) return value;
    return 0;
}

template <size_t N>
int32_t SettingOf(const std::pair<int32_t, uint8_t> (&table)[N], uint8_t value) {
    for (const auto& [line, wire] : table)
        if (wire == value) return line;
    return -1;
}

}  // namespace

uint8_t ComPortParity(int32_t parity) {
    return ValueOf(kParityValues, parity);
}
int32_t ParityOfComPort(uint8_t value) {
    return SettingOf(kParityValues, value);
}
uint8_t ComPortStopSize(int32_t stopBits) {
    return ValueOf(kStopSizeValues, stopBits);
}
int32_t StopBitsOfComPort(uint8_t value) {
    return SettingOf(kStopSizeValues, value);
}

void TelnetEncodeData(const uint8_t* data, int count, std::vector<uint8_t>& out) {
    for (int i = 0; i < count; ++i) {
        if (data[i] == kTelnetIAC) out.push_back(kTelnetIAC);
        out.push_back(data[i]);
    }
}

void TelnetEncodeOption(uint8_t verb, uint8_t option, std::vector<uint8_t>& out) {
    out.push_back(kTelnetIAC);
    out.push_back(verb);
    out.push_back(option);
}

void ComPortEncode(uint8_t command, const uint8_t* value, int count, std::vector<uint8_t>& out) {
    out.push_back(kTelnetIAC);
    out.push_back(kTelnetSB);
    out.push_back(kOptionComPort);
    TelnetEncodeData(&command, 1, out);
    TelnetEncodeData(value, count, out);
    out.push_back(kTelnetIAC);
    out.push_back(kTelnetSE);
}

void ComPortEncodeU8(uint8_t command, uint8_t value, std::vector<uint8_t>& out) {
    ComPortEncode(command, &value, 1, out);
}

void ComPortEncodeU32(uint8_t command, uint32_t value, std::vector<uint8_t>& out) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                              static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    ComPortEncode(command, bytes, 4, out);
}

namespace {

void BeginCommand(TelnetDecoder& decoder, uint8_t byte) {
    using State = TelnetDecoder::State;
    switch (byte) {
        case kTelnetWILL:
        case kTelnetWONT:
        case kTelnetDO:
        case kTelnetDONT:
            decoder.verb = byte;
            decoder.state = State::Option;
            break;
        case kTelnetSB:
            decoder.state = State::SubOption;
            break;
        default:  // NOP, GA, a stray SE and the like carry nothing for a serial line
            decoder.state = State::Data;
            break;
    }
}

void AppendSubByte(TelnetDecoder& decoder, uint8_t byte) {
    TelnetEvent& event = decoder.pending;
    if (event.valueLength < kTelnetSubnegotiationMax) {
        event.value[static_cast<size_t>(event.valueLength++)] = byte;
    } else {
        event.truncated = true;
    }
}

}  // namespace

int TelnetDecode(TelnetDecoder& decoder, const uint8_t* in, int count, uint8_t* dataOut,
                 std::vector<TelnetEvent>& events) {
    using State = TelnetDecoder::State;
    int dataCount = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t byte = in[i];
        switch (decoder.state) {
            case State::Data:
                if (byte == kTelnetIAC) {
                    decoder.state = State::Iac;
                } else {
                    dataOut[dataCount++] = byte;
                }
                break;
            case State::Iac:
                if (byte == kTelnetIAC) {
                    dataOut[dataCount++] = byte;
                    decoder.state = State::Data;
                } else {
                    BeginCommand(decoder, byte);
                }
                break;
            case State::Option: {
                TelnetEvent event;
                event.kind = TelnetEvent::Kind::Option;
                event.verb = decoder.verb;
                event.option = byte;
                events.push_back(event);
                decoder.state = State::Data;
                break;
            }
            case State::SubOption:
                decoder.subBytes = 0;
                decoder.pending = TelnetEvent{};
                decoder.pending.kind = TelnetEvent::Kind::Subnegotiation;
                decoder.pending.option = byte;
                decoder.state = State::Sub;
                break;
            case State::Sub:
                if (++decoder.subBytes > kTelnetSubnegotiationLimit) {
                    // Never closed: drop it and take this byte and what follows as data again.
                    decoder.state = byte == kTelnetIAC ? State::Iac : State::Data;
                    if (byte != kTelnetIAC) dataOut[dataCount++] = byte;
                } else if (byte == kTelnetIAC) {
                    decoder.state = State::SubIac;
                } else {
                    AppendSubByte(decoder, byte);
                }
                break;
            case State::SubIac:
                if (byte == kTelnetIAC) {
                    AppendSubByte(decoder, byte);
                    decoder.state = State::Sub;
                } else if (byte == kTelnetSE) {
                    events.push_back(decoder.pending);
                    decoder.state = State::Data;
                } else {
                    // IAC and a command inside a subnegotiation: the peer broke it off. Drop what
                    // was collected and take the command as if it followed IAC in the data.
                    BeginCommand(decoder, byte);
                }
                break;
        }
    }
    return dataCount;
}

uint32_t ComPortValueU32(const TelnetEvent& event) {
    if (event.valueLength < 5) return 0;
    return (static_cast<uint32_t>(event.value[1]) << 24) | (static_cast<uint32_t>(event.value[2]) << 16) |
           (static_cast<uint32_t>(event.value[3]) << 8) | static_cast<uint32_t>(event.value[4]);
}

uint8_t ComPortValueU8(const TelnetEvent& event) {
    return event.valueLength < 2 ? 0 : event.value[1];
}
