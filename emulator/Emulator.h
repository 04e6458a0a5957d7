// The receiver emulator as a library: one or more emulated receivers, each on its own
// pseudo-terminal or RFC 2217 port and its own thread. kirp-emulator is a thin program around it;
// tests run it in-process and look at what each receiver holds.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "emulator/EmulatorOptions.h"
#include "emulator/ReceiverModel.h"

// A snapshot of one emulated receiver.
struct ReceiverStatus {
    ReceiverSettings current;
    ReceiverSettings saved;  // the non-volatile copy
    PortLine portB;          // the receiver's line now
    PortLine pcSide;         // what the receiver sees of the PC side
    bool lineMatches = true;
    bool connected = false;  // a network client is connected (always true on a pty)
    bool resetting = false;
    bool hungUp = false;
    uint64_t packetsReceived = 0;
    uint64_t packetsSent = 0;
    uint64_t bytesSent = 0;     // on the line, garbled ones included
    uint64_t bytesLost = 0;     // PC bytes lost to a line mismatch, a break or a reset
    uint64_t bytesGarbled = 0;  // receiver bytes sent while the line settings differed
    uint64_t breaks = 0;
    uint64_t breakReplies = 0;
    uint64_t resets = 0;  // resets completed
    uint64_t purges = 0;
    uint64_t connections = 0;
    uint64_t lineChanges = 0;        // PC-side setting commands received (network port)
    std::vector<std::string> notes;  // the last things done, oldest first (at most 64)
};

class EmulatedReceiver;
class EmulatorLog;

class Emulator {
  public:
    explicit Emulator(EmulatorOptions options);
    ~Emulator();
    Emulator(const Emulator&) = delete;
    Emulator& operator=(const Emulator&) = delete;

    // Creates the ptys or listening ports and starts every receiver. False with a reason.
    bool Start(std::string& error);
    void Stop();

    int Count() const;
    // "127.0.0.1:40123" for a network port, the slave path for a pty.
    std::string Address(int index) const;
    // The device name the driver opens: rfc2217://127.0.0.1:40123 or the pty path.
    std::string DeviceName(int index) const;
    ReceiverStatus Status(int index) const;
    // Replaces what receiver `index` holds now (not its saved copy).
    void SetCurrentSettings(int index, const ReceiverSettings& settings);
    // Polls the receiver's status until the condition holds or the time-out passes.
    bool WaitFor(int index, const std::function<bool(const ReceiverStatus&)>& condition,
                 std::chrono::milliseconds timeout) const;

    const EmulatorOptions& Options() const { return options_; }

  private:
    EmulatorOptions options_;
    std::unique_ptr<EmulatorLog> log_;
    std::vector<std::unique_ptr<EmulatedReceiver>> receivers_;
};
