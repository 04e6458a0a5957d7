// Output into a pipe whose reader has gone (vandel-cli show --json FILE | head -1) ends the program
// quietly, as other tools end: with the status a SIGPIPE gives in the shell and no message. The
// program ignores SIGPIPE (a network serial port's peer may hang up), so it looks for itself.
#pragma once

#include <cstdio>

constexpr int kExitClosedPipe = 141;  // 128 + SIGPIPE

// Into a pipe or socket, each print goes out in one write (up to 1 MiB), so that a reader that stops
// early sees the same thing every time: an output that fits the pipe ends with status 0, a larger
// one with kExitClosedPipe. Call before anything is written to `out`.
void WriteWholePrints(std::FILE* out);

// True when `out` is a pipe or socket that nobody reads any more.
bool ReaderHasGone(std::FILE* out);
