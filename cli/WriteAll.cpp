#include "cli/WriteAll.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

bool WriteAll(int fd, const char* data, size_t size, size_t& done, size_t piece,
              const std::function<void()>& between) {
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, std::min(size - done, piece));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n == 0) errno = ENOSPC;
            return false;
        }
        done += static_cast<size_t>(n);
        if (between) between();
    }
    return true;
}
