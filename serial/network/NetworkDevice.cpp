// A serial port reached over TCP through a network serial server (telnet COM-PORT-OPTION): the
// connection, the COM-PORT negotiation, line settings, purges and breaks. The device runs no thread
// of its own: whoever calls it (the port's I/O thread, or the caller of a set or purge) reads the
// socket, answers the negotiation and collects the server's acknowledgements (NetworkWire.cpp).
#include "serial/network/NetworkDevice.h"

#include <cerrno>
#include <cstring>

#include "serial/network/NetworkDeviceState.h"

namespace network_device {

bool NetworkDevice::Connect(const std::string& host, uint16_t port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (!StartSockets()) return Fail(SerialFailureCode::kOther, "the network could not be started");
    if (const int error = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
        error != 0 || found == nullptr)
        return Fail(SerialFailureCode::kNameNotResolved, host + ": " + ::gai_strerror(error));
    int lastError = ETIMEDOUT;
    const Deadline deadline(kNetworkConnectTimeoutMs);
    for (addrinfo* address = found; address != nullptr && fd_ == kNoSocket; address = address->ai_next) {
        const SocketHandle fd = OpenSocket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (fd == kNoSocket) continue;
        bool connected = ::connect(fd, address->ai_addr, static_cast<int>(address->ai_addrlen)) == 0;
        if (!connected) lastError = LastSocketError();
        // Winsock says "would block" where Linux says "in progress".
        if (!connected && (lastError == EINPROGRESS || lastError == EWOULDBLOCK)) {
            // A refused connection shows as an error on Windows, as writable on Linux.
            pollfd wait{fd, POLLOUT, 0};
            const bool ready = PollSockets(&wait, 1, deadline.RemainingMs()) == 1;
            const int error = ready ? ConnectError(fd) : ETIMEDOUT;
            connected = error == 0;
            lastError = error;
        }
        if (connected) {
            fd_ = fd;
        } else {
            CloseSocket(fd);
        }
    }
    ::freeaddrinfo(found);
    if (fd_ == kNoSocket) {
        const std::string where = host + " port " + std::to_string(port);
        if (lastError == ECONNREFUSED) return Fail(SerialFailureCode::kConnectionRefused, where);
        if (lastError == ETIMEDOUT || lastError == EINPROGRESS)
            return Fail(
                SerialFailureCode::kNoAnswer,
                where + ": no connection within " + std::to_string(kNetworkConnectTimeoutMs / 1000) + " s");
        return Fail(SerialFailureCode::kOther, where + ": " + SocketErrorText(lastError));
    }
    SetSocketOption(fd_, IPPROTO_TCP, TCP_NODELAY, 1);
    return true;
}

void NetworkDevice::CloseConnection() {
    ::CloseSocket(fd_);
    fd_ = kNoSocket;
}

bool NetworkDevice::Open(const std::string& name) {
    Lock lock(mutex_);
    CloseConnection();
    failure_ = {};
    std::string host;
    uint16_t port = 0;
    if (!interrupt_.IsOpen()) return Fail(SerialFailureCode::kOther, "no event descriptor");
    const bool adopted = adoptedFd_ != kNoSocket;
    if (!adopted && !ParseNetworkDeviceName(name, host, port))
        return Fail(SerialFailureCode::kNoSuchDevice, name + ": not of the form rfc2217://HOST:PORT");
    peerClosed_ = false;
    interrupted_.store(false);
    interrupt_.Drain();
    decoder_ = TelnetDecoder{};
    comPortAccepted_ = comPortRefused_ = false;
    willSent_.fill(false);
    doSent_.fill(false);
    input_.Reset(kDefaultQueueSize);
    if (adopted) {
        fd_ = adoptedFd_;
        adoptedFd_ = kNoSocket;
        SetSocketNonBlocking(fd_);
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
    const Deadline deadline(kNetworkConnectTimeoutMs);
    if (SendRaw(offer, kNetworkConnectTimeoutMs)) {
        while (!comPortAccepted_ && !comPortRefused_ && !peerClosed_ && !Interrupted() &&
               deadline.RemainingMs() > 0) {
            PumpFor(lock, deadline.RemainingMs(), RingFull::kDrop);
        }
    }
    if (comPortAccepted_ && !comPortRefused_ && !peerClosed_) return true;
    // A server that refuses the option, closes, or never answers is no serial port.
    CloseConnection();
    if (comPortRefused_)
        return Fail(SerialFailureCode::kComPortRefused, host + " port " + std::to_string(port));
    if (peerClosed_)
        return Fail(SerialFailureCode::kConnectionRefused,
                    "the server at " + host + " closed the connection");
    return Fail(SerialFailureCode::kNoAnswer, "the server at " + host +
                                                  " did not take up the COM-PORT option within " +
                                                  std::to_string(kNetworkConnectTimeoutMs / 1000) + " s");
}

bool NetworkDevice::SetQueueSizes(int32_t inputSize, int32_t /*outputSize*/) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket) return false;
    // Writes go straight to the socket; only the input side needs room.
    input_.Reset(inputSize > 0 ? inputSize : kDefaultQueueSize);
    return true;
}

bool NetworkDevice::GetLineSettings(DeviceLineSettings& settings) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket) return false;
    // The settings last acknowledged by the server (9600 8N1 before the first set).
    settings = current_;
    return true;
}

bool NetworkDevice::SetLineSettings(const DeviceLineSettings& settings) {
    Lock lock(mutex_);
    const uint8_t parity = ComPortParity(settings.parity);
    const uint8_t stopSize = ComPortStopSize(settings.stopBits);
    if (fd_ == kNoSocket || peerClosed_ || parity == 0 || stopSize == 0 || settings.baudRate < 0 ||
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
    const Deadline deadline(kNetworkAckTimeoutMs);
    while (!allAnswered() && !peerClosed_ && !Interrupted() && deadline.RemainingMs() > 0) {
        PumpFor(lock, deadline.RemainingMs(), RingFull::kDrop);
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
        return std::to_string(line.baudRate) + " baud, " + std::to_string(line.dataBits) +
               " data bits, parity " + std::to_string(line.parity) + ", stop bits code " +
               std::to_string(line.stopBits);
    };
    if (acknowledged.parity < 0 || acknowledged.stopBits < 0)
        return Fail(SerialFailureCode::kSettingsNotAcknowledged,
                    "asked " + describe(settings) + ", acknowledged a parity or stop size of none");
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
    if (fd_ == kNoSocket) return false;
    Drain();
    inputCount = input_.Size();
    // A closed connection with nothing left to take is a hung-up device.
    return !(peerClosed_ && inputCount == 0);
}

int NetworkDevice::Read(uint8_t* buffer, int maxCount) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket) return -1;
    Drain();
    const int count = input_.Pop(buffer, std::max(maxCount, 0));
    if (count == 0 && peerClosed_) return -1;
    return count;
}

bool NetworkDevice::WaitReadable(int timeoutMs) {
    SocketHandle fd = kNoSocket;
    {
        std::lock_guard<std::recursive_mutex> guard(mutex_);
        if (fd_ == kNoSocket || Interrupted()) return false;
        Drain();
        if (input_.Size() > 0 || peerClosed_) return true;
        fd = fd_;
    }
    // The socket stays open until Close, which the driver calls only after this thread stopped.
    pollfd waits[2] = {{fd, POLLIN, 0}, {interrupt_.Fd(), POLLIN, 0}};
    PollSockets(waits, 2, timeoutMs);
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket || Interrupted()) return false;
    Drain();
    return input_.Size() > 0 || peerClosed_;
}

bool NetworkDevice::PurgeInput() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket) return false;
    std::vector<uint8_t> request;
    ComPortEncodeU8(kComPortPurgeData, kComPortPurgeReceive, request);
    const bool sent = SendRaw(request, kControlSendTimeoutMs);
    Drain(RingFull::kDrop);
    input_.Clear();
    return sent;
}

bool NetworkDevice::PurgeOutput() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket) return false;
    std::vector<uint8_t> request;
    ComPortEncodeU8(kComPortPurgeData, kComPortPurgeTransmit, request);
    return SendRaw(request, kControlSendTimeoutMs);
}

bool NetworkDevice::SetBreak(bool on) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket) return false;
    std::vector<uint8_t> request;
    ComPortEncodeU8(kComPortSetControl, on ? kComPortControlBreakOn : kComPortControlBreakOff, request);
    return SendRaw(request, kControlSendTimeoutMs);
}

bool NetworkDevice::Close() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (fd_ == kNoSocket) return false;
    CloseConnection();
    return true;
}

void NetworkDevice::Interrupt() {
    interrupted_.store(true);
    interrupt_.Signal();
}

}  // namespace network_device

std::unique_ptr<SerialDevice> CreateNetworkDevice() {
    return std::make_unique<network_device::NetworkDevice>();
}

std::unique_ptr<SerialDevice> CreateNetworkDeviceOnSocket(SocketHandle connectedFd) {
    return std::make_unique<network_device::NetworkDevice>(connectedFd);
}
