#include "cli/ClosedPipe.h"

#include <sys/stat.h>
#ifdef _WIN32
// A pipe without a reader shows only when written to: the write's error tells.
bool ReaderHasGone(std::FILE* /*out*/) {
    return false;
}
#else
#include <poll.h>

bool ReaderHasGone(std::FILE* out) {
    pollfd fd{fileno(out), POLLOUT, 0};
    // A pipe without a reader polls as an error; a socket whose peer closed as a hang-up.
    return fd.fd >= 0 && ::poll(&fd, 1, 0) == 1 && (fd.revents & (POLLERR | POLLHUP)) != 0;
}
#endif

namespace {

bool IsPipeOrSocket(unsigned mode) {
#ifdef S_ISSOCK
    return S_ISFIFO(mode) || S_ISSOCK(mode);
#else
    return S_ISFIFO(mode);
#endif
}

}  // namespace

void WriteWholePrints(std::FILE* out) {
    struct stat info {};
    // The C library takes a size only with a buffer of one's own.
    static char buffer[1u << 20];
    static bool used = false;  // one stream may have it
    if (used) return;
    used = true;
    if (::fstat(fileno(out), &info) == 0 && IsPipeOrSocket(info.st_mode))
        std::setvbuf(out, buffer, _IOFBF, sizeof buffer);
}
