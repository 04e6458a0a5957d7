// Waits in the serial layer are bounded by deadlines: a point in time that a wait must not pass,
// and the eventfd that wakes a thread out of its poll at once (closing a descriptor would not).
#pragma once

#include <chrono>

#include "serial/Socket.h"

class Deadline {
  public:
    using Clock = std::chrono::steady_clock;
    explicit Deadline(int milliseconds)
        : end_(Clock::now() + std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0)) {}
    explicit Deadline(Clock::time_point end) : end_(end) {}

    // Whole milliseconds left, rounded up, never negative: what poll() takes.
    int RemainingMs() const {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(end_ - Clock::now()).count();
        return left > 0 ? static_cast<int>(left) : 0;
    }
    bool Passed() const { return Clock::now() >= end_; }
    Clock::time_point End() const { return end_; }

  private:
    Clock::time_point end_;
};

// An eventfd that a thread in poll() waits on beside its device: Signal() wakes it, and every later
// poll too until Drain(). Open() may be called again after Close(). On Windows, where WSAPoll waits
// on sockets only, it is a datagram socket connected to itself.
class WakeEvent {
  public:
    WakeEvent() = default;
    ~WakeEvent() { Close(); }
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const { return fd_ != kNoSocket; }
    SocketHandle Fd() const { return fd_; }
    void Signal() const;
    void Drain() const;

  private:
    SocketHandle fd_ = kNoSocket;
};
