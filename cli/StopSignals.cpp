// What both systems' stop handlers share: the first signal and the count, and the stop level.
#include "cli/StopSignals.h"

#include <atomic>

#include "operations/OperationWait.h"

namespace {

std::atomic<int> firstSignal{0};
std::atomic<int> signalCount{0};

}  // namespace

int NoteStopSignal(int signal) {
    int none = 0;
    firstSignal.compare_exchange_strong(none, signal);
    const int count = ++signalCount;
    RequestOperationStop(count == 1 ? kStopAtSafePoint : kStopAtOnce);
    return count;
}

int StopSignal() {
    return firstSignal.load();
}

int StopSignalCount() {
    return signalCount.load();
}

int StopExitStatus() {
    return 128 + StopSignal();
}
