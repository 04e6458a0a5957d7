// Packet framing: DLE, id, payload with every 0x10 doubled, DLE, ETX. No length, no checksum.
#pragma once

#include <cstdint>

constexpr uint8_t kDLE = 0x10;
constexpr uint8_t kETX = 0x03;
constexpr int kFrameBufferSize = 512;
constexpr int kPayloadBufferSize = 512;

// The Frame Decoder's fields, wherever they are stored (a Port Context keeps them in its own field
// order; FrameDecoder below keeps them together for the emulator and tests).
struct FrameDecoderFields {
    int32_t& collectedLength;   // payload bytes stored so far for the packet being assembled
    uint32_t& completedLength;  // payload length of the packet just completed
    uint32_t& dleFlag;          // the previous byte was an unpaired DLE
    uint32_t& packetId;         // id of the packet being assembled, and of the packet just completed
    uint8_t* payload;           // kPayloadBufferSize bytes
};

struct FrameDecoder {
    int32_t collectedLength = 0;
    uint32_t completedLength = 0;
    uint32_t dleFlag = 0;
    uint32_t packetId = 0;
    uint8_t payload[kPayloadBufferSize] = {};

    FrameDecoderFields Fields() { return {collectedLength, completedLength, dleFlag, packetId, payload}; }
};

struct PortContext;

// Frames `bytes` (id then payload, `length` counting both) into `frame`; returns the frame size, or
// 0 when the frame would not fit in frameCapacity bytes (nothing is written past it).
int FrameEncode(const uint8_t* bytes, int length, uint8_t* frame, int frameCapacity);

// Frames the packet and puts it byte by byte on the context's comm port. Always 0. A packet whose
// frame would not fit in the 512-byte frame buffer is not sent at all.
int PacketSend(int length, const uint8_t* bytes, const PortContext& context);

// Feeds one received byte; 1 when it completed a packet (id = packetId, payload = the first
// completedLength bytes of payload), else 0. Defined here so that the pump's per-byte loop
// inlines it.
inline uint8_t FrameDecodeByte(FrameDecoderFields decoder, uint8_t byte) {
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
