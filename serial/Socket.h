// The few socket calls the network serial device, the wake-ups and the emulator's server use, the
// same on Linux (BSD sockets) and Windows (Winsock): one implementation of each on top of this.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <string>

#ifdef _WIN32
using SocketHandle = SOCKET;
inline const SocketHandle kNoSocket = INVALID_SOCKET;
#else
using SocketHandle = int;
inline constexpr SocketHandle kNoSocket = -1;
#endif

// Winsock must be started once per program before the first socket call; a no-op elsewhere.
bool StartSockets();

// A non-blocking stream or datagram socket that is not inherited by child processes.
SocketHandle OpenSocket(int family, int type, int protocol);
void CloseSocket(SocketHandle socket);
bool SetSocketNonBlocking(SocketHandle socket);
// poll() on sockets (WSAPoll on Windows).
int PollSockets(pollfd* fds, size_t count, int timeoutMs);
// The error of the last socket call, as an errno value (EWOULDBLOCK, EINPROGRESS, ECONNREFUSED,
// ETIMEDOUT, EINTR, ...: Winsock's codes are mapped onto them), and its text.
int LastSocketError();
std::string SocketErrorText(int error);
// A connection waiting on a listening socket, non-blocking and not inherited; kNoSocket when none.
SocketHandle AcceptConnection(SocketHandle listening);
// The pending error of a non-blocking connect, 0 when it connected.
int ConnectError(SocketHandle socket);
void SetSocketOption(SocketHandle socket, int level, int name, int value);
// send/recv that never block nor raise SIGPIPE: bytes moved, 0 on an orderly close (recv), −1 on
// an error (LastSocketError tells which).
long SendSome(SocketHandle socket, const void* data, size_t count);
long ReceiveSome(SocketHandle socket, void* buffer, size_t count);
