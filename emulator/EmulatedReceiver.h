// One emulated receiver on its line: a pseudo-terminal or an RFC 2217 server port, served by its
// own thread. The thread decodes KIRP frames from the PC side, lets the ReceiverModel act on them,
// and sends the answers at the receiver's current line settings.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator/Emulator.h"
#include "emulator/EmulatorLog.h"
#include "link/Framing.h"
#include "serial/Deadline.h"
#include "serial/Socket.h"
#include "serial/network/Rfc2217.h"
#ifndef _WIN32
#include "serial/posix/LineOwnership.h"
#endif

class EmulatedReceiver {
  public:
    EmulatedReceiver(int number, const EmulatorOptions& options, EmulatorLog* log);
    ~EmulatedReceiver();
    EmulatedReceiver(const EmulatedReceiver&) = delete;
    EmulatedReceiver& operator=(const EmulatedReceiver&) = delete;

    // Creates the pty or the listening socket (port 0: the system picks) and starts the thread.
    bool Start(uint16_t listenPort, std::string& error);
    void Stop();

    std::string Address() const;
    std::string DeviceName() const;
    ReceiverStatus Status() const;
    void SetCurrentSettings(const ReceiverSettings& settings);
    // Before Start: the settings the receiver holds and has saved.
    void StartFrom(const ReceiverSettings& settings) { model_.StartFrom(settings); }

  private:
    bool OpenPty(std::string& error);
    bool Listen(uint16_t listenPort, std::string& error);
    static void CloseFd(int& fd);
    static void CloseConnection(SocketHandle& socket);
    using Clock = std::chrono::steady_clock;
    struct Scheduled {
        Clock::time_point due;
        std::vector<uint8_t> bytes;  // as they go on the line (a frame or the break reply)
        std::string logText;
        bool isPacket = false;
    };

    void Run();
    int NextTimeoutMs(Clock::time_point now) const;
    // Everything below runs on the receiver's thread with mutex_ held.
    void ReadLine();
    void OnLineBytes(const uint8_t* data, int count);
    void OnPacket();
    void SchedulePacket(const ModelPacket& packet, int delayMs);
    void RunTimers(Clock::time_point now);
    void EmitLine(const uint8_t* bytes, int count);
    void Flush();
    void HangUp();
    bool SentBytesTaken() const;
    void AcceptClient();
    void DropClient(const char* why);
    void HandleTelnet(const TelnetEvent& event);
    void NegotiateOption(const TelnetEvent& event);
    void HandleComPort(const TelnetEvent& event);
    void ReplyComPort(uint8_t command, const uint8_t* value, int count);
    void EndBreak();
    PortLine PcSide() const;
    bool LineMatches() const;
    void Note(const std::string& text);

    const int number_;
    const EmulatorOptions options_;
    EmulatorLog* const log_;

    mutable std::mutex mutex_;
    std::thread thread_;
    bool stop_ = false;
    WakeEvent wake_;
    int masterFd_ = -1;  // the pseudo-terminal (Linux only)
    int slaveFd_ = -1;   // kept open so that a client closing the port causes no hang-up
    SocketHandle listenFd_ = kNoSocket;
    SocketHandle clientFd_ = kNoSocket;
    std::string ptyPath_;
    uint16_t port_ = 0;

    ReceiverModel model_;
    FrameDecoder decoder_;
    TelnetDecoder telnet_;
    std::vector<bool> willSent_, doSent_, refused_;
    PortLine pcSide_;  // network port: the settings the client asked for
    bool breakOn_ = false;
    bool resetting_ = false;
    Clock::time_point resetEnd_;
    Clock::time_point nextAutoOutput_;
    uint32_t autoSeconds_ = 0;
    std::deque<Scheduled> scheduled_;
    std::vector<uint8_t> out_;  // bytes for the fd (telnet-encoded on a network port)
    uint8_t garbleCounter_ = 0;
    bool hangupPending_ = false;  // --hangup-after reached: the line drops once the PC took the bytes
    Clock::time_point hangupDeadline_;
    bool lostNoted_ = false;
    Clock::time_point nextExclusiveCheck_;  // pty: when to look for exclusive use left behind
#ifndef _WIN32
    LineHolderSeen exclusiveHolder_;  // pty: who had the line in exclusive use when last looked at
#endif
    ReceiverStatus status_;
};
