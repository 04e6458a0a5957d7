#include "cli/ClosedPipe.h"

#include <poll.h>
#include <sys/stat.h>

bool ReaderHasGone(std::FILE* out) {
    pollfd fd{fileno(out), POLLOUT, 0};
    // A pipe without a reader polls as an error; a socket whose peer closed as a hang-up.
    return fd.fd >= 0 && ::poll(&fd, 1, 0) == 1 && (fd.revents & (POLLERR | POLLHUP)) != 0;
}

void WriteWholePrints(std::FILE* out) {
    struct stat info {};
    // The C library takes a size only with a buffer of one's own.
    static char buffer[1u << 20];
    static bool used = false;  // one stream may have it
    if (used) return;
    used = true;
    if (::fstat(fileno(out), &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode)))
        std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
}
