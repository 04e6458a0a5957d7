// The per-port I/O thread and the byte operations on the Receive Ring and the Transmit Queue.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>

#include "serial/Serial.h"
#include "serial/SerialPortTable.h"
#include "serial/SerialTesting.h"
#include "serial/Trace.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kReadChunk = 256;
// A device that holds back its unread input is left unread once the application has left the
// Receive Ring full, taking nothing, for this long.
constexpr auto kHoldBackAfter = std::chrono::milliseconds(300);

// The port number 1..40 of a slot of the table.
int PortOfSlot(const PortSlot& slot) {
    return static_cast<int>(&slot - &SerialSlot(0)) + 1;
}
constexpr int kDirectReadWaitMs = 1000;

// Sleeps until the deadline on the I/O thread; false as soon as a stop is requested.
bool SleepUntilUnlessStopped(PortSlot& slot, Clock::time_point deadline) {
    while (!slot.stopRequested.load()) {
        if (!slot.wake.WaitUntil(deadline)) return !slot.stopRequested.load();
    }
    return false;
}

// The polls of every port fall on one program-wide 100 ms beat, so that twenty idle ports wake the
// machine once per beat rather than twenty times. The next poll is the first beat at least half a
// period away: back to back the polls are exactly 100 ms apart, and no gap is under 50 ms.
Clock::time_point NextBeat(Clock::time_point now) {
    using std::chrono::milliseconds;
    const auto period = std::chrono::duration_cast<Clock::duration>(milliseconds(kIoPollPeriodMs));
    const auto halfPeriod = period / 2;
    const Clock::duration sinceEpoch = (now + halfPeriod).time_since_epoch();
    return Clock::time_point((sinceEpoch / period + 1) * period);
}

int32_t RingUnread(const ReceiveRing& ring) {
    const int32_t read = ring.readIndex.load();
    const int32_t write = ring.writeIndex.load();
    return write >= read ? write - read : write - read + ring.capacity;
}

// Full: the ring holds capacity − 1 unread bytes, and the next byte received would be dropped.
bool RingFull(const ReceiveRing& ring) {
    return RingUnread(ring) >= ring.capacity - 1;
}

// Kept by the I/O thread across its polls: whether the application has left the Receive Ring full
// for kHoldBackAfter. A device whose unread input waits at its source (a network peer, which TCP
// then holds back) is not read while that lasts: reading it would only drop the bytes, as fast as
// the peer sends them. Taking a byte or a purge ends it at the next poll, so a ring that is read,
// however slowly, never holds back its port.
class HoldBack {
  public:
    bool Holding(const PortSlot& slot, Clock::time_point now) {
        const ReceiveRing& ring = slot.ring;
        if (!slot.device->HoldsBackUnreadInput() || !RingFull(ring)) {
            watching_ = false;
            return false;
        }
        const uint64_t taken = ring.taken.load();
        if (!watching_ || taken != takenThen_) {
            watching_ = true;
            takenThen_ = taken;
            fullSince_ = now;
        }
        return now - fullSince_ >= kHoldBackAfter;
    }

  private:
    bool watching_ = false;
    uint64_t takenThen_ = 0;
    Clock::time_point fullSince_;
};

// Moves what the device holds into the ring, a chunk at a time; true when a byte was stored.
// The device is read under the lock so that bytes read before a purge cannot land after it. One
// poll takes at most a ring's worth: a line that never falls quiet still lets the thread write its
// queue and the application take its bytes between polls.
bool ReadIntoRing(PortSlot& slot) {
    bool stored = false;
    uint8_t chunk[kReadChunk];
    for (int32_t taken = 0; taken < slot.ring.capacity && !slot.stopRequested.load();) {
        std::lock_guard<std::recursive_mutex> guard(slot.lock);
        const int count = slot.device->Read(chunk, kReadChunk);
        if (count <= 0) break;
        ProgramTrace().Bytes(PortOfSlot(slot), "rx", chunk, count);
        for (int i = 0; i < count; ++i) StoreReceivedByte(slot, chunk[i]);
        taken += count;
        stored = true;
    }
    return stored;
}

int32_t QueuedCount(PortSlot& slot) {
    std::lock_guard<std::recursive_mutex> guard(slot.lock);
    return slot.queue.count;
}

// Writes the whole Transmit Queue in one piece and empties it, whatever the device made of it.
void WriteQueue(PortSlot& slot) {
    std::lock_guard<std::recursive_mutex> guard(slot.lock);
    const int32_t count = slot.queue.count;
    if (count <= 0) return;
    const int64_t timeoutMs = std::min<int64_t>(int64_t{count} * kWriteTimeoutPerByteMs, INT_MAX);
    const int written = slot.device->Write(slot.queue.buffer.get(), count, static_cast<int>(timeoutMs));
    ProgramTrace().Bytes(PortOfSlot(slot), "tx", slot.queue.buffer.get(), written);
    slot.queue.count = 0;
}

// One poll of the device. A device that fails its status read (hung up) counts as quiet and empty:
// nothing is read, a queued block is written (and lost), and the thread keeps its pace.
void PollOnce(PortSlot& slot, HoldBack& holdBack) {
    SerialDevice& device = *slot.device;
    for (;;) {
        int32_t inputCount = 0;
        int32_t outputCount = 0;
        const bool holding = holdBack.Holding(slot, Clock::now());
        // Nothing has come and nothing is to be sent: the output queue's count would change nothing.
        if (QueuedCount(slot) == 0 && device.InputCountAlone(inputCount) && inputCount == 0) return;
        if (!device.QueueCounts(inputCount, outputCount)) inputCount = outputCount = 0;
        bool stored = false;
        if (inputCount > 0 && outputCount == 0 && !holding) stored = ReadIntoRing(slot);
        if (QueuedCount(slot) == 0 || slot.stopRequested.load()) return;
        if (!device.QueueCounts(inputCount, outputCount)) inputCount = outputCount = 0;
        // More input is arriving: read it first. Only after a pass that stored something, so that
        // input the device reports but never delivers cannot keep the thread from sleeping. A
        // network peer's input that finds the ring full keeps nothing waiting: it is held back, or
        // would be read only to be dropped, as fast as the peer sends it.
        if (inputCount > 0 && !(device.HoldsBackUnreadInput() && RingFull(slot.ring))) {
            if (stored) continue;
            return;
        }
        if (outputCount == 0) WriteQueue(slot);
        return;
    }
}

uint8_t DirectGetByte(PortSlot& slot, uint8_t* byte) {
    SerialDevice& device = *slot.device;
    int32_t inputCount = 0;
    int32_t outputCount = 0;
    device.QueueCounts(inputCount, outputCount);
    for (;;) {
        const int count = device.Read(byte, 1);
        if (count == 1) {
            ProgramTrace().Bytes(PortOfSlot(slot), "rx", byte, 1);
            return 1;
        }
        if (count < 0) return 0;
        device.WaitReadable(kDirectReadWaitMs);
    }
}

uint8_t DirectPutByte(PortSlot& slot, uint8_t byte) {
    SerialDevice& device = *slot.device;
    int32_t inputCount = 0;
    int32_t outputCount = 0;
    device.QueueCounts(inputCount, outputCount);
    for (;;) {
        const int count = device.Write(&byte, 1, kWriteTimeoutPerByteMs);
        if (count == 1) {
            ProgramTrace().Bytes(PortOfSlot(slot), "tx", &byte, 1);
            return 1;
        }
        if (count < 0) return 0;  // the device refused the byte
    }
}

// One take attempt in Threaded mode: the empty test takes no lock.
uint8_t TakeFromRing(PortSlot& slot, uint8_t* byte) {
    ReceiveRing& ring = slot.ring;
    if (ring.readIndex.load() == ring.writeIndex.load()) return 0;
    std::lock_guard<std::recursive_mutex> guard(slot.lock);
    const int32_t read = ring.readIndex.load();
    if (read == ring.writeIndex.load()) return 0;
    *byte = ring.buffer[static_cast<size_t>(read)];
    ring.readIndex.store((read + 1) % ring.capacity);
    ring.taken.fetch_add(1);
    return 1;
}

}  // namespace

void SleepMs(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void StoreReceivedByte(PortSlot& slot, uint8_t byte) {
    ReceiveRing& ring = slot.ring;
    const int32_t write = ring.writeIndex.load();
    const int32_t next = (write + 1) % ring.capacity;
    // Full: the new byte is lost, as in a UART overrun, and the unread bytes stay.
    if (next == ring.readIndex.load()) return;
    ring.buffer[static_cast<size_t>(write)] = byte;
    ring.writeIndex.store(next);
}

void SerialIoThread(int slotIndex) {
    PortSlot& slot = SerialSlot(slotIndex);
    while (!slot.released.load() && !slot.stopRequested.load()) slot.wake.Wait();
    if (slot.stopRequested.load()) return;
    slot.threadStarted.store(1);
    if (!SleepUntilUnlessStopped(slot, Clock::now() + std::chrono::milliseconds(kIoStartDelayMs))) return;
    HoldBack holdBack;
    for (;;) {
        PollOnce(slot, holdBack);
        slot.ioPasses.fetch_add(1);
        if (!SleepUntilUnlessStopped(slot, NextBeat(Clock::now()))) return;
    }
}

uint8_t SerialGetByte(uint8_t port, uint8_t* byte) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || !byte) return 0;
    const uint8_t mode = slot->accessMode.load();
    if (mode == kAccessDirect) return DirectGetByte(*slot, byte);
    if (mode != kAccessThreaded) return 0;
    return TakeFromRing(*slot, byte);
}

uint16_t SerialGetBytes(uint8_t port, uint8_t* destination, uint16_t attempts) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || !destination) return 0;
    uint16_t stored = 0;
    for (uint16_t attempt = 0; attempt < attempts; ++attempt) {
        const uint8_t mode = slot->accessMode.load();
        if (mode == kAccessThreaded)
            stored += TakeFromRing(*slot, &destination[stored]);
        else if (mode == kAccessDirect)
            stored += DirectGetByte(*slot, &destination[stored]);
    }
    return stored;
}

uint8_t SerialPutByte(uint8_t port, uint8_t byte) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot) return 0;
    const uint8_t mode = slot->accessMode.load();
    if (mode == kAccessDirect) return DirectPutByte(*slot, byte);
    if (mode != kAccessThreaded) return 0;
    std::lock_guard<std::recursive_mutex> guard(slot->lock);
    TransmitQueue& queue = slot->queue;
    if (queue.count >= queue.capacity) return 0;
    queue.buffer[static_cast<size_t>(queue.count)] = byte;
    ++queue.count;
    return 1;
}

int32_t SerialReceiveCount(uint8_t port) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return -1;
    return RingUnread(slot->ring);
}

int32_t SerialTransmitCount(uint8_t port) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return -1;
    std::lock_guard<std::recursive_mutex> guard(slot->lock);
    return slot->queue.count;
}

uint8_t SerialStoreReceivedByte(uint8_t port, uint8_t byte) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot || slot->accessMode.load() == kAccessClosed) return 0;
    std::lock_guard<std::recursive_mutex> guard(slot->lock);
    StoreReceivedByte(*slot, byte);
    return 1;
}

uint32_t SerialIoPassCount(uint8_t port) {
    PortSlot* slot = SerialSlotOfPort(port);
    if (!slot) return 0;
    return slot->ioPasses.load();
}
