// The waits of the long operations: plain sleeps of the calling thread (the operations send, sleep,
// then pump what arrived meanwhile). Every wait is also added to a running log, so the timing
// script can compare an operation's wall time with the waits it made and the tests can check that
// each wait happened where it belongs.
#pragma once

#include <cstdint>
#include <vector>

void OperationWait(int milliseconds);

// How a wait passes the time; nullptr (the default) for a plain sleep. The window program lets the
// window system repaint meanwhile (user input still waits, as the operations expect).
using OperationSleeper = void (*)(int milliseconds);
void SetOperationSleeper(OperationSleeper sleeper);

// Called on the operation's thread at the start of every wait, before the sleep, so that it may
// look at the Port Contexts; nullptr for none. The command-line tool prints its progress from it.
using OperationWaitObserver = void (*)(int milliseconds);
void SetOperationWaitObserver(OperationWaitObserver observer);

// The waits made since the last ResetOperationWaits, in order, in milliseconds.
const std::vector<int>& OperationWaits();
int64_t OperationWaitTotal();
void ResetOperationWaits();
