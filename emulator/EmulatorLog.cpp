#include "emulator/EmulatorLog.h"

#include <chrono>
#include <ctime>

EmulatorLog::~EmulatorLog() {
    if (file_ != nullptr) std::fclose(file_);
}

bool EmulatorLog::Open(const std::string& path) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (file_ != nullptr) std::fclose(file_);
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

void EmulatorLog::Write(int receiver, const std::string& text) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (file_ == nullptr) return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(file_, "%s.%03d [%d] %s\n", stamp, static_cast<int>(millis), receiver, text.c_str());
    std::fflush(file_);
}
