// The network serial device inside: the class behind CreateNetworkDevice, shared by the two files
// that implement it (NetworkDevice.cpp: connecting, line settings and control; NetworkWire.cpp:
// the telnet stream both ways). Nothing outside serial/network includes this.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "serial/Deadline.h"
#include "serial/SerialDevice.h"
#include "serial/network/ByteRing.h"
#include "serial/network/Rfc2217.h"

namespace network_device {

using Clock = std::chrono::steady_clock;

constexpr int kDefaultQueueSize = 4096;
constexpr int kReceiveChunk = 4096;
constexpr int kControlSendTimeoutMs = 1000;
constexpr int kComPortReplies = 13;  // replies 100..112
// One drain of the socket takes at most this much, so that a peer sending faster than we decode
// cannot keep a caller (or the lock it holds) inside it: every wait checks its deadline between drains.
constexpr int kDrainLimitBytes = 16384;
constexpr auto kDrainLimitTime = std::chrono::milliseconds(10);

class NetworkDevice final : public SerialDevice {
  public:
    explicit NetworkDevice(SocketHandle adoptedFd = kNoSocket) : adoptedFd_(adoptedFd) { interrupt_.Open(); }
    ~NetworkDevice() override {
        CloseConnection();
        ::CloseSocket(adoptedFd_);
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
    bool HoldsBackUnreadInput() const override { return true; }
    SerialFailure LastFailure() const override { return failure_; }

  private:
    using Lock = std::unique_lock<std::recursive_mutex>;
    bool Fail(SerialFailureCode code, std::string detail) {
        failure_ = {code, std::move(detail), 0};
        return false;
    }
    bool Connect(const std::string& host, uint16_t port);
    void CloseConnection();
    // What a drain does with data the Receive Ring has no room for: leave it in the socket (TCP
    // then holds the peer back), or take and drop it so that replies behind it are still seen.
    enum class RingFull { kLeaveInSocket, kDrop };
    // Reads what the socket holds without waiting (caller holds the mutex).
    void Drain(RingFull full = RingFull::kLeaveInSocket);
    // Waits up to timeoutMs for the socket (or an interrupt) with the mutex let go, so that the I/O
    // thread is never kept waiting longer than one drain, then drains.
    void PumpFor(Lock& lock, int timeoutMs, RingFull full);
    void HandleEvent(const TelnetEvent& event);
    void ReplyOption(uint8_t verb, uint8_t option);
    // Sends every byte within timeoutMs. A message cut short has broken the telnet stream: the
    // connection is then taken as lost.
    bool SendRaw(const std::vector<uint8_t>& bytes, int timeoutMs);
    // Sends from `sent` on until the deadline; the new count of bytes sent.
    size_t SendSome(const std::vector<uint8_t>& bytes, size_t sent, const Deadline& deadline);
    bool Interrupted() const { return interrupted_.load(); }

    std::recursive_mutex mutex_;
    SocketHandle adoptedFd_ = kNoSocket;  // a connected socket given at construction, used by the first Open
    SocketHandle fd_ = kNoSocket;
    WakeEvent interrupt_;
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

}  // namespace network_device
