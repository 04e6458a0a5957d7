#include "link/Framing.h"
#include "link/PortContext.h"
#include "serial/Serial.h"

int PacketSend(int length, const uint8_t* bytes, const PortContext& context) {
    uint8_t frame[kFrameBufferSize];
    const int size = FrameEncode(bytes, length, frame, kFrameBufferSize);
    // A frame that does not fit the frame buffer is not sent at all: half a frame on the line
    // would only confuse the receiver's decoder.
    if (size == 0) return 0;
    if (context.commPortNumber < 1 || context.commPortNumber > kSerialPortCount) return 0;
    const auto port = static_cast<uint8_t>(context.commPortNumber);
    for (int i = 0; i < size; ++i) {
        SerialPutByte(port, frame[i]);  // a refused byte is lost silently
    }
    return 0;
}
