// The waits of the long operations: plain sleeps of the calling thread (the operations send, sleep,
// then pump what arrived meanwhile). Every wait is also added to a running log, so the timing
// script can compare an operation's wall time with the waits it made and the tests can check that
// each wait happened where it belongs.
//
// A stop request (the command-line tool's answer to SIGINT, SIGTERM and SIGHUP) ends the wait under
// way at once and makes the operations stop at their next safe point: no packet is started after
// it, the packets already queued go out whole, and the ports are closed the normal way.
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

// Stop levels: 0 none; 1 stop at the next safe point; 2 stop at once (the ports are still closed).
// RequestOperationStop only raises the level and may be called from a signal handler or any thread.
constexpr int kStopAtSafePoint = 1;
constexpr int kStopAtOnce = 2;
void RequestOperationStop(int level);
int OperationStopLevel();
bool OperationStopRequested();
void ClearOperationStop();

// Gives the I/O threads a bounded moment to put what the transmit queues hold on the line before
// the ports are closed (a second or, after a stop at once, a fifth of one), so that no packet is
// cut. Commands sent just before a close (the survey commands after a verification, a request
// when a stop came) would otherwise be dropped.
void DrainTransmitQueues();
