#include "operations/OperationWait.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <numeric>
#include <thread>

#include "serial/Deadline.h"
#include "serial/Serial.h"

namespace {
// Touched by the thread that runs the operations only, like the Port Contexts.
std::vector<int> waitLog;
OperationWaitObserver waitObserver = nullptr;
OperationSleeper waitSleeper = nullptr;

// Set from signal handlers: a lock-free atomic is safe there.
std::atomic<int> stopLevel{0};
static_assert(std::atomic<int>::is_always_lock_free);

// Readable from the first stop request until ClearOperationStop: a wait sleeps in one poll on it
// and still ends at once. Opened before main, since a stop may be requested at any moment (from a
// signal handler too); where it could not be opened, a wait looks at the stop every 10 ms.
struct StopWake {
    StopWake() { event.Open(); }
    WakeEvent event;
};
StopWake stopWake;

// A plain sleep that a stop request cuts short.
void SleepUnlessStopped(int milliseconds) {
    const Deadline deadline(milliseconds);
    while (!deadline.Passed() && !OperationStopRequested()) {
        if (stopWake.event.IsOpen()) {
            pollfd wake{stopWake.event.Fd(), POLLIN, 0};
            PollSockets(&wake, 1, deadline.RemainingMs());
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(10, deadline.RemainingMs())));
        }
    }
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
    if (level >= kStopAtSafePoint) stopWake.event.Signal();
}

int OperationStopLevel() {
    return stopLevel.load();
}

bool OperationStopRequested() {
    return stopLevel.load() >= kStopAtSafePoint;
}

void ClearOperationStop() {
    stopLevel.store(0);
    stopWake.event.Drain();
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
