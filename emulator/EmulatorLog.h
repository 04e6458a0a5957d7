// The emulator's log (--log FILE): the trace format of the programs (docs/TRACE.md), from the
// receiver's side: "rx" are the bytes a receiver got from the PC, "tx" the bytes it sent, "note"
// what it did. The port field is the receiver's number.
#pragma once

#include <cstdint>
#include <string>

#include "serial/Trace.h"

class EmulatorLog {
  public:
    bool Open(const std::string& path);
    // Written at once: tests and people read the log while the receivers run.
    void Write(int receiver, const std::string& text) {
        trace_.Line(receiver, "note", text);
        trace_.Flush();
    }
    void Bytes(int receiver, const char* direction, const uint8_t* bytes, int count) {
        trace_.Bytes(receiver, direction, bytes, count);
        trace_.Flush();
    }
    void Close() { trace_.Close(); }

  private:
    TraceFile trace_;
};
