#include "serial/Trace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <thread>

#include "serial/OpenFlags.h"

namespace {

constexpr auto kFlushPeriod = std::chrono::milliseconds(100);
// How long a close waits for the last lines to reach the disk.
constexpr auto kCloseWait = std::chrono::milliseconds(1000);

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

bool CheckAppendTarget(const std::string& path, std::string& error) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
        return false;
    }
    return true;
}

bool TraceFile::Open(const std::string& path, const std::string& program, std::string& error) {
    Close();
    if (!CheckAppendTarget(path, error)) return false;
    // O_NONBLOCK: should a FIFO take the name's place after the check, the open does not wait for
    // a reader; what was opened is checked again below.
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | kOwnFileFlags, 0644);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    std::FILE* file = nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        error = path + ": not a regular file";
    } else if ((file = ::fdopen(fd, "a")) == nullptr) {
        error = path + ": " + std::strerror(errno);
    }
    if (file == nullptr) {
        ::close(fd);
        return false;
    }
    shared_ = std::make_shared<Shared>();
    shared_->file = file;
    shared_->path = path;
    startNs_ = NowNs();
    shared_->pending = "# trace of " + program + ", started " + WallClock() + "\n";
    std::thread(&TraceFile::Flusher, shared_).detach();
    open_.store(true);
    return true;
}

void TraceFile::Close() {
    if (!open_.exchange(false)) return;
    Shared* const shared = shared_.get();
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->stopping = true;
    shared->wake.notify_all();
    // The flusher closes the file when it is done; a disk that does not answer is not waited out.
    shared->finished.wait_for(lock, kCloseWait, [&] { return shared->done; });
}

void TraceFile::Line(int port, const std::string& event, const std::string& fields) {
    if (!open_.load()) return;
    Shared* const shared = shared_.get();
    const int64_t ms = (NowNs() - startNs_) / 1000000;
    std::string line = std::to_string(ms) + " comm" + std::to_string(port) + " " + event;
    if (!fields.empty()) line += " " + fields;
    line += "\n";
    std::lock_guard<std::mutex> guard(shared->mutex);
    shared->pending += line;
}

void TraceFile::Bytes(int port, const char* event, const uint8_t* bytes, int count) {
    if (!open_.load() || count <= 0) return;
    Line(port, event, TraceHex(bytes, count));
}

void TraceFile::Flusher(std::shared_ptr<Shared> shared) {
    std::string batch;
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        shared->wake.wait_for(lock, kFlushPeriod, [&] { return shared->stopping; });
        const bool stop = shared->stopping;
        lock.unlock();
        {
            std::lock_guard<std::mutex> writing(shared->writing);
            {
                std::lock_guard<std::mutex> guard(shared->mutex);
                batch.swap(shared->pending);
            }
            WriteOut(*shared, batch);
        }
        batch.clear();
        lock.lock();
        if (stop && shared->pending.empty()) break;
    }
    lock.unlock();
    std::fclose(shared->file);
    lock.lock();
    shared->done = true;
    shared->finished.notify_all();
}

void TraceFile::Flush() {
    if (!open_.load()) return;
    Shared* const shared = shared_.get();
    std::string batch;
    std::lock_guard<std::mutex> writing(shared->writing);
    {
        std::lock_guard<std::mutex> guard(shared->mutex);
        batch.swap(shared->pending);
    }
    WriteOut(*shared, batch);
}

void TraceFile::WriteOut(Shared& shared, std::string& text) {
    if (text.empty() || shared.failed) return;
    if (std::fwrite(text.data(), 1, text.size(), shared.file) != text.size() ||
        std::fflush(shared.file) != 0) {
        shared.failed = true;
        std::fprintf(stderr, "trace %s: %s; going on without it\n", shared.path.c_str(),
                     std::strerror(errno));
    }
}

TraceFile& ProgramTrace() {
    // Never destroyed: I/O threads of ports left open at exit may still trace.
    static TraceFile* const trace = new TraceFile;
    return *trace;
}
