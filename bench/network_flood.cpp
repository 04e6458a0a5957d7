// A network port that nobody reads, its peer sending as fast as TCP lets it and a byte waiting to
// go out (as while a load's Error 30 box is up): what the port costs over SECONDS once its Receive
// Ring is full (CPU of the process, goal under 0.5 % of one core) and how much more the peer got out
// (goal under 1 MB: the hold-back leaves the socket unread). Usage: network_flood [seconds]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>

#include "serial/Serial.h"
#include "tests/network/ScriptedServer.h"

namespace {

// Every thread of the process: the port's I/O thread and the peer.
double ProcessCpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    constexpr uint8_t kPort = 1;
    std::atomic<unsigned long long> sent{0};
    const Bytes flood(64 * 1024, 0x55);
    ScriptedServer server([&](ScriptedConnection& c) {
        if (!c.AcceptNegotiation() || !c.AcknowledgeCommands(4)) return;
        while (c.Send(flood)) sent += flood.size();
    });
    if (!SerialSetDeviceName(kPort, server.DeviceName()) ||
        SerialOpen(kPort, kAccessThreaded, 4096, 9600, 0, 8, 1) != 1) {
        std::fprintf(stderr, "cannot open the network port\n");
        return 1;
    }
    SerialPutByte(kPort, 0x10);
    // Past the thread's start delay, the ring filled and the socket buffers with it.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const double cpuStart = ProcessCpuSeconds();
    const unsigned long long sentStart = sent.load();
    const auto wallStart = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpu = ProcessCpuSeconds() - cpuStart;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
    const double percent = 100.0 * cpu / wall;
    const double megabytes = static_cast<double>(sent.load() - sentStart) / 1e6;
    const int unread = SerialReceiveCount(kPort);
    const int waiting = SerialTransmitCount(kPort);
    SerialClose(kPort);
    std::printf("flooded network port nobody reads, %d s: CPU %.3f %% of one core (goal < 0.5 %%)  %s\n",
                seconds, percent, percent < 0.5 ? "OK" : "OVER");
    std::printf("flooded network port: the peer got out %.2f MB more (goal < 1 MB)  %s\n", megabytes,
                megabytes < 1.0 ? "OK" : "OVER");
    std::printf("ring unread %d, bytes waiting to go out %d\n", unread, waiting);
    return 0;
}
