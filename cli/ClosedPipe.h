// Output into a pipe whose reader has gone (vandel-cli show --json FILE | head -1) ends the program
// quietly, as other tools end: with the status a SIGPIPE gives in the shell and no message. The
// program ignores SIGPIPE (a network serial port's peer may hang up), so it looks for itself.
#pragma once

#include <cstdio>

constexpr int kExitClosedPipe = 141;  // 128 + SIGPIPE

// True when `out` is a pipe or socket that nobody reads any more.
bool ReaderHasGone(std::FILE* out);
