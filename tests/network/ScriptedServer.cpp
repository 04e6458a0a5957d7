#include "ScriptedServer.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(std::min<long long>(left, 50));
}

int ListenLoopback(uint16_t& port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd, 2) != 0) {
        if (fd >= 0) ::close(fd);
        return -1;
    }
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return fd;
}

}  // namespace

bool ScriptedConnection::Send(const Bytes& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += static_cast<size_t>(n);
    }
    return true;
}

bool ScriptedConnection::Pump(Clock::time_point deadline) {
    if (fd_ < 0 || stop_.load()) return false;
    if (peerClosed_) return false;
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, MsLeft(deadline)) <= 0) return Clock::now() < deadline;
    uint8_t buffer[1024];
    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
    if (got <= 0) {
        peerClosed_ = true;
        return false;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    raw_.insert(raw_.end(), buffer, buffer + got);
    uint8_t data[1024];
    const int count = TelnetDecode(decoder_, buffer, static_cast<int>(got), data, events_);
    data_.insert(data_.end(), data, data + count);
    return true;
}

bool ScriptedConnection::ExpectRaw(const Bytes& expected, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            const auto found = std::search(raw_.begin() + static_cast<std::ptrdiff_t>(rawMatched_),
                                           raw_.end(), expected.begin(), expected.end());
            if (found != raw_.end()) {
                rawMatched_ = static_cast<size_t>(found - raw_.begin()) + expected.size();
                return true;
            }
        }
        if (Clock::now() >= deadline || !Pump(deadline)) {
            if (Clock::now() >= deadline || peerClosed_ || stop_.load()) return false;
        }
    }
}

bool ScriptedConnection::NextEvent(TelnetEvent& event, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (eventsTaken_ < events_.size()) {
                event = events_[eventsTaken_++];
                return true;
            }
        }
        if (Clock::now() >= deadline) return false;
        if (!Pump(deadline) && (peerClosed_ || stop_.load())) return false;
    }
}

Bytes ScriptedConnection::ExpectData(size_t count, std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    for (;;) {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (data_.size() >= count) return data_;
        }
        if (Clock::now() >= deadline) break;
        if (!Pump(deadline) && (peerClosed_ || stop_.load())) break;
    }
    std::lock_guard<std::mutex> guard(mutex_);
    return data_;
}

bool ScriptedConnection::WaitPeerClosed(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!peerClosed_ && Clock::now() < deadline && !stop_.load()) Pump(deadline);
    return peerClosed_;
}

bool ScriptedConnection::AcceptNegotiation() {
    if (!ExpectRaw({kTelnetIAC, kTelnetWILL, kOptionComPort})) return false;
    return Send({kTelnetIAC, kTelnetDO, kOptionComPort, kTelnetIAC, kTelnetDO, kOptionBinary, kTelnetIAC,
                 kTelnetWILL, kOptionBinary, kTelnetIAC, kTelnetDO, kOptionSuppressGoAhead, kTelnetIAC,
                 kTelnetWILL, kOptionSuppressGoAhead});
}

bool ScriptedConnection::AcknowledgeCommands(int count) {
    int answered = 0;
    while (answered < count) {
        TelnetEvent event;
        if (!NextEvent(event)) return false;
        if (event.kind != TelnetEvent::Kind::Subnegotiation || event.valueLength < 1) continue;
        Bytes reply;
        ComPortEncode(static_cast<uint8_t>(event.value[0] + kComPortServerOffset), event.value.data() + 1,
                      event.valueLength - 1, reply);
        if (!Send(reply)) return false;
        ++answered;
    }
    return true;
}

void ScriptedConnection::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

Bytes ScriptedConnection::Raw() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return raw_;
}

ScriptedServer::ScriptedServer(Script script) {
    listenFd_ = ListenLoopback(port_);
    thread_ = std::thread([this, script = std::move(script)] {
        pollfd wait{listenFd_, POLLIN, 0};
        while (!stop_.load()) {
            if (listenFd_ < 0) break;
            if (::poll(&wait, 1, 50) <= 0) continue;
            const int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd < 0) continue;
            ScriptedConnection connection(fd, stop_);
            script(connection);
            connection.Close();
            break;
        }
        done_.store(true);
    });
}

ScriptedServer::~ScriptedServer() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
    if (listenFd_ >= 0) ::close(listenFd_);
}

bool ScriptedServer::WaitDone(std::chrono::milliseconds timeout) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (!done_.load()) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

uint16_t UnusedLoopbackPort() {
    uint16_t port = 0;
    const int fd = ListenLoopback(port);
    if (fd >= 0) ::close(fd);
    return port;
}
