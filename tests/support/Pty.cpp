#include "support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

PtyPair::PtyPair() {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;
    char name[128] = {};
    termios tio{};
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || ::ptsname_r(fd, name, sizeof name) != 0 ||
        ::tcgetattr(fd, &tio) != 0) {
        ::close(fd);
        return;
    }
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    masterFd_ = fd;
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (masterFd_ >= 0) ::close(masterFd_);
    masterFd_ = -1;
}

bool PtyPair::Write(const std::vector<uint8_t>& bytes, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    size_t done = 0;
    while (masterFd_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(masterFd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        const int left = RemainingMs(deadline);
        if (left == 0) return false;
        pollfd line{masterFd_, POLLOUT, 0};
        ::poll(&line, 1, left < 10 ? left : 10);
    }
    return masterFd_ >= 0;
}

std::vector<uint8_t> PtyPair::Read(size_t count, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    std::vector<uint8_t> bytes;
    while (masterFd_ >= 0 && bytes.size() < count) {
        uint8_t chunk[512];
        const size_t want = count - bytes.size() < sizeof chunk ? count - bytes.size() : sizeof chunk;
        const ssize_t n = ::read(masterFd_, chunk, want);
        if (n > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
            continue;
        }
        const int left = RemainingMs(deadline);
        if (left == 0) break;
        // EIO means no slave is open just now (between a close and a reopen): keep waiting.
        pollfd line{masterFd_, POLLIN, 0};
        if (::poll(&line, 1, left < 10 ? left : 10) > 0 && (line.revents & POLLIN) == 0) {
            ::poll(nullptr, 0, 10);
        }
    }
    return bytes;
}

std::vector<uint8_t> PtyPair::ReadAvailable() {
    std::vector<uint8_t> bytes;
    uint8_t chunk[512];
    ssize_t n = 0;
    while (masterFd_ >= 0 && (n = ::read(masterFd_, chunk, sizeof chunk)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + n);
    return bytes;
}
