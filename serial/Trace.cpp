#include "serial/Trace.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

namespace {

constexpr auto kFlushPeriod = std::chrono::milliseconds(100);

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string WallClock() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[64];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    char withMs[80];
    std::snprintf(withMs, sizeof withMs, "%s.%03d UTC", text, static_cast<int>(ms));
    return withMs;
}

}  // namespace

std::string TraceHex(const uint8_t* bytes, int count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(static_cast<size_t>(count > 0 ? count : 0) * 3);
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += ' ';
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    return text;
}

bool TraceFile::Open(const std::string& path, const std::string& program, std::string& error) {
    Close();
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    file_ = file;
    path_ = path;
    failed_ = false;
    stopping_ = false;
    startNs_ = NowNs();
    pending_ = "# trace of " + program + ", started " + WallClock() + "\n";
    flusher_ = std::thread(&TraceFile::Flusher, this);
    return true;
}

void TraceFile::Close() {
    if (file_ == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (flusher_.joinable()) flusher_.join();
    std::fclose(file_);
    file_ = nullptr;
}

void TraceFile::Line(int port, const std::string& event, const std::string& fields) {
    if (file_ == nullptr) return;
    const int64_t ms = (NowNs() - startNs_) / 1000000;
    std::string line = std::to_string(ms) + " comm" + std::to_string(port) + " " + event;
    if (!fields.empty()) line += " " + fields;
    line += "\n";
    std::lock_guard<std::mutex> guard(mutex_);
    pending_ += line;
}

void TraceFile::Bytes(int port, const char* event, const uint8_t* bytes, int count) {
    if (file_ == nullptr || count <= 0) return;
    Line(port, event, TraceHex(bytes, count));
}

void TraceFile::Flusher() {
    std::string batch;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, kFlushPeriod, [&] { return stopping_; });
        const bool stop = stopping_;
        lock.unlock();
        {
            std::lock_guard<std::mutex> writing(writeMutex_);
            {
                std::lock_guard<std::mutex> guard(mutex_);
                batch.swap(pending_);
            }
            WriteOut(batch);
        }
        batch.clear();
        lock.lock();
        if (stop && pending_.empty()) return;
    }
}

void TraceFile::Flush() {
    if (file_ == nullptr) return;
    std::string batch;
    std::lock_guard<std::mutex> writing(writeMutex_);
    {
        std::lock_guard<std::mutex> guard(mutex_);
        batch.swap(pending_);
    }
    WriteOut(batch);
}

void TraceFile::WriteOut(std::string& text) {
    if (text.empty() || failed_) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
        failed_ = true;
        std::fprintf(stderr, "trace %s: %s; going on without it\n", path_.c_str(), std::strerror(errno));
    }
}

TraceFile& ProgramTrace() {
    // Never destroyed: I/O threads of ports left open at exit may still trace.
    static TraceFile* const trace = new TraceFile;
    return *trace;
}
