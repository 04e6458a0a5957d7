// Writing a whole buffer to a descriptor: again after a signal, and no further after an error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

// Writes data[done, size) to fd, at most piece bytes a write, calling between (when given) after
// each write, and writing again after EINTR. True when all of it went; false with errno set
// otherwise (EAGAIN for a full non-blocking pipe, ENOSPC for a write that took nothing). done
// tells how far it got either way.
bool WriteAll(int fd, const char* data, size_t size, size_t& done, size_t piece = SIZE_MAX,
              const std::function<void()>& between = {});
