// What came back on a port since it was opened, kept per line settings of the PC side: how many
// bytes arrived and how many of them no packet took (noise at a wrong baud rate, a text, a packet
// cut short). It tells a receiver that says nothing from one that talks at other line settings.
// Kept in the Port Context beside the Frame Decoder; it changes nothing the operations decide.
#pragma once

#include <array>
#include <cstdint>

#include "link/PortConfiguration.h"

// One stretch of a session at one line setting of the PC side.
struct LineTally {
    PortLine line;
    uint32_t listens = 0;   // pumps and Break Reply probes made at this setting
    uint32_t received = 0;  // bytes taken from the Receive Ring
    uint32_t unframed = 0;  // of them, bytes no packet took
    uint32_t packets = 0;   // packets completed
};

class ReceiveTally {
  public:
    // The stretches kept: the latest ones when a session changes its line settings more often.
    static constexpr int kMaxLines = 8;

    // A session starts at `line`: everything before is forgotten.
    void Start(const PortLine& line);
    // The PC side now uses `line` (a stretch of its own even when the settings are the same); the
    // bytes of a packet still incomplete count as unframed at the settings before.
    void Switch(const PortLine& line);
    // A pump or probe is about to look at `count` bytes.
    void Listen(uint32_t count) {
        Current().listens += 1;
        Current().received += count;
        totalReceived_ += count;
    }
    // The Frame Decoder's state before a byte and whether the byte completed a packet: keeps the
    // count of bytes no packet took (the decoder drops what stands before a DLE and a packet id).
    void Count(uint32_t dleBefore, int32_t collectedBefore, uint8_t byte, uint8_t completed);
    // Bytes that a probe read and that held no Break Reply.
    void Unframed(uint32_t count) { AddUnframed(count); }

    // The stretches, oldest first; the bytes of a packet still incomplete count as unframed in the
    // last one.
    int LineCount() const { return count_; }
    LineTally Line(int i) const;
    uint32_t TotalReceived() const { return totalReceived_; }
    // Bytes no packet took, the bytes of a packet still incomplete included.
    uint32_t TotalUnframed() const { return totalUnframed_ + pending_; }
    uint32_t TotalPackets() const { return totalPackets_; }

  private:
    LineTally& Current() { return lines_[static_cast<size_t>(count_ - 1)]; }
    void AddUnframed(uint32_t count) {
        Current().unframed += count;
        totalUnframed_ += count;
    }

    std::array<LineTally, kMaxLines> lines_{};
    int count_ = 1;
    uint32_t pending_ = 0;  // bytes since the last packet ended (junk, then the packet being assembled)
    uint32_t totalReceived_ = 0;
    uint32_t totalUnframed_ = 0;
    uint32_t totalPackets_ = 0;
};
