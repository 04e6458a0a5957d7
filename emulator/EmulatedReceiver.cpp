// An emulated receiver: its start and stop, the loop of its thread, and its timing and faults
// (latency, silence, resets, breaks). The line it talks on is in EmulatorLine.cpp.
#include "emulator/EmulatedReceiver.h"

#include <fcntl.h>
#include <unistd.h>
#ifndef _WIN32
#include <termios.h>
#endif

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#ifndef _WIN32
#include "serial/posix/LineOwnership.h"
#include "serial/posix/TermiosSpeed.h"
#endif

namespace {

constexpr int kIdleWaitMs = 200;
constexpr int kExclusiveCheckMs = 500;
constexpr size_t kMaxNotes = 64;

}  // namespace

void EmulatedReceiver::CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void EmulatedReceiver::CloseConnection(SocketHandle& socket) {
    CloseSocket(socket);
    socket = kNoSocket;
}

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

EmulatedReceiver::~EmulatedReceiver() {
    Stop();
}

bool EmulatedReceiver::Start(uint16_t listenPort, std::string& error) {
    if (!wake_.Open()) {
        error = std::string("cannot create an event: ") + SocketErrorText(LastSocketError());
        return false;
    }
    if (!(options_.usePty ? OpenPty(error) : Listen(listenPort, error))) return false;
    status_.connected = options_.usePty;
    nextAutoOutput_ = Clock::now() + std::chrono::milliseconds(options_.autoOutputPeriodMs);
    Note(options_.usePty ? "ready on " + ptyPath_ : "listening on " + Address());
    thread_ = std::thread(&EmulatedReceiver::Run, this);
    return true;
}

// A pseudo-terminal, raw at Port B's line settings, its other end held open.
bool EmulatedReceiver::OpenPty(std::string& error) {
#ifdef _WIN32
    error =
        "the receivers on pseudo-terminals need Linux; on Windows they serve network serial ports "
        "(--listen)";
    return false;
#else
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
    return true;
#endif
}

// A listening socket on the listen host and port (0: a free one, then told by port_).
bool EmulatedReceiver::Listen(uint16_t listenPort, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(listenPort);
    const int lookup = !StartSockets()
                           ? EAI_FAIL
                           : ::getaddrinfo(options_.listenHost.c_str(), service.c_str(), &hints, &found);
    if (lookup != 0 || found == nullptr) {
        error = "cannot resolve " + options_.listenHost + ": " + ::gai_strerror(lookup);
        return false;
    }
    int lastErrno = 0;
    for (addrinfo* address = found; address != nullptr && listenFd_ == kNoSocket;
         address = address->ai_next) {
        const SocketHandle fd = OpenSocket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (fd == kNoSocket) continue;
#ifndef _WIN32
        // On Windows the same option would let a second server take the port.
        SetSocketOption(fd, SOL_SOCKET, SO_REUSEADDR, 1);
#endif
        if (::bind(fd, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0 &&
            ::listen(fd, 4) == 0) {
            listenFd_ = fd;
        } else {
            lastErrno = LastSocketError();
            CloseSocket(fd);
        }
    }
    ::freeaddrinfo(found);
    if (listenFd_ == kNoSocket) {
        error = "cannot listen on " + options_.listenHost + ":" + service + ": " + SocketErrorText(lastErrno);
        return false;
    }
    sockaddr_storage bound{};
    socklen_t length = sizeof bound;
    ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&bound), &length);
    port_ = bound.ss_family == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port)
                                        : ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
    return true;
}

void EmulatedReceiver::Stop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stop_ = true;
    }
    wake_.Signal();
    if (thread_.joinable()) thread_.join();
    CloseConnection(clientFd_);
    CloseConnection(listenFd_);
    CloseFd(slaveFd_);
    CloseFd(masterFd_);
    wake_.Close();
}

std::string EmulatedReceiver::Address() const {
    if (options_.usePty) return ptyPath_;
    const std::string host = options_.listenHost.find(':') != std::string::npos
                                 ? "[" + options_.listenHost + "]"
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

bool EmulatedReceiver::LineMatches() const {
    return PcSide() == model_.PortB();
}

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
            fds[static_cast<size_t>(count++)] = {wake_.Fd(), POLLIN, 0};
            const short outEvents = out_.empty() ? 0 : POLLOUT;
#ifndef _WIN32
            if (masterFd_ >= 0)
                fds[static_cast<size_t>(count++)] = {masterFd_, static_cast<short>(POLLIN | outEvents), 0};
#endif
            if (listenFd_ != kNoSocket) fds[static_cast<size_t>(count++)] = {listenFd_, POLLIN, 0};
            if (clientFd_ != kNoSocket)
                fds[static_cast<size_t>(count++)] = {clientFd_, static_cast<short>(POLLIN | outEvents), 0};
        }
        PollSockets(fds.data(), static_cast<size_t>(count), timeoutMs);
        std::lock_guard<std::mutex> guard(mutex_);
        if (stop_) return;
        wake_.Drain();
        for (int i = 1; i < count; ++i) {
            const pollfd& fd = fds[static_cast<size_t>(i)];
            if (fd.revents == 0) continue;
            if (fd.fd == listenFd_ && listenFd_ != kNoSocket) AcceptClient();
        }
        ReadLine();
        RunTimers(Clock::now());
        Flush();
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
    item.logText =
        "tx " + PacketHex(packet.id, packet.payload.data(), static_cast<int>(packet.payload.size()));
    item.isPacket = true;
    scheduled_.push_back(std::move(item));
}

void EmulatedReceiver::RunTimers(Clock::time_point now) {
    // A program killed while it had the pty in exclusive use leaves the line refusing every later
    // open for as long as we keep it: we are its other end, so we end that exclusive use.
#ifndef _WIN32
    if (slaveFd_ >= 0 && now >= nextExclusiveCheck_) {
        nextExclusiveCheck_ = now + std::chrono::milliseconds(kExclusiveCheckMs);
        if (EndExclusiveUseLeftBehind(slaveFd_, exclusiveHolder_))
            Note("the line was left in exclusive use by a program that is gone: released");
    }
#endif
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
        if (!options_.usePty && clientFd_ == kNoSocket) continue;  // nobody on the line
        const bool garbled = !LineMatches();
        Note(item.logText + (garbled ? " (garbled: line settings differ)" : ""));
        if (item.isPacket) ++status_.packetsSent;
        EmitLine(item.bytes.data(), static_cast<int>(item.bytes.size()));
    }
    if (options_.autoOutput && now >= nextAutoOutput_) {
        nextAutoOutput_ = now + std::chrono::milliseconds(options_.autoOutputPeriodMs);
        const bool lineOpen = options_.usePty || clientFd_ != kNoSocket;
        if (!options_.silent && !resetting_ && !status_.hungUp && lineOpen) {
            for (const ModelPacket& packet : model_.AutoOutput(autoSeconds_)) SchedulePacket(packet, 0);
        }
        ++autoSeconds_;
    }
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
