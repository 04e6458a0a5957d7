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
// that traces never waits on the disk. A trace goes only to a regular file: a FIFO, a device or a
// folder is refused before anything is opened. A trace that cannot be written is reported once; the
// program goes on without it, and a disk that hangs holds up neither an operation nor the exit.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

class TraceFile {
  public:
    TraceFile() = default;
    ~TraceFile() { Close(); }
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    // Opens FILE for appending and writes the header line. False with the reason; a FILE that
    // exists and is no regular file is refused without being opened.
    bool Open(const std::string& path, const std::string& program, std::string& error);
    // Writes out what is pending and closes, waiting at most about a second for the disk: a write
    // that hangs is left to finish on its own (or with the process).
    void Close();
    bool IsOpen() const { return open_.load(); }

    void Line(int port, const std::string& event, const std::string& fields = {});
    void Bytes(int port, const char* event, const uint8_t* bytes, int count);
    // Writes what is pending now, on the caller's thread (for writers that may wait on the disk).
    void Flush();

  private:
    // What the writer thread needs, kept alive by that thread too, so that a Close that stops
    // waiting for it never leaves it with freed memory.
    struct Shared {
        std::FILE* file = nullptr;
        std::string path;
        std::mutex mutex;
        std::mutex writing;  // one writer of the file at a time: the flusher or Flush()
        std::condition_variable wake;
        std::condition_variable finished;
        std::string pending;
        bool stopping = false;
        bool done = false;
        bool failed = false;
    };
    static void Flusher(std::shared_ptr<Shared> shared);
    static void WriteOut(Shared& shared, std::string& text);

    // Kept until the next Open or the end of the trace object, so that a port's I/O thread that
    // traces just after a Close still finds it; Close only marks it closed.
    std::shared_ptr<Shared> shared_;
    std::atomic<bool> open_{false};
    int64_t startNs_ = 0;
};

// Whether PATH may take a trace (or another record appended to): true when it does not exist or
// is a regular file; false with "PATH: not a regular file" for a FIFO, a device or a folder.
bool CheckAppendTarget(const std::string& path, std::string& error);

// The trace of this program (vandel-cli --trace, vandel-configurator --trace), fed by the driver
// where bytes meet the device and by the messages where packets complete.
TraceFile& ProgramTrace();
// "8E 15 00": upper-case hex, one blank between bytes.
std::string TraceHex(const uint8_t* bytes, int count);
