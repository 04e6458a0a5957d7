// The trace: every byte on the line and every step of the driver, one text line per event, appended
// as it happens. Simple to grep and to parse (docs/TRACE.md):
//
//   # trace of vandel-cli 1.20, started 2026-12-08 11:00:00.123 UTC
//   12 comm1 open device=/dev/ttyUSB0 result=ok
//   530 comm1 tx 10 1F 10 03
//   531 comm1 packet-tx id=1F length=1 data=1F
//
// The first field is the time since the start in milliseconds, the second the comm port. Lines are
// kept in memory and written by a thread of the trace's own at least every 100 ms, so an I/O thread
// that traces never waits on the disk. A trace that cannot be written is reported once; the program
// goes on without it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>

class TraceFile {
  public:
    TraceFile() = default;
    ~TraceFile() { Close(); }
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Opens FILE for appending and writes the header line. False with the reason.
    bool Open(const std::string& path, const std::string& program, std::string& error);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    void Line(int port, const std::string& event, const std::string& fields = {});
    void Bytes(int port, const char* event, const uint8_t* bytes, int count);
    // Writes what is pending now, on the caller's thread (for writers that may wait on the disk).
    void Flush();

  private:
    void Flusher();
    void WriteOut(std::string& text);

    std::FILE* file_ = nullptr;
    std::string path_;
    std::mutex mutex_;
    std::mutex writeMutex_;  // one writer of the file at a time: the flusher or Flush()
    std::condition_variable wake_;
    std::string pending_;
    bool stopping_ = false;
    bool failed_ = false;
    std::thread flusher_;
    int64_t startNs_ = 0;
};

// The trace of this program (vandel-cli --trace, vandel-configurator --trace), fed by the driver
// where bytes meet the device and by the messages where packets complete.
TraceFile& ProgramTrace();
// "8E 15 00": upper-case hex, one blank between bytes.
std::string TraceHex(const uint8_t* bytes, int count);
