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
