#include "link/Framing.h"

int FrameEncode(const uint8_t* bytes, int length, uint8_t* frame, int frameCapacity) {
    if (length < 0 || frameCapacity < 3) return 0;
    int size = 0;
    frame[size++] = kDLE;
    for (int i = 0; i < length; ++i) {
        const uint8_t b = bytes[i];
        const int needed = (b == kDLE) ? 2 : 1;
        // Room must remain for this byte (doubled if need be) and the closing DLE ETX.
        if (size + needed + 2 > frameCapacity) return 0;
        if (b == kDLE) frame[size++] = kDLE;
        frame[size++] = b;
    }
    frame[size++] = kDLE;
    frame[size++] = kETX;
    return size;
}

uint8_t FrameDecodeByte(FrameDecoderFields decoder, uint8_t byte) {
    // The 512-byte guard: the packet being assembled is dropped. A negative count (never produced
    // here) is treated the same way so that no store can land outside the payload buffer.
    if (decoder.collectedLength >= kPayloadBufferSize || decoder.collectedLength < 0) {
        decoder.collectedLength = 0;
        decoder.packetId = 0;
        decoder.dleFlag = 0;
    }
    if (decoder.dleFlag == 0) {
        if (byte == kDLE) {
            decoder.dleFlag = 1;
        } else {
            decoder.payload[decoder.collectedLength++] = byte;
        }
        return 0;
    }
    decoder.dleFlag = 0;
    if (byte == kDLE) {
        decoder.payload[decoder.collectedLength++] = kDLE;
        return 0;
    }
    if (byte == kETX) {
        decoder.completedLength = static_cast<uint32_t>(decoder.collectedLength);
        decoder.collectedLength = 0;
        return 1;
    }
    // A DLE followed by any other byte begins a new packet with that byte as its id; whatever was
    // collected (junk between packets, or a packet cut short) is dropped.
    decoder.collectedLength = 0;
    decoder.packetId = byte;
    return 0;
}
