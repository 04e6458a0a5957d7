// The run's side of the fleet's protocol (RunProtocol.h) where the systems differ: how a run knows
// it was started as one, how it learns that its parent has gone, and where its messages go.
#pragma once

#include <cstdio>
#include <string>

// Whether this process was started as a run (its event stream is there), not typed by hand.
bool StartedAsRun();
// Before the request is read: the run stops, as a SIGTERM would make it, when its parent dies.
void StopWhenParentDies();
// After it: the parent may have died before StopWhenParentDies (Linux); on Windows the parent's
// stops come as lines on standard input after the request (`rest` holds what was read of them).
void WatchParent(long parent, const std::string& rest);
// A stream whose lines reach the parent as the run's messages.
std::FILE* OpenRunMessages();
void CloseRunMessages(std::FILE* messages);
