// The emulator's packet log (--log FILE): one time-stamped line per packet or event.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

class EmulatorLog {
  public:
    EmulatorLog() = default;
    ~EmulatorLog();
    EmulatorLog(const EmulatorLog&) = delete;
    EmulatorLog& operator=(const EmulatorLog&) = delete;

    bool Open(const std::string& path);
    // "2024-06-15 12:34:56.789 [1] rx 1F"
    void Write(int receiver, const std::string& text);

  private:
    std::mutex mutex_;
    std::FILE* file_ = nullptr;
};
