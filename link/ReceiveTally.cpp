#include "link/ReceiveTally.h"

#include "link/Framing.h"

void ReceiveTally::Start(const PortLine& line) {
    *this = ReceiveTally{};
    lines_[0].line = line;
}

void ReceiveTally::Switch(const PortLine& line) {
    // What is pending belongs to the settings it came at (the new ones start with an empty ring).
    AddUnframed(pending_);
    pending_ = 0;
    if (count_ == kMaxLines) {
        for (int i = 1; i < kMaxLines; ++i)
            lines_[static_cast<size_t>(i - 1)] = lines_[static_cast<size_t>(i)];
        --count_;
    }
    lines_[static_cast<size_t>(count_)] = LineTally{line, 0, 0, 0, 0};
    ++count_;
}

void ReceiveTally::Count(uint32_t dleBefore, int32_t collectedBefore, uint8_t byte, uint8_t completed) {
    if (collectedBefore >= kPayloadBufferSize || collectedBefore < 0) {
        // The decoder's 512-byte guard dropped the packet being assembled (and its DLE flag).
        AddUnframed(pending_);
        pending_ = 0;
        dleBefore = 0;
    }
    if (completed != 0) {
        pending_ = 0;
        Current().packets += 1;
        totalPackets_ += 1;
    } else if (dleBefore != 0 && byte != kDLE && byte != kETX) {
        // A DLE and a packet id begin a new packet: what stood before that DLE is dropped (the DLE
        // itself may have been counted at the settings before a switch).
        AddUnframed(pending_ > 0 ? pending_ - 1 : 0);
        pending_ = 2;
    } else {
        pending_ += 1;
    }
}

LineTally ReceiveTally::Line(int i) const {
    LineTally line = lines_[static_cast<size_t>(i)];
    if (i == count_ - 1) line.unframed += pending_;
    return line;
}
