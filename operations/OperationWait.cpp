#include "operations/OperationWait.h"

#include <chrono>
#include <numeric>
#include <thread>

namespace {
// Touched by the thread that runs the operations only, like the Port Contexts.
std::vector<int> waitLog;
OperationWaitObserver waitObserver = nullptr;
OperationSleeper waitSleeper = nullptr;
}  // namespace

void OperationWait(int milliseconds) {
    waitLog.push_back(milliseconds);
    if (waitObserver != nullptr) waitObserver(milliseconds);
    if (waitSleeper != nullptr)
        waitSleeper(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
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
