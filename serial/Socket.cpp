#include "serial/Socket.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32

#include <mutex>

bool StartSockets() {
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        WSADATA data{};
        started = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    });
    return started;
}

SocketHandle OpenSocket(int family, int type, int protocol) {
    if (!StartSockets()) return kNoSocket;
    const SocketHandle socket = ::WSASocketW(family, type, protocol, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
    if (socket != kNoSocket && !SetSocketNonBlocking(socket)) {
        ::closesocket(socket);
        return kNoSocket;
    }
    return socket;
}

void CloseSocket(SocketHandle socket) {
    if (socket != kNoSocket) ::closesocket(socket);
}

bool SetSocketNonBlocking(SocketHandle socket) {
    u_long on = 1;
    return ::ioctlsocket(socket, static_cast<long>(FIONBIO), &on) == 0;
}

int PollSockets(pollfd* fds, size_t count, int timeoutMs) {
    return ::WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
}

int LastSocketError() {
    switch (::WSAGetLastError()) {
        case WSAEWOULDBLOCK:
            return EWOULDBLOCK;
        case WSAEINPROGRESS:
            return EINPROGRESS;
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        case WSAEINTR:
            return EINTR;
        case WSAECONNRESET:
            return ECONNRESET;
        case WSAEADDRINUSE:
            return EADDRINUSE;
        default:
            return EIO;
    }
}

SocketHandle AcceptConnection(SocketHandle listening) {
    const SocketHandle socket = ::accept(listening, nullptr, nullptr);
    if (socket == kNoSocket) return kNoSocket;
    ::SetHandleInformation(reinterpret_cast<HANDLE>(socket), HANDLE_FLAG_INHERIT, 0);
    if (!SetSocketNonBlocking(socket)) {
        ::closesocket(socket);
        return kNoSocket;
    }
    return socket;
}

int ConnectError(SocketHandle socket) {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return EIO;
    switch (error) {
        case 0:
            return 0;
        case WSAECONNREFUSED:
            return ECONNREFUSED;
        case WSAETIMEDOUT:
            return ETIMEDOUT;
        default:
            return EIO;
    }
}

void SetSocketOption(SocketHandle socket, int level, int name, int value) {
    ::setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

long SendSome(SocketHandle socket, const void* data, size_t count) {
    return ::send(socket, static_cast<const char*>(data), static_cast<int>(count), 0);
}

long ReceiveSome(SocketHandle socket, void* buffer, size_t count) {
    return ::recv(socket, static_cast<char*>(buffer), static_cast<int>(count), 0);
}

#else

#include <fcntl.h>
#include <unistd.h>

bool StartSockets() {
    return true;
}

SocketHandle OpenSocket(int family, int type, int protocol) {
    return ::socket(family, type | SOCK_NONBLOCK | SOCK_CLOEXEC, protocol);
}

void CloseSocket(SocketHandle socket) {
    if (socket >= 0) ::close(socket);
}

bool SetSocketNonBlocking(SocketHandle socket) {
    const int flags = ::fcntl(socket, F_GETFL);
    return flags >= 0 && ::fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0;
}

int PollSockets(pollfd* fds, size_t count, int timeoutMs) {
    return ::poll(fds, static_cast<nfds_t>(count), timeoutMs);
}

int LastSocketError() {
    return errno;
}

SocketHandle AcceptConnection(SocketHandle listening) {
    return ::accept4(listening, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

int ConnectError(SocketHandle socket) {
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
}

void SetSocketOption(SocketHandle socket, int level, int name, int value) {
    ::setsockopt(socket, level, name, &value, sizeof value);
}

long SendSome(SocketHandle socket, const void* data, size_t count) {
    return ::send(socket, data, count, MSG_NOSIGNAL | MSG_DONTWAIT);
}

long ReceiveSome(SocketHandle socket, void* buffer, size_t count) {
    return ::recv(socket, buffer, count, MSG_DONTWAIT);
}

#endif

std::string SocketErrorText(int error) {
    return std::strerror(error);
}
