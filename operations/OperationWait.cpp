#include "operations/OperationWait.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include "serial/Deadline.h"
#include "serial/Serial.h"

#ifndef _WIN32
#include <poll.h>

#include <ctime>
#endif

namespace {
// Touched by the thread that runs the operations only, like the Port Contexts.
std::vector<int> waitLog;
OperationWaitObserver waitObserver = nullptr;
OperationSleeper waitSleeper = nullptr;

// Set from signal handlers: a lock-free atomic is safe there.
std::atomic<int> stopLevel{0};
static_assert(std::atomic<int>::is_always_lock_free);

#ifndef _WIN32
// Readable from the first stop request until ClearOperationStop: a wait sleeps in one poll on it
// and still ends at once. Opened before main, since a signal handler may signal it at any moment.
struct StopWake {
    StopWake() { event.Open(); }
    WakeEvent event;
};
StopWake stopWake;
#endif

// A plain sleep that a stop request cuts short.
void SleepUnlessStopped(int milliseconds) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(milliseconds);
#ifndef _WIN32
    if (stopWake.event.IsOpen()) {
        for (Clock::time_point now = Clock::now(); now < end && !OperationStopRequested();
             now = Clock::now()) {
            const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(end - now).count();
            const timespec timeout{static_cast<time_t>(left / 1000000000),
                                   static_cast<long>(left % 1000000000)};
            pollfd wake{stopWake.event.Fd(), POLLIN, 0};
            ::ppoll(&wake, 1, &timeout, nullptr);
        }
        return;
    }
#endif
    constexpr auto kSlice = std::chrono::milliseconds(10);
    for (Clock::time_point now = Clock::now(); now < end && !OperationStopRequested(); now = Clock::now())
        std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, end - now));
}
}  // namespace

void OperationWait(int milliseconds) {
    if (OperationStopRequested()) return;
    waitLog.push_back(milliseconds);
    if (waitObserver != nullptr) waitObserver(milliseconds);
    if (waitSleeper != nullptr)
        waitSleeper(milliseconds);
    else
        SleepUnlessStopped(milliseconds);
}

const std::vector<int>& OperationWaits() {
    return waitLog;
}

int64_t OperationWaitTotal() {
    return std::accumulate(waitLog.begin(), waitLog.end(), int64_t{0});
}

void ResetOperationWaits() {
    waitLog.clear();
}

void SetOperationWaitObserver(OperationWaitObserver observer) {
    waitObserver = observer;
}

void SetOperationSleeper(OperationSleeper sleeper) {
    waitSleeper = sleeper;
}

void RequestOperationStop(int level) {
    int now = stopLevel.load();
    while (now < level && !stopLevel.compare_exchange_weak(now, level)) {
    }
#ifndef _WIN32
    if (level >= kStopAtSafePoint) stopWake.event.Signal();
#endif
}

int OperationStopLevel() {
    return stopLevel.load();
}

bool OperationStopRequested() {
    return stopLevel.load() >= kStopAtSafePoint;
}

void ClearOperationStop() {
    stopLevel.store(0);
#ifndef _WIN32
    stopWake.event.Drain();
#endif
}

void DrainTransmitQueues() {
    constexpr int kDrainLimitMs = 1000;
    constexpr int kDrainLimitAtOnceMs = 200;
    const int limit = OperationStopLevel() >= kStopAtOnce ? kDrainLimitAtOnceMs : kDrainLimitMs;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limit);
    for (int n = 1; n <= kSerialPortCount; ++n) {
        while (SerialTransmitCount(static_cast<uint8_t>(n)) > 0 &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
