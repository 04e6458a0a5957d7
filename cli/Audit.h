// The audit record: one JSON line per receiver per run of configure or verify, appended to a file
// that is never rewritten. Every run appends its lines under an exclusive lock, so runs appending
// to one file side by side never interleave their lines, and each line whole or not at all: a
// line the file system takes only in part (a full disk) is cut off again.
//
//   {"time":"2026-12-08T14:03:12.345Z","operation":"configure","device":"/dev/ttyUSB0",
//    "resolved":"/dev/ttyUSB0","byId":"/dev/serial/by-id/usb-...","usbSerial":"A9XK2",
//    "file":"rack3.dat","sha256":"…","pcSettings":"9600,8,O,1","run":1,"comm":1,
//    "result":"success","interrupted":false,"seconds":12.4,"portResult":5,
//    "text":"Configuration was successful.","groups":[{"number":2,"name":"I/O Options",…,
//    "status":"matches",…,"differences":[]},…]}
//
// After the fields of its own, a line holds the receiver's entry of the summary (configure --json),
// in the same words (docs/schema/audit.json).
//
// "time" is when the receiver's run started on it and "seconds" how long until its result was
// known; "sha256" is of the bytes sent to it. An interrupted receiver has "result":"interrupted"
// and the "step" it had reached.
#pragma once

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
    // Appends one line per receiver, each whole or not at all; written counts those that made it.
    // False with the reason when some did not.
    bool Append(RunKind kind, const std::vector<FleetReceiver>& receivers, const FleetFiles& files,
                const FleetResult& result, size_t& written, std::string& error);

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
std::string AuditLine(RunKind kind, const FleetReceiver& receiver, const SettingsFileBytes& file,
                      const FleetOutcome& outcome);
