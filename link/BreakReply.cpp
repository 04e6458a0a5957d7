// The receiver's text reply after a line break ("PR...;f1,f2,...") and the port configuration
// record it gives.
#include <cstring>

#include "link/PortContext.h"

uint8_t ProbeBreakReply(uint8_t* destination, int commIndex) {
    if (commIndex < 0 || commIndex >= kPortContextCount) return 0;
    PortContext& context = PortContexts[static_cast<size_t>(commIndex)];
    uint8_t* buffer = context.rawReceiveBuffer;
    const uint16_t read = ReadBytes(buffer, kRawReceiveBufferSize, commIndex + 1);
    context.tally.Listen(read);

    bool anyByte = false;
    for (int i = 0; i < 100; ++i) anyByte = anyByte || buffer[i] != 0;
    if (!anyByte) {
        context.tally.Unframed(read);
        return 0;
    }

    // The scan covers the whole buffer, bytes left from earlier reads included; every position
    // passed over becomes 'a' so that the pair found is the first thing that is not 'a'.
    int found = -1;
    for (int i = 0; i < kRawReceiveBufferSize; ++i) {
        if (i + 1 < kRawReceiveBufferSize && buffer[i] == 'P' && buffer[i + 1] == 'R') {
            found = i;
            break;
        }
        buffer[i] = 'a';
    }
    if (found < 0) {
        context.tally.Unframed(read);
        return 0;
    }

    context.readPosition = 0;
    // A pair within the last 199 bytes: copy up to the buffer's end and zero the rest.
    const int available = kRawReceiveBufferSize - found;
    const int copied = available < kBreakReplySize ? available : kBreakReplySize;
    std::memcpy(destination, buffer + found, static_cast<size_t>(copied));
    std::memset(destination + copied, 0, static_cast<size_t>(kBreakReplySize - copied));
    return 1;
}

namespace {

// The text as a bounded view: it ends at its first zero byte or after `size` bytes.
struct ReplyText {
    const char* text;
    size_t size;

    char At(size_t i) const { return i < size ? text[i] : '\0'; }
    // Position of the first `c` at or after `from`, or npos.
    size_t Find(char c, size_t from) const {
        for (size_t i = from; i < size; ++i) {
            if (text[i] == c) return i;
        }
        return npos;
    }
    static constexpr size_t npos = static_cast<size_t>(-1);
};

// The decimal number filling [begin, end) exactly, or −1 when the field is not a number.
long FieldNumber(const ReplyText& reply, size_t begin, size_t end) {
    if (begin >= end || end - begin > 9) return -1;
    long value = 0;
    for (size_t i = begin; i < end; ++i) {
        const char c = reply.At(i);
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The end of the field that begins at `begin`: its ',' or the end of the text.
size_t FieldEnd(const ReplyText& reply, size_t begin) {
    const size_t comma = reply.Find(',', begin);
    return comma == ReplyText::npos ? reply.size : comma;
}

constexpr size_t npos = ReplyText::npos;

// "PR...;f1,f2,f3,": the receiver port (f2) into record; at is then where f4 begins.
int ParseReceiverPort(const ReplyText& reply, uint8_t* record, size_t& at) {
    const size_t semicolon = reply.Find(';', 0);
    if (semicolon == npos) return -1;
    const size_t comma1 = reply.Find(',', semicolon + 1);  // ends f1, which is ignored
    if (comma1 == npos) return -1;

    const size_t f2 = comma1 + 1;
    if (reply.At(f2) == '0') {
        record[kPortRecordReceiverPort] = 0;
    } else if (reply.At(f2) == '1') {
        record[kPortRecordReceiverPort] = 1;
    } else {
        return -2;
    }
    const size_t comma2 = reply.Find(',', f2);
    if (comma2 == npos) return -2;
    const size_t comma3 = reply.Find(',', comma2 + 1);  // ends f3, which is ignored
    if (comma3 == npos) return -2;
    at = comma3 + 1;
    return 0;
}

// "f4,f5,f6,": the baud rate, data bits and stop bits into record; at is then where f7 begins.
int ParseRateAndBits(const ReplyText& reply, uint8_t* record, size_t& at) {
    const size_t f4 = at;
    const long rate = FieldNumber(reply, f4, FieldEnd(reply, f4));
    const int baudCode =
        rate > 0 && rate <= kBaudRateOfCode.back() ? BaudCodeOfRate(static_cast<int32_t>(rate)) : -1;
    if (baudCode < 0) return -3;
    record[kPortRecordInputBaud] = static_cast<uint8_t>(baudCode);
    record[kPortRecordOutputBaud] = static_cast<uint8_t>(baudCode);

    const size_t comma4 = reply.Find(',', f4);
    if (comma4 == npos) return -4;
    const size_t f5 = comma4 + 1;
    const size_t comma5 = reply.Find(',', f5);
    if (comma5 == npos) return -4;

    const long dataBits = FieldNumber(reply, f5, comma5);
    if (dataBits == 7) {
        record[kPortRecordDataBits] = kDataBitsCode7;
    } else if (dataBits == 8) {
        record[kPortRecordDataBits] = kDataBitsCode8;
    } else {
        return -5;
    }

    const size_t f6 = comma5 + 1;
    const size_t comma6 = reply.Find(',', f6);
    if (comma6 == npos) return -6;
    const long stopBits = FieldNumber(reply, f6, comma6);
    if (stopBits == 1) {
        record[kPortRecordStopBits] = kStopBitsCode1;
    } else if (stopBits == 2) {
        record[kPortRecordStopBits] = kStopBitsCode2;
    } else {
        return -7;
    }
    at = comma6 + 1;
    return 0;
}

// "f7,f8,...;...;": the parity into record, and the rest of the reply present.
int ParseParityAndRest(const ReplyText& reply, uint8_t* record, size_t f7) {
    const size_t comma7 = reply.Find(',', f7);
    if (comma7 == npos) return -8;
    switch (reply.At(f7)) {
        case 'E':
            record[kPortRecordParity] = kParityCodeEven;
            break;
        case 'N':
            record[kPortRecordParity] = kParityCodeNone;
            break;
        case 'O':
            record[kPortRecordParity] = kParityCodeOdd;
            break;
        default:
            return -9;
    }

    const size_t f8 = comma7 + 1;
    if (reply.Find(',', f8) == npos) return -10;
    const size_t semicolonA = reply.Find(';', f8);
    if (semicolonA == npos || reply.Find(';', semicolonA + 1) == npos) return -11;
    return 0;
}

}  // namespace

int ParseBreakReply(const char* text, size_t textSize, uint8_t* record) {
    if (text == nullptr) return -1;
    ReplyText reply{text, 0};
    while (reply.size < textSize && text[reply.size] != '\0') ++reply.size;
    size_t at = 0;
    int status = ParseReceiverPort(reply, record, at);
    if (status == 0) status = ParseRateAndBits(reply, record, at);
    if (status == 0) status = ParseParityAndRest(reply, record, at);
    return status;
}

int ParseBreakReply(const char* text, uint8_t* record) {
    return ParseBreakReply(text, static_cast<size_t>(-1), record);
}
