#include "emulator/EmulatedReceiver.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "serial/posix/TermiosSpeed.h"

namespace {

constexpr int kIdleWaitMs = 200;
constexpr size_t kMaxPendingOut = 64 * 1024;  // a line nobody reads loses what does not fit
constexpr size_t kMaxNotes = 64;
constexpr int kReadChunk = 4096;
constexpr int kHangupGraceMs = 2000;

// A byte as it arrives when the two ends of the line disagree: never a DLE, ETX or letter, so
// garbage can neither frame a packet nor pass for a break reply.
uint8_t Garble(uint8_t byte, uint8_t& counter) {
    return static_cast<uint8_t>(0x80 | ((byte * 37 + counter++) & 0x7F));
}

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

EmulatedReceiver::EmulatedReceiver(int number, const EmulatorOptions& options, EmulatorLog* log)
    : number_(number),
      options_(options),
      log_(log),
      model_(options.portB),
      willSent_(256, false),
      doSent_(256, false),
      refused_(256, false),
      pcSide_(options.portB) {
    model_.faults = options.faults;
}

EmulatedReceiver::~EmulatedReceiver() { Stop(); }

bool EmulatedReceiver::Start(uint16_t listenPort, std::string& error) {
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        error = std::string("cannot create an event: ") + std::strerror(errno);
        return false;
    }
    if (options_.usePty) {
        masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        char path[128] = {};
        if (masterFd_ < 0 || ::grantpt(masterFd_) != 0 || ::unlockpt(masterFd_) != 0 ||
            ::ptsname_r(masterFd_, path, sizeof path) != 0) {
            error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        ptyPath_ = path;
        slaveFd_ = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (slaveFd_ < 0) {
            error = "cannot open " + ptyPath_ + ": " + std::strerror(errno);
            return false;
        }
        // Raw from the start, so that nothing the receiver sends is echoed back to it.
        termios settings{};
        ::tcgetattr(slaveFd_, &settings);
        ::cfmakeraw(&settings);
        speed_t speed = B9600;
        TermiosSpeedOfRate(options_.portB.baudRate, speed);
        ::cfsetispeed(&settings, speed);
        ::cfsetospeed(&settings, speed);
        if (options_.portB.stopBits == 2) settings.c_cflag |= CSTOPB;
        ::tcsetattr(slaveFd_, TCSANOW, &settings);
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_PASSIVE;
        addrinfo* found = nullptr;
        const std::string service = std::to_string(listenPort);
        const int lookup = ::getaddrinfo(options_.listenHost.c_str(), service.c_str(), &hints, &found);
        if (lookup != 0 || found == nullptr) {
            error = "cannot resolve " + options_.listenHost + ": " + ::gai_strerror(lookup);
            return false;
        }
        int lastErrno = 0;
        for (addrinfo* address = found; address != nullptr && listenFd_ < 0; address = address->ai_next) {
            const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                    address->ai_protocol);
            if (fd < 0) continue;
            const int one = 1;
            ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
            if (::bind(fd, address->ai_addr, address->ai_addrlen) == 0 && ::listen(fd, 4) == 0) {
                listenFd_ = fd;
            } else {
                lastErrno = errno;
                ::close(fd);
            }
        }
        ::freeaddrinfo(found);
        if (listenFd_ < 0) {
            error = "cannot listen on " + options_.listenHost + ":" + service + ": " + std::strerror(lastErrno);
            return false;
        }
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
        port_ = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                            : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    }
    status_.connected = options_.usePty;
    nextAutoOutput_ = Clock::now() + std::chrono::milliseconds(options_.autoOutputPeriodMs);
    Note(options_.usePty ? "ready on " + ptyPath_ : "listening on " + Address());
    thread_ = std::thread(&EmulatedReceiver::Run, this);
    return true;
}

void EmulatedReceiver::Stop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stop_ = true;
    }
    if (wakeFd_ >= 0) {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeFd_, &one, sizeof one);
    }
    if (thread_.joinable()) thread_.join();
    CloseFd(clientFd_);
    CloseFd(listenFd_);
    CloseFd(slaveFd_);
    CloseFd(masterFd_);
    CloseFd(wakeFd_);
}

std::string EmulatedReceiver::Address() const {
    if (options_.usePty) return ptyPath_;
    const std::string host = options_.listenHost.find(':') != std::string::npos ? "[" + options_.listenHost + "]"
                                                                                : options_.listenHost;
    return host + ":" + std::to_string(port_);
}

std::string EmulatedReceiver::DeviceName() const {
    return options_.usePty ? ptyPath_ : std::string("rfc2217://") + Address();
}

ReceiverStatus EmulatedReceiver::Status() const {
    std::lock_guard<std::mutex> guard(mutex_);
    ReceiverStatus status = status_;
    status.current = model_.Current();
    status.saved = model_.Saved();
    status.portB = model_.PortB();
    status.pcSide = PcSide();
    status.lineMatches = LineMatches();
    status.resetting = resetting_;
    return status;
}

void EmulatedReceiver::SetCurrentSettings(const ReceiverSettings& settings) {
    std::lock_guard<std::mutex> guard(mutex_);
    model_.SetCurrent(settings);
}

PortLine EmulatedReceiver::PcSide() const {
    if (!options_.usePty) return pcSide_;
    // A pty keeps the baud rate and the stop bits; it forces 8 data bits and no parity, so those
    // two are taken as whatever the receiver uses.
    PortLine line = model_.PortB();
    termios settings{};
    if (masterFd_ >= 0 && ::tcgetattr(masterFd_, &settings) == 0) {
        line.baudRate = RateOfTermiosSpeed(::cfgetospeed(&settings));
        line.stopBits = (settings.c_cflag & CSTOPB) != 0 ? 2 : 1;
    }
    return line;
}

bool EmulatedReceiver::LineMatches() const { return PcSide() == model_.PortB(); }

void EmulatedReceiver::Note(const std::string& text) {
    status_.notes.push_back(text);
    if (status_.notes.size() > kMaxNotes) status_.notes.erase(status_.notes.begin());
    if (log_ != nullptr) log_->Write(number_, text);
}

int EmulatedReceiver::NextTimeoutMs(Clock::time_point now) const {
    Clock::time_point next = now + std::chrono::milliseconds(kIdleWaitMs);
    if (!scheduled_.empty()) next = std::min(next, scheduled_.front().due);
    if (hangupPending_ && !status_.hungUp) next = std::min(next, now + std::chrono::milliseconds(10));
    if (resetting_) next = std::min(next, resetEnd_);
    if (options_.autoOutput) next = std::min(next, nextAutoOutput_);
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

void EmulatedReceiver::Run() {
    for (;;) {
        std::array<pollfd, 4> fds{};
        int count = 0;
        int timeoutMs = 0;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (stop_) return;
            timeoutMs = NextTimeoutMs(Clock::now());
            fds[static_cast<size_t>(count++)] = {wakeFd_, POLLIN, 0};
            const short outEvents = out_.empty() ? 0 : POLLOUT;
            if (masterFd_ >= 0) fds[static_cast<size_t>(count++)] = {masterFd_, static_cast<short>(POLLIN | outEvents), 0};
            if (listenFd_ >= 0) fds[static_cast<size_t>(count++)] = {listenFd_, POLLIN, 0};
            if (clientFd_ >= 0) fds[static_cast<size_t>(count++)] = {clientFd_, static_cast<short>(POLLIN | outEvents), 0};
        }
        ::poll(fds.data(), static_cast<nfds_t>(count), timeoutMs);
        std::lock_guard<std::mutex> guard(mutex_);
        if (stop_) return;
        uint64_t drained = 0;
        while (::read(wakeFd_, &drained, sizeof drained) > 0) {
        }
        for (int i = 1; i < count; ++i) {
            const pollfd& fd = fds[static_cast<size_t>(i)];
            if (fd.revents == 0) continue;
            if (fd.fd == listenFd_ && listenFd_ >= 0) AcceptClient();
        }
        ReadLine();
        RunTimers(Clock::now());
        Flush();
    }
}

void EmulatedReceiver::ReadLine() {
    uint8_t raw[kReadChunk];
    if (masterFd_ >= 0) {
        for (;;) {
            const ssize_t got = ::read(masterFd_, raw, sizeof raw);
            if (got <= 0) break;
            OnLineBytes(raw, static_cast<int>(got));
        }
    }
    while (clientFd_ >= 0) {
        const ssize_t got = ::recv(clientFd_, raw, sizeof raw, MSG_DONTWAIT);
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
            DropClient("the client closed the connection");
            break;
        }
        if (got < 0) break;
        // Byte by byte, so that data and settings commands keep their order on the line: data
        // sent before a settings change is judged by the old settings, data after it by the new.
        uint8_t data[kReadChunk];
        int dataCount = 0;
        std::vector<TelnetEvent> events;
        for (ssize_t i = 0; i < got && clientFd_ >= 0; ++i) {
            events.clear();
            dataCount += TelnetDecode(telnet_, raw + i, 1, data + dataCount, events);
            if (events.empty()) continue;
            if (dataCount > 0) OnLineBytes(data, dataCount);
            dataCount = 0;
            for (const TelnetEvent& event : events) HandleTelnet(event);
        }
        if (dataCount > 0 && clientFd_ >= 0) OnLineBytes(data, dataCount);
    }
}

void EmulatedReceiver::AcceptClient() {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (clientFd_ >= 0) {
        // The previous program may have closed its connection just before this one arrived, in
        // the same poll: take what it sent and notice the close first, so that a port closed and
        // reopened at once works.
        ReadLine();
    }
    if (clientFd_ >= 0) {
        // One program at a time, as on a serial port opened for exclusive use.
        ::close(fd);
        Note("refused a second connection");
        return;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    clientFd_ = fd;
    telnet_ = TelnetDecoder{};
    std::fill(willSent_.begin(), willSent_.end(), false);
    std::fill(doSent_.begin(), doSent_.end(), false);
    std::fill(refused_.begin(), refused_.end(), false);
    breakOn_ = false;
    out_.clear();
    status_.connected = true;
    ++status_.connections;
    Note("client connected");
}

void EmulatedReceiver::DropClient(const char* why) {
    CloseFd(clientFd_);
    out_.clear();
    breakOn_ = false;
    status_.connected = false;
    Note(why);
}

void EmulatedReceiver::OnLineBytes(const uint8_t* data, int count) {
    const char* reason = nullptr;
    if (status_.hungUp) {
        reason = "hung up";
    } else if (resetting_) {
        reason = "resetting";
    } else if (breakOn_) {
        reason = "line in break";
    } else if (!LineMatches()) {
        reason = "line settings differ";
    }
    if (reason != nullptr) {
        status_.bytesLost += static_cast<uint64_t>(count);
        if (!lostNoted_) Note(std::string("lost received bytes: ") + reason);
        lostNoted_ = true;
        return;
    }
    lostNoted_ = false;
    for (int i = 0; i < count; ++i) {
        if (FrameDecodeByte(decoder_.Fields(), data[i]) == 1) OnPacket();
        if (resetting_) {
            // The rest of what arrived with the reset command is lost while the receiver restarts.
            status_.bytesLost += static_cast<uint64_t>(count - i - 1);
            return;
        }
    }
}

void EmulatedReceiver::OnPacket() {
    const uint8_t id = static_cast<uint8_t>(decoder_.packetId);
    const int length = static_cast<int>(decoder_.completedLength);
    ++status_.packetsReceived;
    ModelResult result;
    model_.Handle(id, decoder_.payload, length, result);
    Note("rx " + PacketHex(id, decoder_.payload, length) + " (" + result.note + ")");
    if (result.portBChanged) Note("Port B line now " + PortLineText(model_.PortB()));
    if (result.resetRequested) {
        resetting_ = true;
        resetEnd_ = Clock::now() + std::chrono::milliseconds(options_.resetSilenceMs);
        scheduled_.clear();
        return;
    }
    if (options_.silent) return;
    for (const ModelPacket& packet : result.replies) SchedulePacket(packet, options_.latencyMs);
}

void EmulatedReceiver::SchedulePacket(const ModelPacket& packet, int delayMs) {
    std::vector<uint8_t> bytes;
    bytes.reserve(packet.payload.size() + 1);
    bytes.push_back(packet.id);
    bytes.insert(bytes.end(), packet.payload.begin(), packet.payload.end());
    uint8_t frame[kFrameBufferSize];
    const int size = FrameEncode(bytes.data(), static_cast<int>(bytes.size()), frame, kFrameBufferSize);
    if (size == 0) return;
    Scheduled item;
    item.due = Clock::now() + std::chrono::milliseconds(delayMs);
    item.bytes.assign(frame, frame + size);
    item.logText = "tx " + PacketHex(packet.id, packet.payload.data(), static_cast<int>(packet.payload.size()));
    item.isPacket = true;
    scheduled_.push_back(std::move(item));
}

void EmulatedReceiver::RunTimers(Clock::time_point now) {
    if (hangupPending_ && !status_.hungUp && (SentBytesTaken() || now >= hangupDeadline_)) HangUp();
    if (resetting_ && now >= resetEnd_) {
        resetting_ = false;
        model_.RestoreSaved();
        decoder_ = FrameDecoder{};
        ++status_.resets;
        Note("back from reset on the saved settings; Port B line " + PortLineText(model_.PortB()));
    }
    while (!scheduled_.empty() && scheduled_.front().due <= now) {
        Scheduled item = std::move(scheduled_.front());
        scheduled_.pop_front();
        if (status_.hungUp) continue;
        if (!options_.usePty && clientFd_ < 0) continue;  // nobody on the line
        const bool garbled = !LineMatches();
        Note(item.logText + (garbled ? " (garbled: line settings differ)" : ""));
        if (item.isPacket) ++status_.packetsSent;
        EmitLine(item.bytes.data(), static_cast<int>(item.bytes.size()));
    }
    if (options_.autoOutput && now >= nextAutoOutput_) {
        nextAutoOutput_ = now + std::chrono::milliseconds(options_.autoOutputPeriodMs);
        const bool lineOpen = options_.usePty || clientFd_ >= 0;
        if (!options_.silent && !resetting_ && !status_.hungUp && lineOpen) {
            for (const ModelPacket& packet : model_.AutoOutput(autoSeconds_)) SchedulePacket(packet, 0);
        }
        ++autoSeconds_;
    }
}

void EmulatedReceiver::EmitLine(const uint8_t* bytes, int count) {
    const bool garbled = !LineMatches();
    bool hangUp = false;
    for (int i = 0; i < count; ++i) {
        if (options_.hangupAfterBytes >= 0 &&
            status_.bytesSent >= static_cast<uint64_t>(options_.hangupAfterBytes)) {
            hangUp = true;
            break;
        }
        if (out_.size() >= kMaxPendingOut) break;
        const uint8_t byte = garbled ? Garble(bytes[i], garbleCounter_) : bytes[i];
        if (options_.usePty) {
            out_.push_back(byte);
        } else {
            TelnetEncodeData(&byte, 1, out_);
        }
        ++status_.bytesSent;
        if (garbled) ++status_.bytesGarbled;
    }
    if (options_.hangupAfterBytes >= 0 && status_.bytesSent >= static_cast<uint64_t>(options_.hangupAfterBytes)) {
        hangUp = true;
    }
    Flush();
    if (hangUp && !hangupPending_) {
        // On a pty the bytes already sent are lost if the line drops before they are read:
        // hang up once the PC side has taken them (or after a grace time).
        hangupPending_ = true;
        hangupDeadline_ = Clock::now() + std::chrono::milliseconds(kHangupGraceMs);
    }
}

bool EmulatedReceiver::SentBytesTaken() const {
    if (!out_.empty()) return false;
    if (!options_.usePty || slaveFd_ < 0) return true;
    int unread = 0;
    return ::ioctl(slaveFd_, FIONREAD, &unread) != 0 || unread == 0;
}

void EmulatedReceiver::Flush() {
    const int fd = options_.usePty ? masterFd_ : clientFd_;
    if (fd < 0) {
        out_.clear();
        return;
    }
    size_t written = 0;
    while (written < out_.size()) {
        const ssize_t sent = options_.usePty ? ::write(fd, out_.data() + written, out_.size() - written)
                                             : ::send(fd, out_.data() + written, out_.size() - written,
                                                      MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent <= 0) break;
        written += static_cast<size_t>(sent);
    }
    out_.erase(out_.begin(), out_.begin() + static_cast<std::ptrdiff_t>(written));
}

void EmulatedReceiver::HangUp() {
    if (status_.hungUp) return;
    status_.hungUp = true;
    status_.connected = false;
    // The line goes dead for good: the pty disappears, the network port stops answering.
    CloseFd(clientFd_);
    CloseFd(listenFd_);
    CloseFd(slaveFd_);
    CloseFd(masterFd_);
    scheduled_.clear();
    out_.clear();
    Note("hung up after " + std::to_string(status_.bytesSent) + " bytes");
}

void EmulatedReceiver::ReplyComPort(uint8_t command, const uint8_t* value, int count) {
    std::vector<uint8_t> reply;
    ComPortEncode(static_cast<uint8_t>(command + kComPortServerOffset), value, count, reply);
    out_.insert(out_.end(), reply.begin(), reply.end());
}

void EmulatedReceiver::EndBreak() {
    breakOn_ = false;
    ++status_.breaks;
    Note("line break");
    if (options_.silent || options_.noBreakReply || resetting_ || status_.hungUp) return;
    const std::string text = BreakReplyText(model_.PortB());
    Scheduled item;
    item.due = Clock::now() + std::chrono::milliseconds(options_.latencyMs);
    item.bytes.assign(text.begin(), text.end());
    item.logText = "tx break reply " + text.substr(0, text.size() - 2);
    scheduled_.push_back(std::move(item));
    ++status_.breakReplies;
}

void EmulatedReceiver::HandleTelnet(const TelnetEvent& event) {
    if (event.kind == TelnetEvent::Kind::Option) {
        const uint8_t option = event.option;
        const bool serverWill = option == kOptionBinary || option == kOptionSuppressGoAhead;
        const bool clientMay = serverWill || option == kOptionComPort;
        std::vector<uint8_t> reply;
        if (event.verb == kTelnetWILL) {
            if (clientMay && !doSent_[option]) {
                doSent_[option] = true;
                TelnetEncodeOption(kTelnetDO, option, reply);
            } else if (!clientMay && !refused_[option]) {
                refused_[option] = true;
                TelnetEncodeOption(kTelnetDONT, option, reply);
            }
        } else if (event.verb == kTelnetDO) {
            if (serverWill && !willSent_[option]) {
                willSent_[option] = true;
                TelnetEncodeOption(kTelnetWILL, option, reply);
            } else if (!serverWill && !refused_[option]) {
                refused_[option] = true;
                TelnetEncodeOption(kTelnetWONT, option, reply);
            }
        }
        out_.insert(out_.end(), reply.begin(), reply.end());
        return;
    }
    if (event.option != kOptionComPort || event.valueLength < 1) return;
    const uint8_t command = event.value[0];
    const uint8_t value = ComPortValueU8(event);
    switch (command) {
        case kComPortSignature: {
            static constexpr char kSignature[] = "kirp-emulator";
            ReplyComPort(command, reinterpret_cast<const uint8_t*>(kSignature), sizeof kSignature - 1);
            break;
        }
        case kComPortSetBaudRate: {
            const uint32_t rate = ComPortValueU32(event);
            if (rate != 0 && rate <= 4000000) pcSide_.baudRate = static_cast<int32_t>(rate);
            const uint32_t now = static_cast<uint32_t>(pcSide_.baudRate);
            const uint8_t bytes[4] = {static_cast<uint8_t>(now >> 24), static_cast<uint8_t>(now >> 16),
                                      static_cast<uint8_t>(now >> 8), static_cast<uint8_t>(now)};
            ReplyComPort(command, bytes, 4);
            break;
        }
        case kComPortSetDataSize: {
            if (value >= 5 && value <= 8) pcSide_.dataBits = value;
            const uint8_t now = static_cast<uint8_t>(pcSide_.dataBits);
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortSetParity: {
            // Mark and space have no place in a receiver's settings: refused, the old value stands.
            if (ParityOfComPort(value) >= 0) pcSide_.parity = ParityOfComPort(value);
            const uint8_t now = ComPortParity(pcSide_.parity);
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortSetStopSize: {
            // The device layer's codes (0 one, 2 two) against the line's count of stop bits.
            const int32_t asked = StopBitsOfComPort(value);
            if (asked == 0 || asked == 2) pcSide_.stopBits = asked == 2 ? 2 : 1;
            const uint8_t now = ComPortStopSize(pcSide_.stopBits == 2 ? 2 : 0);
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortSetControl: {
            uint8_t now = value;
            if (value == kComPortControlBreakOn) {
                breakOn_ = true;
            } else if (value == kComPortControlBreakOff) {
                if (breakOn_) EndBreak();
            } else if (value == 4) {
                now = breakOn_ ? kComPortControlBreakOn : kComPortControlBreakOff;
            } else if (value == 0) {
                now = 1;  // no flow control
            }
            ReplyComPort(command, &now, 1);
            break;
        }
        case kComPortPurgeData:
            // The server's buffer of bytes from the line toward the client is what is pending.
            // Replies already queued for the client go out first; line data still waiting is dropped.
            if (value == kComPortPurgeReceive || value == kComPortPurgeBoth) {
                Flush();
                out_.clear();
            }
            ++status_.purges;
            ReplyComPort(command, &value, 1);
            break;
        case kComPortSetLineStateMask:
        case kComPortSetModemStateMask:
            ReplyComPort(command, &value, 1);
            break;
        default:
            return;
    }
    if (command >= kComPortSetBaudRate && command <= kComPortSetStopSize && value != 0) {
        ++status_.lineChanges;
        Note("PC side now " + PortLineText(pcSide_) + (LineMatches() ? "" : " (differs from Port B)"));
    }
}
