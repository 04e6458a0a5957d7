// A one-connection TCP server for network device tests: it accepts one client and runs a script
// on its own thread, reading what the client sends through the telnet decoder and sending what
// the script says, including what a correct server would never send.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/network/Rfc2217.h"

using Bytes = std::vector<uint8_t>;

class ScriptedConnection {
  public:
    explicit ScriptedConnection(int fd, const std::atomic<bool>& stop) : fd_(fd), stop_(stop) {}

    bool Send(const Bytes& bytes);
    // Waits until the raw bytes received so far contain `expected` after the last match.
    bool ExpectRaw(const Bytes& expected, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits for the next telnet event (negotiation or subnegotiation) from the client.
    bool NextEvent(TelnetEvent& event, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until `count` data bytes have arrived and returns them all.
    Bytes ExpectData(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Waits until the client closes the connection.
    bool WaitPeerClosed(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The usual handshake: waits for the client's COM-PORT offer and accepts everything.
    bool AcceptNegotiation();
    // Answers the next `count` COM-PORT commands with the value asked (acknowledgements).
    bool AcknowledgeCommands(int count);
    void Close();
    Bytes Raw() const;

  private:
    bool Pump(std::chrono::steady_clock::time_point deadline);

    int fd_;
    const std::atomic<bool>& stop_;
    bool peerClosed_ = false;
    mutable std::mutex mutex_;
    Bytes raw_;
    size_t rawMatched_ = 0;
    Bytes data_;
    std::vector<TelnetEvent> events_;
    size_t eventsTaken_ = 0;
    TelnetDecoder decoder_;
};

class ScriptedServer {
  public:
    using Script = std::function<void(ScriptedConnection&)>;
    explicit ScriptedServer(Script script);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string DeviceName() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    // Waits until the script has returned.
    bool WaitDone(std::chrono::milliseconds timeout = std::chrono::seconds(20));

  private:
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;
};

// A port on 127.0.0.1 on which nothing listens (bound, then released).
uint16_t UnusedLoopbackPort();
