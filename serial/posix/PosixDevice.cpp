// Serial devices on Linux: a tty (serial port, USB adapter, pseudo-terminal) through termios.
// The descriptor is non-blocking throughout; waits are done in poll, together with an eventfd
// that Interrupt() signals so that a close never waits out a write time-out.
#include "serial/posix/PosixDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "serial/Deadline.h"
#include "serial/posix/LineOwnership.h"
#include "serial/posix/TermiosSpeed.h"

namespace {

using Clock = std::chrono::steady_clock;

int DataBitsOfSize(tcflag_t size) {
    switch (size) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

class PosixDevice final : public SerialDevice {
  public:
    ~PosixDevice() override { Close(); }

    bool Open(const std::string& name) override {
        failure_ = {};
        if (fd_ >= 0) return Fail(SerialFailureCode::kOther, "already open");
        // The same policy `vandel-cli ports` gives its verdict with: known missing, no serial line,
        // held by another program or its lock file, or not permitted, before anything is opened.
        TtyLine line;
        failure_ = CheckTtyAvailable(name, line, LookStart::kGatherSideBySide);
        if (failure_.code != SerialFailureCode::kNone) return false;
        ptySlave_ = line.kind == TtyKind::kPtySlave;
        int32_t lockHolder = 0;
        if (!lock_.Acquire(line.path, lockHolder)) {
            failure_.holderPid = lockHolder;
            UucpLockState held;
            held.held = true;
            held.pid = lockHolder;
            return Fail(SerialFailureCode::kBusy, UucpLockDetail(UucpLockPath(line.path), held));
        }

        const int fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            const int error = errno;
            lock_.Release();
            return FailErrno(error, name);
        }
        // flock keeps out every other opener that locks, root included; TIOCEXCL keeps out
        // non-root openers that do not lock.
        SerialFailureCode code = SerialFailureCode::kNone;
        std::string detail;
        if (!::isatty(fd)) {
            code = SerialFailureCode::kNotSerial;
            detail = name;
        } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int error = errno;
            code = error == EWOULDBLOCK ? SerialFailureCode::kBusy : SerialFailureCode::kOther;
            // The same words as the check before the open, which `vandel-cli ports` gives too.
            const SerialFailure locked = FlockedBy(line);
            detail = error != EWOULDBLOCK                      ? std::strerror(error)
                     : locked.code != SerialFailureCode::kNone ? locked.detail
                                                               : "locked by another program";
            failure_.holderPid = locked.holderPid;
        } else if (::ioctl(fd, TIOCEXCL) != 0) {
            code = SerialFailureCode::kOther;
            detail = std::string("exclusive mode: ") + std::strerror(errno);
            ::flock(fd, LOCK_UN);
        }
        if (code == SerialFailureCode::kNone && !interrupt_.Open()) {
            code = SerialFailureCode::kOther;
            detail = std::strerror(errno);
            ::ioctl(fd, TIOCNXCL);
            ::flock(fd, LOCK_UN);
        }
        if (code != SerialFailureCode::kNone) {
            ::close(fd);
            lock_.Release();
            return Fail(code, detail);
        }
        fd_ = fd;
        return true;
    }

    SerialFailure LastFailure() const override { return failure_; }

    // Linux has no per-device queue size: the sizes are only recorded.
    bool SetQueueSizes(int32_t inputSize, int32_t outputSize) override {
        inputSize_ = inputSize;
        outputSize_ = outputSize;
        return fd_ >= 0;
    }

    bool GetLineSettings(DeviceLineSettings& settings) override {
        termios tio{};
        if (fd_ < 0 || ::tcgetattr(fd_, &tio) != 0) return false;
        settings.baudRate = RateOfTermiosSpeed(::cfgetospeed(&tio));
        settings.parity = (tio.c_cflag & PARENB) == 0 ? 0 : ((tio.c_cflag & PARODD) != 0 ? 1 : 2);
        settings.dataBits = DataBitsOfSize(tio.c_cflag & CSIZE);
        settings.stopBits = (tio.c_cflag & CSTOPB) != 0 ? 2 : 0;
        return true;
    }

    bool SetLineSettings(const DeviceLineSettings& settings) override {
        termios tio{};
        speed_t speed = B0;
        if (fd_ < 0 || !TermiosSpeedOfRate(settings.baudRate, speed) || ::tcgetattr(fd_, &tio) != 0)
            return false;
        // A baud rate of 0 is left to the device: the line keeps its speed. Setting B0 would ask a
        // real serial port to hang up (drop DTR and RTS), which can reset what hangs on the line.
        if (settings.baudRate != 0 && (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0))
            return false;
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
        if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
            return Fail(SerialFailureCode::kLineSettings, std::strerror(errno));
        termios got{};
        if (::tcgetattr(fd_, &got) != 0) return Fail(SerialFailureCode::kLineSettings, std::strerror(errno));
        if (!LineSettingsTaken(tio, got, ptySlave_))
            return Fail(SerialFailureCode::kLineSettings,
                        "the device kept other settings than those asked for");
        return true;
    }

    bool QueueCounts(int32_t& inputCount, int32_t& outputCount) override {
        int in = 0;
        int out = 0;
        if (fd_ < 0 || ::ioctl(fd_, TIOCINQ, &in) != 0 || ::ioctl(fd_, TIOCOUTQ, &out) != 0) return false;
        inputCount = in;
        outputCount = out;
        return true;
    }

    bool InputCountAlone(int32_t& inputCount) override {
        int in = 0;
        if (fd_ < 0 || ::ioctl(fd_, TIOCINQ, &in) != 0) return false;
        inputCount = in;
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
        pollfd fds[2] = {{fd_, POLLIN, 0}, {interrupt_.Fd(), POLLIN, 0}};
        int ready = 0;
        do {
            ready = ::poll(fds, 2, timeoutMs);
        } while (ready < 0 && errno == EINTR);
        // A hang-up counts as readable: the read that follows reports it.
        return ready > 0 && fds[1].revents == 0 && fds[0].revents != 0;
    }

    int Write(const uint8_t* data, int count, int timeoutMs) override {
        if (fd_ < 0) return -1;
        const Deadline deadline(timeoutMs);
        int written = 0;
        while (written < count) {
            const ssize_t n = ::write(fd_, data + written, static_cast<size_t>(count - written));
            if (n > 0) {
                written += static_cast<int>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return written > 0 ? written : -1;
            const int left = deadline.RemainingMs();
            if (left == 0) break;
            pollfd fds[2] = {{fd_, POLLOUT, 0}, {interrupt_.Fd(), POLLIN, 0}};
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
        interrupt_.Close();
        fd_ = -1;
        lock_.Release();
        return true;
    }

    void Interrupt() override { interrupt_.Signal(); }

  private:
    bool Fail(SerialFailureCode code, std::string detail) {
        failure_.code = code;
        failure_.detail = std::move(detail);
        return false;
    }

    bool FailErrno(int error, const std::string& name) {
        switch (error) {
            case ENOENT:
            case ENXIO:
            case ENODEV:
                return Fail(SerialFailureCode::kNoSuchDevice, name + ": " + std::strerror(error));
            case EACCES:
            case EPERM:
                return Fail(SerialFailureCode::kPermissionDenied, PermissionDetail(name));
            case EBUSY:
                return Fail(SerialFailureCode::kBusy, "opened for exclusive use by another program");
            case ENOTDIR:
                return Fail(SerialFailureCode::kNoSuchDevice, name + ": " + std::strerror(error));
            default:
                return Fail(SerialFailureCode::kOther, name + ": " + std::strerror(error));
        }
    }

    int fd_ = -1;
    WakeEvent interrupt_;
    bool ptySlave_ = false;
    UucpLock lock_;
    SerialFailure failure_;
    int32_t inputSize_ = 0;
    int32_t outputSize_ = 0;
};

}  // namespace

std::unique_ptr<SerialDevice> CreatePosixDevice() {
    return std::make_unique<PosixDevice>();
}

bool LineSettingsTaken(const termios& asked, const termios& got, bool ptySlave) {
    if (::cfgetospeed(&asked) != ::cfgetospeed(&got)) return false;
    tcflag_t compared = CSTOPB;
    if (!ptySlave) compared |= CSIZE | PARENB | PARODD;
    return (asked.c_cflag & compared) == (got.c_cflag & compared);
}
