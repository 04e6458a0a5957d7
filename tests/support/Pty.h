// A pseudo-terminal pair for tests: the slave path is opened as the port under test, the master
// end plays the line (a receiver, a modem, a cable). A pty keeps baud rate and stop bits but
// forces 8 data bits and no parity, and a line break on it does nothing.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class PtyPair {
  public:
    // Opens a master in raw mode and unlocks its slave; IsOpen() tells whether that worked.
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool IsOpen() const { return masterFd_ >= 0; }
    int MasterFd() const { return masterFd_; }
    const std::string& SlavePath() const { return slavePath_; }

    // Writes every byte to the line, waiting while the pty is full; false on an error or when the
    // bytes do not all go within the timeout.
    bool Write(const std::vector<uint8_t>& bytes,
               std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Reads from the line until count bytes have come or the timeout has passed; returns what came.
    std::vector<uint8_t> Read(size_t count,
                              std::chrono::milliseconds timeout = std::chrono::milliseconds(10000));
    // Reads whatever the line holds now, without waiting.
    std::vector<uint8_t> ReadAvailable();
    // Closes the master: the slave sees a hang-up.
    void CloseMaster();

  private:
    int masterFd_ = -1;
    std::string slavePath_;
};
