#include "serial/Deadline.h"

#include <cstdint>

#ifdef _WIN32

bool WakeEvent::Open() {
    Close();
    fd_ = OpenSocket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (fd_ == kNoSocket) return false;
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof self;
    auto* address = reinterpret_cast<sockaddr*>(&self);
    if (::bind(fd_, address, length) != 0 || ::getsockname(fd_, address, &length) != 0 ||
        ::connect(fd_, address, length) != 0) {
        Close();
        return false;
    }
    return true;
}

void WakeEvent::Close() {
    CloseSocket(fd_);
    fd_ = kNoSocket;
}

void WakeEvent::Signal() const {
    if (fd_ == kNoSocket) return;
    const char one = 1;
    ::send(fd_, &one, 1, 0);
}

void WakeEvent::Drain() const {
    if (fd_ == kNoSocket) return;
    char bytes[64];
    while (::recv(fd_, bytes, sizeof bytes, 0) > 0) {
    }
}

#else

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

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

#endif
