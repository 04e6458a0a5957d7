// The audit record: one JSON line per receiver per run of configure or verify, appended to a file
// that is never rewritten. Every run appends its lines in one write under an exclusive lock, so
// runs appending to one file side by side never interleave their lines.
//
//   {"time":"2026-12-08T14:03:12.345Z","operation":"configure","device":"/dev/ttyUSB0",
//    "resolved":"/dev/ttyUSB0","byId":"/dev/serial/by-id/usb-...","usbSerial":"A9XK2",
//    "file":"rack3.dat","sha256":"…","pcSettings":"9600,8,O,1","run":1,"comm":1,
//    "result":"success","portResult":5,"text":"Configuration was successful.",
//    "groups":{"I/O Options":"matches",…},"differences":[…],"seconds":12.4}
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/Fleet.h"

class AuditFile {
  public:
    AuditFile() = default;
    ~AuditFile();
    AuditFile(const AuditFile&) = delete;
    AuditFile& operator=(const AuditFile&) = delete;

    // Opens path for appending (created when missing). Only a regular file will do: a FIFO, a
    // device or a folder is refused. False with the reason.
    bool Open(const std::string& path, std::string& error);
    // Appends one line per receiver.
    bool Append(RunKind kind, std::chrono::system_clock::time_point started,
                const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                const FleetResult& result, std::string& error);

    // For tests: write at most pieceSize bytes a call and run between after every piece, so that two
    // writers without the lock would interleave their lines.
    void SplitWritesForTest(size_t pieceSize, std::function<void()> between);

  private:
    int fd_ = -1;
    size_t pieceSize_ = SIZE_MAX;
    std::function<void()> betweenPieces_;
    std::string path_;
};

// One receiver's line, without the newline.
std::string AuditLine(RunKind kind, std::chrono::system_clock::time_point started,
                      const FleetReceiver& receiver, const SettingsFileBytes& file,
                      const FleetOutcome& outcome);
