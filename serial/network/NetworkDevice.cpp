// A serial port reached over TCP through a network serial server (telnet COM-PORT-OPTION).
// The device runs no thread of its own: whoever calls it (the port's I/O thread, or the caller of
// a set or purge) reads the socket, answers the telnet negotiation and collects the server's
// acknowledgements. Data bytes decoded and not yet taken wait in a ring of the input queue size.
#include "serial/network/NetworkDevice.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

#include "serial/network/Rfc2217.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultQueueSize = 4096;
constexpr int kReceiveChunk = 4096;
constexpr int kControlSendTimeoutMs = 1000;
constexpr int kComPortReplies = 13;  // replies 100..112
// One drain of the socket takes at most this much, so that a peer sending faster than we decode
// cannot keep a caller (or the lock it holds) inside it: every wait checks its deadline between drains.
constexpr int kDrainLimitBytes = 16384;
constexpr auto kDrainLimitTime = std::chrono::milliseconds(10);

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Fixed-size ring of decoded data bytes.
class ByteRing {
public:
    void Reset(int capacity) {
        storage_.assign(static_cast<size_t>(capacity), 0);
        head_ = 0;
        size_ = 0;
    }
    int Size() const { return size_; }
    int Room() const { return static_cast<int>(storage_.size()) - size_; }
    void Clear() { head_ = size_ = 0; }
    // Stores what fits; the rest is lost, as on a device whose input queue overflows.
    void Push(const uint8_t* data, int count) {
        const int capacity = static_cast<int>(storage_.size());
        for (int i = 0; i < count && size_ < capacity; ++i) {
            storage_[static_cast<size_t>((head_ + size_) % capacity)] = data[i];
            ++size_;
        }
    }
    int Pop(uint8_t* out, int maxCount) {
        const int capacity = static_cast<int>(storage_.size());
        const int count = std::min(maxCount, size_);
        for (int i = 0; i < count; ++i) {
            out[i] = storage_[static_cast<size_t>(head_)];
            head_ = (head_ + 1) % capacity;
        }
        size_ -= count;
        return count;
    }

private:
    std::vector<uint8_t> storage_;
    int head_ = 0;
    int size_ = 0;
};

class NetworkDevice final : public SerialDevice {
public:
    explicit NetworkDevice(int adoptedFd = -1) : adoptedFd_(adoptedFd) {
        interruptFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    }
    ~NetworkDevice() override {
        CloseSocket();
        if (interruptFd_ >= 0) ::close(interruptFd_);
        if (adoptedFd_ >= 0) ::close(adoptedFd_);
    }
    NetworkDevice(const NetworkDevice&) = delete;
    NetworkDevice& operator=(const NetworkDevice&) = delete;

    bool Open(const std::string& name) override;
    bool SetQueueSizes(int32_t inputSize, int32_t outputSize) override;
    bool GetLineSettings(DeviceLineSettings& settings) override;
    bool SetLineSettings(const DeviceLineSettings& settings) override;
    bool QueueCounts(int32_t& inputCount, int32_t& outputCount) override;
    int Read(uint8_t* buffer, int maxCount) override;
    bool WaitReadable(int timeoutMs) override;
    int Write(const uint8_t* data, int count, int timeoutMs) override;
    bool PurgeInput() override;
    bool PurgeOutput() override;
    bool SetBreak(bool on) override;
    bool Close() override;
    void Interrupt() override;
    SerialFailure LastFailure() const override { return failure_; }

private:
    using Lock = std::unique_lock<std::recursive_mutex>;
    bool Fail(SerialFailureCode code, std::string detail) {
        failure_ = {code, std::move(detail), 0};
        return false;
    }
    bool Connect(const std::string& host, uint16_t port);
    void CloseSocket();
    // Reads what the socket holds without waiting (caller holds the mutex). With `overflow` the
    // data that does not fit in the ring is dropped so that replies behind it are still seen.
    void Drain(bool overflow = false);
    // Waits up to timeoutMs for the socket (or an interrupt) with the mutex let go, so that the I/O
    // thread is never kept waiting longer than one drain, then drains.
    void PumpFor(Lock& lock, int timeoutMs, bool overflow);
    void HandleEvent(const TelnetEvent& event);
    void ReplyOption(uint8_t verb, uint8_t option);
    // Sends every byte within timeoutMs. A message cut short has broken the telnet stream: the
    // connection is then taken as lost.
    bool SendRaw(const std::vector<uint8_t>& bytes, int timeoutMs);
    // Sends from `sent` on until the deadline; the new count of bytes sent.
    size_t SendSome(const std::vector<uint8_t>& bytes, size_t sent, Clock::time_point deadline);
    bool Interrupted() const { return interrupted_.load(); }

    std::recursive_mutex mutex_;
    int adoptedFd_ = -1;  // a connected socket given at construction, used by the first Open
    int fd_ = -1;
    int interruptFd_ = -1;
    std::atomic<bool> interrupted_{false};
    bool peerClosed_ = false;
    TelnetDecoder decoder_;
    ByteRing input_;
    DeviceLineSettings current_{9600, 0, 8, 0};
    bool comPortAccepted_ = false;
    bool comPortRefused_ = false;
    std::array<bool, 256> willSent_{};
    std::array<bool, 256> doSent_{};
    std::array<uint32_t, kComPortReplies> replyCount_{};
    std::array<uint32_t, kComPortReplies> replyValue_{};
    SerialFailure failure_;
};

bool NetworkDevice::Connect(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); error != 0 || found == nullptr)
        return Fail(SerialFailureCode::kNameNotResolved, host + ": " + ::gai_strerror(error));
    int lastError = ETIMEDOUT;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kNetworkConnectTimeoutMs);
    for (addrinfo* address = found; address != nullptr && fd_ < 0; address = address->ai_next) {
        const int fd = ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                address->ai_protocol);
        if (fd < 0) continue;
        bool connected = ::connect(fd, address->ai_addr, address->ai_addrlen) == 0;
        if (!connected) lastError = errno;
        if (!connected && errno == EINPROGRESS) {
            pollfd wait{fd, POLLOUT, 0};
            int error = 0;
            socklen_t length = sizeof error;
            const bool ready = ::poll(&wait, 1, MsLeft(deadline)) == 1;
            connected = ready && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
            lastError = ready ? error : ETIMEDOUT;
        }
        if (connected) {
            fd_ = fd;
        } else {
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (fd_ < 0) {
        const std::string where = host + " port " + std::to_string(port);
        if (lastError == ECONNREFUSED) return Fail(SerialFailureCode::kConnectionRefused, where);
        if (lastError == ETIMEDOUT || lastError == EINPROGRESS)
            return Fail(SerialFailureCode::kNoAnswer, where + ": no connection within " +
                                                          std::to_string(kNetworkConnectTimeoutMs / 1000) + " s");
        return Fail(SerialFailureCode::kOther, where + ": " + std::strerror(lastError));
    }
    const int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return true;
}

void NetworkDevice::CloseSocket() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool NetworkDevice::Open(const std::string& name) {
    Lock lock(mutex_);
    CloseSocket();
    failure_ = {};
    std::string host;
    uint16_t port = 0;
    if (interruptFd_ < 0) return Fail(SerialFailureCode::kOther, "no event descriptor");
    const bool adopted = adoptedFd_ >= 0;
    if (!adopted && !ParseNetworkDeviceName(name, host, port))
        return Fail(SerialFailureCode::kNoSuchDevice, name + ": not of the form rfc2217://HOST:PORT");
    peerClosed_ = false;
    interrupted_.store(false);
    uint64_t pending = 0;
    while (::read(interruptFd_, &pending, sizeof pending) > 0) {
    }
    decoder_ = TelnetDecoder{};
    comPortAccepted_ = comPortRefused_ = false;
    willSent_.fill(false);
    doSent_.fill(false);
    input_.Reset(kDefaultQueueSize);
    if (adopted) {
        fd_ = adoptedFd_;
        adoptedFd_ = -1;
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
    } else if (!Connect(host, port)) {
        return false;
    }

    std::vector<uint8_t> offer;
    TelnetEncodeOption(kTelnetWILL, kOptionComPort, offer);
    for (const uint8_t option : {kOptionBinary, kOptionSuppressGoAhead}) {
        TelnetEncodeOption(kTelnetWILL, option, offer);
        TelnetEncodeOption(kTelnetDO, option, offer);
        willSent_[option] = doSent_[option] = true;
    }
    willSent_[kOptionComPort] = true;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kNetworkConnectTimeoutMs);
    if (SendRaw(offer, kNetworkConnectTimeoutMs)) {
        while (!comPortAccepted_ && !comPortRefused_ && !peerClosed_ && !Interrupted() && MsLeft(deadline) > 0) {
            PumpFor(lock, MsLeft(deadline), true);
        }
    }
    if (comPortAccepted_ && !comPortRefused_ && !peerClosed_) return true;
    // A server that refuses the option, closes, or never answers is no serial port.
    CloseSocket();
    if (comPortRefused_) return Fail(SerialFailureCode::kComPortRefused, host + " port " + std::to_string(port));
    if (peerClosed_)
        return Fail(SerialFailureCode::kConnectionRefused, "the server at " + host + " closed the connection");
    return Fail(SerialFailureCode::kNoAnswer, "the server at " + host + " did not take up the COM-PORT option within " +
                                                  std::to_string(kNetworkConnectTimeoutMs / 1000) + " s");
}

bool NetworkDevice::SetQueueSizes(int32_t inputSize, int32_t /*outputSize*/) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0) return false;
    // Writes go straight to the socket; only the input side needs room.
    input_.Reset(inputSize > 0 ? inputSize : kDefaultQueueSize);
    return true;
}

bool NetworkDevice::GetLineSettings(DeviceLineSettings& settings) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0) return false;
    // The settings last acknowledged by the server (9600 8N1 before the first set).
    settings = current_;
    return true;
}

bool NetworkDevice::SetLineSettings(const DeviceLineSettings& settings) {
    Lock lock(mutex_);
    const uint8_t parity = ComPortParity(settings.parity);
    const uint8_t stopSize = ComPortStopSize(settings.stopBits);
    if (fd_ < 0 || peerClosed_ || parity == 0 || stopSize == 0 || settings.baudRate < 0 ||
        settings.dataBits < 5 || settings.dataBits > 8) {
        return false;
    }
    constexpr std::array<uint8_t, 4> kCommands = {kComPortSetBaudRate, kComPortSetDataSize, kComPortSetParity,
                                                  kComPortSetStopSize};
    std::array<uint32_t, 4> countsBefore{};
    for (size_t i = 0; i < kCommands.size(); ++i) countsBefore[i] = replyCount_[kCommands[i]];

    std::vector<uint8_t> request;
    ComPortEncodeU32(kComPortSetBaudRate, static_cast<uint32_t>(settings.baudRate), request);
    ComPortEncodeU8(kComPortSetDataSize, static_cast<uint8_t>(settings.dataBits), request);
    ComPortEncodeU8(kComPortSetParity, parity, request);
    ComPortEncodeU8(kComPortSetStopSize, stopSize, request);
    if (!SendRaw(request, kControlSendTimeoutMs))
        return Fail(SerialFailureCode::kNoAnswer, "the line settings could not be sent");

    auto allAnswered = [&] {
        for (size_t i = 0; i < kCommands.size(); ++i) {
            if (replyCount_[kCommands[i]] == countsBefore[i]) return false;
        }
        return true;
    };
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kNetworkAckTimeoutMs);
    while (!allAnswered() && !peerClosed_ && !Interrupted() && MsLeft(deadline) > 0) {
        PumpFor(lock, MsLeft(deadline), true);
    }
    if (!allAnswered())
        return Fail(SerialFailureCode::kNoAnswer, "the server did not acknowledge the line settings within " +
                                                      std::to_string(kNetworkAckTimeoutMs / 1000) + " s");

    // The server answers with the values now in force; anything else than asked is a failure.
    DeviceLineSettings acknowledged;
    acknowledged.baudRate = static_cast<int32_t>(replyValue_[kComPortSetBaudRate]);
    acknowledged.dataBits = static_cast<int32_t>(replyValue_[kComPortSetDataSize]);
    acknowledged.parity = ParityOfComPort(static_cast<uint8_t>(replyValue_[kComPortSetParity]));
    acknowledged.stopBits = StopBitsOfComPort(static_cast<uint8_t>(replyValue_[kComPortSetStopSize]));
    const auto describe = [](const DeviceLineSettings& line) {
        return std::to_string(line.baudRate) + " baud, " + std::to_string(line.dataBits) + " data bits, parity " +
               std::to_string(line.parity) + ", stop bits code " + std::to_string(line.stopBits);
    };
    if (acknowledged.parity < 0 || acknowledged.stopBits < 0)
        return Fail(SerialFailureCode::kSettingsNotAcknowledged, "asked " + describe(settings) +
                                                                     ", acknowledged a parity or stop size of none");
    current_ = acknowledged;
    // Baud rate 0 leaves the rate to the server.
    if ((settings.baudRate == 0 || acknowledged.baudRate == settings.baudRate) &&
        acknowledged.dataBits == settings.dataBits && acknowledged.parity == settings.parity &&
        acknowledged.stopBits == settings.stopBits)
        return true;
    return Fail(SerialFailureCode::kSettingsNotAcknowledged,
                "asked " + describe(settings) + ", acknowledged " + describe(acknowledged));
}

bool NetworkDevice::QueueCounts(int32_t& inputCount, int32_t& outputCount) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    inputCount = outputCount = 0;
    if (fd_ < 0) return false;
    Drain();
    inputCount = input_.Size();
    // A closed connection with nothing left to take is a hung-up device.
    return !(peerClosed_ && inputCount == 0);
}

int NetworkDevice::Read(uint8_t* buffer, int maxCount) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0) return -1;
    Drain();
    const int count = input_.Pop(buffer, std::max(maxCount, 0));
    if (count == 0 && peerClosed_) return -1;
    return count;
}

bool NetworkDevice::WaitReadable(int timeoutMs) {
    int fd = -1;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        if (fd_ < 0 || Interrupted()) return false;
        Drain();
        if (input_.Size() > 0 || peerClosed_) return true;
        fd = fd_;
    }
    // The socket stays open until Close, which the driver calls only after this thread stopped.
    pollfd waits[2] = {{fd, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
    ::poll(waits, 2, timeoutMs);
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0 || Interrupted()) return false;
    Drain();
    return input_.Size() > 0 || peerClosed_;
}

int NetworkDevice::Write(const uint8_t* data, int count, int timeoutMs) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0 || peerClosed_) return -1;
    if (count <= 0) return 0;
    std::vector<uint8_t> encoded;
    encoded.reserve(static_cast<size_t>(count) + 8);
    TelnetEncodeData(data, count, encoded);
    size_t sent = SendSome(encoded, 0, Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0)));
    if (peerClosed_) return -1;
    if (sent == encoded.size()) return count;
    // Count the data bytes whose encoding went out whole. A doubled 0xFF is never left half sent:
    // the lone IAC would make the server read the next byte as a command. Its second half goes
    // even after the deadline; a connection that cannot take one byte more is lost.
    int whole = 0;
    size_t position = 0;
    for (int i = 0; i < count; ++i) {
        const size_t next = position + (data[i] == kTelnetIAC ? 2 : 1);
        if (next > sent) {
            if (position < sent) {
                sent = SendSome(encoded, sent, Clock::now() + std::chrono::milliseconds(kControlSendTimeoutMs));
                if (sent < next) {
                    peerClosed_ = true;
                    return whole > 0 ? whole : -1;
                }
                ++whole;
            }
            break;
        }
        position = next;
        ++whole;
    }
    return whole;
}

size_t NetworkDevice::SendSome(const std::vector<uint8_t>& bytes, size_t sent, Clock::time_point deadline) {
    while (sent < bytes.size() && !peerClosed_) {
        const ssize_t written = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written > 0) {
            sent += static_cast<size_t>(written);
            continue;
        }
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            peerClosed_ = true;
            break;
        }
        if (MsLeft(deadline) == 0 || Interrupted()) break;
        pollfd waits[2] = {{fd_, POLLOUT, 0}, {interruptFd_, POLLIN, 0}};
        ::poll(waits, 2, MsLeft(deadline));
    }
    return sent;
}

bool NetworkDevice::PurgeInput() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0) return false;
    std::vector<uint8_t> request;
    ComPortEncodeU8(kComPortPurgeData, kComPortPurgeReceive, request);
    const bool sent = SendRaw(request, kControlSendTimeoutMs);
    Drain(true);
    input_.Clear();
    return sent;
}

bool NetworkDevice::PurgeOutput() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0) return false;
    std::vector<uint8_t> request;
    ComPortEncodeU8(kComPortPurgeData, kComPortPurgeTransmit, request);
    return SendRaw(request, kControlSendTimeoutMs);
}

bool NetworkDevice::SetBreak(bool on) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0) return false;
    std::vector<uint8_t> request;
    ComPortEncodeU8(kComPortSetControl, on ? kComPortControlBreakOn : kComPortControlBreakOff, request);
    return SendRaw(request, kControlSendTimeoutMs);
}

bool NetworkDevice::Close() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ < 0) return false;
    CloseSocket();
    return true;
}

void NetworkDevice::Interrupt() {
    interrupted_.store(true);
    const uint64_t one = 1;
    if (interruptFd_ >= 0) {
        [[maybe_unused]] const ssize_t written = ::write(interruptFd_, &one, sizeof one);
    }
}

void NetworkDevice::Drain(bool overflow) {
    if (fd_ < 0 || peerClosed_) return;
    uint8_t raw[kReceiveChunk];
    uint8_t data[kReceiveChunk];
    std::vector<TelnetEvent> events;
    const Clock::time_point until = Clock::now() + kDrainLimitTime;
    for (int taken = 0; taken < kDrainLimitBytes && Clock::now() < until;) {
        // Without `overflow` take no more than the ring can hold: the rest waits in the socket.
        const int room = overflow ? kReceiveChunk : std::min(kReceiveChunk, input_.Room());
        if (room <= 0) return;
        const ssize_t got = ::recv(fd_, raw, static_cast<size_t>(room), MSG_DONTWAIT);
        if (got == 0) {
            peerClosed_ = true;
            return;
        }
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK) peerClosed_ = true;
            return;
        }
        taken += static_cast<int>(got);
        events.clear();
        const int dataCount = TelnetDecode(decoder_, raw, static_cast<int>(got), data, events);
        input_.Push(data, dataCount);
        for (const TelnetEvent& event : events) HandleEvent(event);
        // A short read took all the socket held: asking again would only hear "nothing".
        if (got < room) return;
    }
}

void NetworkDevice::PumpFor(Lock& lock, int timeoutMs, bool overflow) {
    // The socket stays open while unlocked: only Close closes it, on the caller's own thread.
    pollfd waits[2] = {{fd_, POLLIN, 0}, {interruptFd_, POLLIN, 0}};
    lock.unlock();
    ::poll(waits, 2, timeoutMs);
    lock.lock();
    Drain(overflow);
}

void NetworkDevice::ReplyOption(uint8_t verb, uint8_t option) {
    std::vector<uint8_t> reply;
    TelnetEncodeOption(verb, option, reply);
    SendRaw(reply, kControlSendTimeoutMs);
}

void NetworkDevice::HandleEvent(const TelnetEvent& event) {
    if (event.kind == TelnetEvent::Kind::Subnegotiation) {
        if (event.option != kOptionComPort || event.valueLength < 1) return;
        const uint8_t command = event.value[0];
        if (command < kComPortServerOffset || command >= kComPortServerOffset + kComPortReplies) return;
        const int index = command - kComPortServerOffset;
        // Modem-state and line-state notifications are counted and otherwise ignored.
        replyValue_[static_cast<size_t>(index)] =
            index == kComPortSetBaudRate ? ComPortValueU32(event) : ComPortValueU8(event);
        ++replyCount_[static_cast<size_t>(index)];
        return;
    }
    const uint8_t option = event.option;
    const bool wanted = option == kOptionBinary || option == kOptionSuppressGoAhead || option == kOptionComPort;
    switch (event.verb) {
        case kTelnetDO:
            if (option == kOptionComPort) comPortAccepted_ = true;
            if (!willSent_[option]) {
                willSent_[option] = true;
                ReplyOption(wanted ? kTelnetWILL : kTelnetWONT, option);
            }
            break;
        case kTelnetDONT:
            if (option == kOptionComPort) comPortRefused_ = true;
            break;
        case kTelnetWILL:
            // The server offers to do something: binary and go-ahead suppression are welcome,
            // everything else (echo and the like) is declined, each answer given once.
            if (!doSent_[option]) {
                doSent_[option] = true;
                ReplyOption(wanted && option != kOptionComPort ? kTelnetDO : kTelnetDONT, option);
            }
            break;
        default:  // WONT: nothing to answer
            break;
    }
}

bool NetworkDevice::SendRaw(const std::vector<uint8_t>& bytes, int timeoutMs) {
    if (fd_ < 0 || peerClosed_) return false;
    const size_t sent = SendSome(bytes, 0, Clock::now() + std::chrono::milliseconds(timeoutMs));
    if (sent > 0 && sent < bytes.size()) peerClosed_ = true;
    return sent == bytes.size();
}

}  // namespace

std::unique_ptr<SerialDevice> CreateNetworkDevice() { return std::make_unique<NetworkDevice>(); }

std::unique_ptr<SerialDevice> CreateNetworkDeviceOnSocket(int connectedFd) {
    return std::make_unique<NetworkDevice>(connectedFd);
}

bool ParseNetworkDeviceName(const std::string& name, std::string& host, uint16_t& port) {
    const std::string prefix = kNetworkDevicePrefix;
    if (name.rfind(prefix, 0) != 0) return false;
    const std::string rest = name.substr(prefix.size());
    size_t colon = std::string::npos;
    std::string hostPart;
    if (!rest.empty() && rest[0] == '[') {
        const size_t close = rest.find(']');
        if (close == std::string::npos || close + 1 >= rest.size() || rest[close + 1] != ':') return false;
        hostPart = rest.substr(1, close - 1);
        colon = close + 1;
    } else {
        colon = rest.rfind(':');
        if (colon == std::string::npos) return false;
        hostPart = rest.substr(0, colon);
        if (hostPart.find(':') != std::string::npos) return false;  // IPv6 needs brackets
    }
    const std::string portPart = rest.substr(colon + 1);
    if (hostPart.empty() || portPart.empty() || portPart.size() > 5) return false;
    for (const char c : hostPart) {
        if (c == '/' || c == ' ' || c == '\0') return false;
    }
    uint32_t value = 0;
    for (const char c : portPart) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint32_t>(c - '0');
    }
    if (value == 0 || value > 65535) return false;
    host = hostPart;
    port = static_cast<uint16_t>(value);
    return true;
}
