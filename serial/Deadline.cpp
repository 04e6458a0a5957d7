#include "serial/Deadline.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

bool WakeEvent::Open() {
    Close();
    fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    return fd_ >= 0;
}

void WakeEvent::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void WakeEvent::Signal() const {
    if (fd_ < 0) return;
    const uint64_t one = 1;
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void WakeEvent::Drain() const {
    if (fd_ < 0) return;
    uint64_t counter = 0;
    while (::read(fd_, &counter, sizeof counter) < 0 && errno == EINTR) {
    }
}
