// SIGINT, SIGTERM and SIGHUP while vandel-cli works with receivers: the first asks the operation
// to stop at its next safe point (the ports are closed the normal way and the summary and audit
// record are written); a second asks it to stop at once, still closing the ports. The exit status
// is then 128 + the first signal's number: 130 (SIGINT), 143 (SIGTERM), 129 (SIGHUP).
// On Windows the console's events stand for them: Ctrl-C and Ctrl-Break for SIGINT, the console
// closed for SIGHUP, logoff and shutdown for SIGTERM (platform/StopSignals*.cpp).
#pragma once

#include <string>

// Installs the handlers; the handler only records the signal, raises the operations' stop level
// (OperationWait.h) and makes StopWakeFd readable.
void InstallStopSignals();
// Acts as if the signal had come (a run of a fleet told to stop by its parent).
void RaiseStopSignal(int signal);
// For the handlers: records the signal (the first one stays), raises the operations' stop level
// and returns how many have come. Safe in a signal handler (lock-free atomics only).
int NoteStopSignal(int signal);
// The first of the three signals received, 0 when none came.
int StopSignal();
// How many have come.
int StopSignalCount();
// 128 + StopSignal().
int StopExitStatus();
// A descriptor that becomes readable when a signal comes (for a poll), -1 before InstallStopSignals.
int StopWakeFd();
// Empties StopWakeFd.
void DrainStopWake();
// How the operator is told of a signal ("Interrupt"), and its name in records ("SIGINT").
std::string SignalText(int signal);
std::string SignalName(int signal);
