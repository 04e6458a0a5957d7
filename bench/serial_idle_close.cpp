// Opens 20 Threaded ports on pseudo-terminals and measures what their I/O threads cost while the
// lines are idle (CPU over 10 s, goal under 0.5 % of one core) and how long SerialClose takes
// (goal at most 120 ms). Usage: serial_idle_close [seconds]
#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "serial/Serial.h"
#include "serial/SerialTesting.h"
#include "support/Pty.h"

namespace {

constexpr int kPorts = 20;

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

double IdlePercent(int seconds) {
    const auto wallStart = std::chrono::steady_clock::now();
    const double cpuStart = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    return 100.0 * cpu / wall;
}

// For comparison: 20 threads that do nothing but wake every 100 ms in poll, each on its own timer,
// started 10 ms apart as the ports are. The I/O threads share one beat and so can cost less.
double ReferencePercent(int seconds) {
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kPorts; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        threads.emplace_back([&stop] {
            const int fd = eventfd(0, EFD_CLOEXEC);
            while (!stop.load()) {
                pollfd wake{fd, POLLIN, 0};
                poll(&wake, 1, 100);
            }
            close(fd);
        });
    }
    const double percent = IdlePercent(seconds);
    stop.store(true);
    for (std::thread& thread : threads) thread.join();
    return percent;
}

// Time of SerialClose while the port's thread is stuck in a write to a line that takes nothing
// (the reader of the pty never reads): the close must not wait out the 10 ms-per-byte time-out.
// Returns −1 when the thread could not be brought into that state.
double BlockedCloseMs(uint8_t port) {
    PtyPair line;
    if (!line.IsOpen() || !SerialSetDeviceName(port, line.SlavePath()) ||
        SerialOpen(port, kAccessThreaded, 4096, 9600, 0, 8, 1) != 1) {
        return -1;
    }
    // Refill the queue right after each poll (the thread is then asleep and holds no lock) until
    // the polls stop: the thread is then waiting in its write.
    uint32_t passes = SerialIoPassCount(port);
    auto lastPass = std::chrono::steady_clock::now();
    while (std::chrono::steady_clock::now() - lastPass < std::chrono::milliseconds(1000)) {
        const uint32_t now = SerialIoPassCount(port);
        if (now != passes) {
            passes = now;
            lastPass = std::chrono::steady_clock::now();
            for (int i = 0; i < 4096; ++i) SerialPutByte(port, static_cast<uint8_t>(i));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (std::chrono::steady_clock::now() - lastPass > std::chrono::seconds(30)) break;
    }
    const auto start = std::chrono::steady_clock::now();
    const uint8_t closed = SerialClose(port);
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return closed == 1 ? ms : -1;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    std::vector<std::unique_ptr<PtyPair>> lines;
    for (int n = 1; n <= kPorts; ++n) {
        lines.push_back(std::make_unique<PtyPair>());
        if (!lines.back()->IsOpen() ||
            !SerialSetDeviceName(static_cast<uint8_t>(n), lines.back()->SlavePath())) {
            std::fprintf(stderr, "cannot create pseudo-terminal %d\n", n);
            return 1;
        }
    }
    for (int n = 1; n <= kPorts; ++n) {
        if (SerialOpen(static_cast<uint8_t>(n), kAccessThreaded, 4096, 9600, 0, 8, 1) != 1) {
            std::fprintf(stderr, "SerialOpen(%d) failed\n", n);
            return 1;
        }
    }
    // Let every thread get past its start delay before measuring the steady idle cost.
    std::this_thread::sleep_for(std::chrono::milliseconds(700));

    const double percent = IdlePercent(seconds);

    std::vector<double> closeMs;
    for (int n = 1; n <= kPorts; ++n) {
        const auto start = std::chrono::steady_clock::now();
        const uint8_t closed = SerialClose(static_cast<uint8_t>(n));
        closeMs.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (closed != 1) {
            std::fprintf(stderr, "SerialClose(%d) failed\n", n);
            return 1;
        }
    }
    double sum = 0;
    for (double ms : closeMs) sum += ms;
    const double maxMs = *std::max_element(closeMs.begin(), closeMs.end());

    const double reference = ReferencePercent(seconds);
    const double blockedMs = BlockedCloseMs(kPorts + 1);
    std::printf("ports: %d threaded, idle for %d s\n", kPorts, seconds);
    std::printf("idle CPU of the I/O threads: %.3f %% of one core (goal < 0.5 %%)  %s\n", percent,
                percent < 0.5 ? "OK" : "OVER");
    std::printf("reference, %d threads each waking every 100 ms on its own timer: %.3f %% of one core\n",
                kPorts, reference);
    std::printf("SerialClose: mean %.2f ms, max %.2f ms (goal <= 120 ms)  %s\n", sum / kPorts, maxMs,
                maxMs <= 120.0 ? "OK" : "OVER");
    std::printf("SerialClose while the thread waits in a write to a full line: %.2f ms  %s\n", blockedMs,
                blockedMs >= 0 && blockedMs <= 120.0 ? "OK" : "OVER");
    return percent < 0.5 && maxMs <= 120.0 && blockedMs >= 0 && blockedMs <= 120.0 ? 0 : 2;
}
