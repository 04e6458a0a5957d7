// Internal to the Serial Port Driver: the Port Slot record, the program-wide Serial Port Table and
// the pieces the port operations and the I/O thread share. Nothing outside serial/ includes this.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/Serial.h"
#include "serial/SerialDevice.h"

// What a thread sleeps on until another wakes it or a deadline passes: a signal stays until the
// sleeper takes it. A condition variable, so that the I/O thread's sleep of every poll is one futex
// wait rather than a poll of a descriptor.
class ThreadWake {
  public:
    void Signal() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            signalled_ = true;
        }
        changed_.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> guard(mutex_);
        signalled_ = false;
    }
    // True (and the signal taken) when signalled before the deadline; false when it passed.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [this] { return signalled_; })) return false;
        signalled_ = false;
        return true;
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool signalled_ = false;
};

struct FreeDeleter {
    void operator()(uint8_t* block) const { std::free(block); }
};
// Buffer blocks come from calloc: zero-filled, and a large one costs nothing until it is used.
using ByteBlock = std::unique_ptr<uint8_t[], FreeDeleter>;

struct ReceiveRing {
    int32_t capacity = 0;
    // Atomic because SerialGetByte tests for emptiness without the lock.
    std::atomic<int32_t> readIndex{0};
    std::atomic<int32_t> writeIndex{0};
    // Bytes the application has taken (SerialGetByte), so that the I/O thread can tell a ring left
    // full from one that is read as fast as it fills.
    std::atomic<uint64_t> taken{0};
    ByteBlock buffer;
};

struct TransmitQueue {
    int32_t capacity = 0;
    int32_t count = 0;  // guarded by the slot's lock
    ByteBlock buffer;
};

struct PortSlot {
    std::atomic<uint8_t> accessMode{kAccessClosed};
    std::unique_ptr<SerialDevice> device;
    // Guards the ring, the queue and the device during purges and breaks. Never held together
    // with another slot's lock.
    std::recursive_mutex lock;
    ReceiveRing ring;
    TransmitQueue queue;
    std::atomic<int32_t> threadStarted{0};
    std::thread ioThread;
    // Wakes the I/O thread out of its waits: signalled once to release it after the open, and once
    // to stop it at close (closing the device would not wake a sleeping thread).
    ThreadWake wake;
    std::atomic<bool> released{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<uint32_t> ioPasses{0};  // completed polls of the I/O thread
    // Why the last open or change of line settings failed; kept after the slot is closed.
    std::mutex failureLock;
    SerialFailure lastFailure;
};

constexpr int32_t kDefaultBufferSize = 4096;
constexpr int kIoStartDelayMs = 500;
constexpr int kIoPollPeriodMs = 100;
constexpr int kWriteTimeoutPerByteMs = 10;

// The slot of port 1..40, or nullptr for any other number.
PortSlot* SerialSlotOfPort(uint8_t port);
PortSlot& SerialSlot(int index);

// The I/O thread routine of the slot with index 0..39 (returns when SerialClose stops it).
void SerialIoThread(int slotIndex);
// Stores one received byte in the ring as the I/O thread does: when the ring already holds
// capacity − 1 unread bytes the new byte is dropped and the unread ones stay. Caller holds the lock.
void StoreReceivedByte(PortSlot& slot, uint8_t byte);
void SleepMs(int ms);
