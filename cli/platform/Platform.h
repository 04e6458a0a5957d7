// What the command-line tool asks of the system beyond the standard library, one implementation per
// system (platform/*Posix.cpp, platform/*Win32.cpp; CMake builds the one that fits).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Opens a file for appending, creating it when missing; −1 with errno set when it cannot. A FIFO
// with no reader does not keep it waiting.
int OpenForAppend(const std::string& path);
// Takes an exclusive lock on the whole open file, waiting for another holder; gives it back.
bool LockWholeFile(int fd);
bool UnlockWholeFile(int fd);
// Whether this user may create files in the folder (errno set when not).
bool CanWriteIn(const std::string& folder);
// Writes what the system holds of the file to the disk.
bool SyncFile(int fd);
// Cuts the open file back to the given size.
bool TruncateFile(int fd, uint64_t size);

// Whether the stream is a terminal, and its size when known (false: keep the defaults).
bool IsTerminal(std::FILE* stream);
bool TerminalWindowSize(std::FILE* stream, size_t& columns, size_t& rows);

// The threads this program starts (an I/O thread and an operation thread a port, twenty ports side
// by side, a phase after another) get stacks of kThreadStackBytes rather than the system's default
// (8 MiB on Linux): stacks that small are kept by the C library when a thread ends and given to the
// next, instead of being mapped and touched afresh. Called before any thread starts.
constexpr size_t kThreadStackBytes = size_t{1} << 20;
void UseSmallThreadStacks();
