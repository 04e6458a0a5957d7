// Serial devices on Linux: a tty (serial port, USB adapter, pseudo-terminal) through termios.
// The descriptor is non-blocking throughout; waits are done in poll, together with an eventfd
// that Interrupt() signals so that a close never waits out a write time-out.
#include "serial/posix/PosixDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>

namespace {

using Clock = std::chrono::steady_clock;

// The rates termios can set within the driver's valid range (0..38400). Any other rate fails.
struct BaudCode {
    int32_t rate;
    speed_t code;
};
constexpr BaudCode kBaudCodes[] = {
    {0, B0},       {50, B50},     {75, B75},     {110, B110},   {134, B134},   {150, B150},
    {200, B200},   {300, B300},   {600, B600},   {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
};

bool SpeedOfRate(int32_t rate, speed_t& code) {
    for (const BaudCode& entry : kBaudCodes) {
        if (entry.rate == rate) {
            code = entry.code;
            return true;
        }
    }
    return false;
}

// A speed the table lacks (a faster rate set by another program) reads as −1.
int32_t RateOfSpeed(speed_t code) {
    for (const BaudCode& entry : kBaudCodes) {
        if (entry.code == code) return entry.rate;
    }
    return -1;
}

int DataBitsOfSize(tcflag_t size) {
    switch (size) {
        case CS5: return 5;
        case CS6: return 6;
        case CS7: return 7;
        default: return 8;
    }
}

int RemainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

class PosixDevice final : public SerialDevice {
public:
    ~PosixDevice() override { Close(); }

    bool Open(const std::string& name) override {
        if (fd_ >= 0 || name.empty()) return false;
        const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) return false;
        // flock keeps out every other opener that locks, root included; TIOCEXCL keeps out
        // non-root openers that do not lock.
        if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return false;
        }
        if (::ioctl(fd, TIOCEXCL) != 0) {
            ::flock(fd, LOCK_UN);
            ::close(fd);
            return false;
        }
        const int interruptFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (interruptFd < 0) {
            ::ioctl(fd, TIOCNXCL);
            ::flock(fd, LOCK_UN);
            ::close(fd);
            return false;
        }
        fd_ = fd;
        interruptFd_ = interruptFd;
        return true;
    }

    // Linux has no per-device queue size: the sizes are only recorded.
    bool SetQueueSizes(int32_t inputSize, int32_t outputSize) override {
        inputSize_ = inputSize;
        outputSize_ = outputSize;
        return fd_ >= 0;
    }

    bool GetLineSettings(DeviceLineSettings& settings) override {
        termios tio{};
        if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
        settings.baudRate = RateOfSpeed(::cfgetospeed(&tio));
        settings.parity = (tio.c_cflag & PARENB) == 0 ? 0 : ((tio.c_cflag & PARODD) != 0 ? 1 : 2);
        settings.dataBits = DataBitsOfSize(tio.c_cflag & CSIZE);
        settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 0;
        return true;
    }

    bool SetLineSettings(const DeviceLineSettings& settings) override {
        termios tio{};
        speed_t speed = B0;
        if (fd_ < 0 || !SpeedOfRate(settings.baudRate, speed) || ::tcgetattr(fd_, &tio) != 0) return false;
        if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return false;
        // Binary mode: without this the tty's defaults would eat 0x03, 0x11, 0x13 and 0x7F and turn
        // CR into LF inside packets. Hardware flow control (CRTSCTS) keeps what the device had.
        tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                              IXON | IXOFF | IXANY | IUCLC | IMAXBEL);
        tio.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR | OCRNL | ONOCR | ONLRET | OLCUC);
        tio.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHOE | ECHOK | ECHONL | ISIG | IEXTEN);
        tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB);
        tio.c_cflag |= CLOCAL | CREAD | (settings.dataBits == 7 ? CS7 : CS8);
        if (settings.parity != 0) tio.c_cflag |= PARENB | (settings.parity == 1 ? PARODD : 0);
        if (settings.stopBits != 0) tio.c_cflag |= CSTOPB;
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        return ::tcsetattr(fd_, TCSANOW, &tio) == 0;
    }

    bool QueueCounts(int32_t& inputCount, int32_t& outputCount) override {
        int in = 0;
        int out = 0;
        if (fd_ < 0 || ::ioctl(fd_, TIOCINQ, &in) != 0 || ::ioctl(fd_, TIOCOUTQ, &out) != 0) return false;
        inputCount = in;
        outputCount = out;
        return true;
    }

    int Read(uint8_t* buffer, int maxCount) override {
        if (fd_ < 0 || maxCount <= 0) return fd_ < 0 ? -1 : 0;
        for (;;) {
            const ssize_t count = ::read(fd_, buffer, static_cast<size_t>(maxCount));
            if (count > 0) return static_cast<int>(count);
            if (count < 0) {
                if (errno == EINTR) continue;
                return errno == EAGAIN || errno == EWOULDBLOCK ? 0 : -1;
            }
            // With VMIN = VTIME = 0 an empty read means "nothing there", but a hung-up tty
            // (USB adapter unplugged) also reads empty: poll tells them apart.
            pollfd line{fd_, POLLIN, 0};
            if (::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return -1;
            return 0;
        }
    }

    bool WaitReadable(int timeoutMs) override {
        if (fd_ < 0) return false;
        pollfd fds[2] = {{fd_, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
        int ready = 0;
        do {
            ready = ::poll(fds, 2, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        // A hang-up counts as readable: the read that follows reports it.
        return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
    }

    int Write(const uint8_t* data, int count, int timeoutMs) override {
        if (fd_ < 0) return -1;
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        int written = 0;
        while (written < count) {
            const ssize_t n = ::write(fd_, data + written, static_cast<size_t>(count - written));
            if (n > 0) {
                written += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return written > 0 ? written : -1;
            const int left = RemainingMs(deadline);
            if (left == 0) break;
            pollfd fds[2] = {{fd_, POLLOUT, 0}, {interruptFd_, POLLIN, 0}};
            const int ready = ::poll(fds, 2, left);
            if (ready < 0 && errno != EINTR) return written > 0 ? written : -1;
            if (ready > 0 && fds[1].revents != 0) break;
            if (ready > 0 && (fds[0].revents & POLLOUT) == 0 &&
                (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                return written > 0 ? written : -1;
            }
        }
        return written;
    }

    bool PurgeInput() override { return fd_ >= 0 && ::tcflush(fd_, TCIFLUSH) == 0; }
    bool PurgeOutput() override { return fd_ >= 0 && ::tcflush(fd_, TCOFLUSH) == 0; }

    bool SetBreak(bool on) override { return fd_ >= 0 && ::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0; }

    // The descriptor is released even when the tty reports an error (a hung-up device fails
    // TIOCNXCL), so closing an open device always succeeds.
    bool Close() override {
        if (fd_ < 0) return false;
        ::ioctl(fd_, TIOCNXCL);
        ::flock(fd_, LOCK_UN);
        ::close(fd_);
        ::close(interruptFd_);
        fd_ = -1;
        interruptFd_ = -1;
        return true;
    }

    void Interrupt() override {
        if (interruptFd_ < 0) return;
        const uint64_t one = 1;
        while (::write(interruptFd_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }

private:
    int fd_ = -1;
    int interruptFd_ = -1;
    int32_t inputSize_ = 0;
    int32_t outputSize_ = 0;
};

}  // namespace

std::unique_ptr<SerialDevice> CreatePosixDevice() { return std::make_unique<PosixDevice>(); }
