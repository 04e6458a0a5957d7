// The flags this program gives open(2) for its own files (traces, logs, audit records), where the
// system has them: on Linux the descriptor is not inherited, no terminal becomes the controlling
// one and a FIFO does not keep the open waiting; on Windows the file is not inherited and is binary.
#pragma once

#include <fcntl.h>

#ifdef _WIN32
inline constexpr int kOwnFileFlags = _O_BINARY | _O_NOINHERIT;
#else
inline constexpr int kOwnFileFlags = O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
#endif
