#include "cli/ClosedPipe.h"

#include <poll.h>

bool ReaderHasGone(std::FILE* out) {
    pollfd fd{fileno(out), POLLOUT, 0};
    // A pipe without a reader polls as an error; a socket whose peer closed as a hang-up.
    return fd.fd >= 0 && ::poll(&fd, 1, 0) == 1 && (fd.revents & (POLLERR | POLLHUP)) != 0;
}
