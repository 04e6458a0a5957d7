// The network serial port's receive side, through the real device on a socket pair: a server that
// mixes data with negotiations, COM-PORT answers and other telnet commands at any point, and sends
// it in pieces of any size while the client reads. The data bytes come out in order, exactly once,
// the connection's end reads as a hang-up once they are taken, and no call outlasts its deadline.
//
// Input: byte 0 the seed of the piece sizes; then operations, each led by one byte (low 3 bits):
// 0-3 data (next byte: length, then that many data bytes), 4 a negotiation (verb, option),
// 5 a COM-PORT subnegotiation (length, then its bytes), 6 another telnet command, 7 the client
// reads now.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "serial/network/NetworkDevice.h"
#include "serial/network/Rfc2217.h"

namespace {

constexpr const char* kTarget = "network_receive";
using Clock = std::chrono::steady_clock;
// Every call here either returns at once or waits at most this long (WaitReadable is given 0).
constexpr auto kCallLimit = std::chrono::seconds(2);

constexpr uint8_t kVerbs[] = {kTelnetWILL, kTelnetWONT, kTelnetDO, kTelnetDONT};
constexpr uint8_t kOtherCommands[] = {241, 242, 243, 244, 245, 246, 247, 248, 249};

struct Script {
    std::vector<uint8_t> wire;    // what the server sends
    std::vector<uint8_t> data;    // the data bytes in it
    std::vector<size_t> readsAt;  // wire offsets after which the client reads
};

Script MakeScript(const uint8_t* in, size_t size) {
    Script script;
    script.wire.reserve(2 * size + 16);
    script.data.reserve(size);
    size_t at = 0;
    const auto next = [&]() -> uint8_t { return at < size ? in[at++] : 0; };
    while (at < size) {
        const uint8_t op = next() & 7;
        if (op <= 3) {
            const size_t length = next();
            for (size_t i = 0; i < length && at < size; ++i) {
                const uint8_t byte = next();
                TelnetEncodeData(&byte, 1, script.wire);
                script.data.push_back(byte);
            }
        } else if (op == 4) {
            const uint8_t verb = kVerbs[next() % 4];
            TelnetEncodeOption(verb, next(), script.wire);
        } else if (op == 5) {
            std::vector<uint8_t> value;
            const size_t length = next() % 24;
            for (size_t i = 0; i < length && at < size; ++i) value.push_back(next());
            const uint8_t command = value.empty() ? uint8_t{0} : value[0];
            ComPortEncode(command, value.empty() ? nullptr : value.data() + 1,
                          value.empty() ? 0 : static_cast<int>(value.size() - 1), script.wire);
        } else if (op == 6) {
            script.wire.push_back(kTelnetIAC);
            script.wire.push_back(kOtherCommands[next() % std::size(kOtherCommands)]);
        } else {
            script.readsAt.push_back(script.wire.size());
        }
    }
    return script;
}

// Runs one call of the device and checks it kept within its limit.
template <typename Call>
auto Timed(Call call) {
    const Clock::time_point start = Clock::now();
    auto result = call();
    FuzzCheck(Clock::now() - start < kCallLimit, kTarget, "no call outlasts its deadline");
    return result;
}

// Takes what the device holds; at a read point the queue count is asked first, as the I/O thread does.
void TakeData(SerialDevice& device, std::vector<uint8_t>& received, bool askCounts) {
    if (askCounts) {
        int32_t in = 0;
        int32_t out = 0;
        Timed([&] { return device.QueueCounts(in, out); });
    }
    uint8_t buffer[4096];
    for (;;) {
        const int count = Timed([&] { return device.Read(buffer, sizeof buffer); });
        if (count <= 0) return;
        received.insert(received.end(), buffer, buffer + count);
        if (count < static_cast<int>(sizeof buffer)) return;
    }
}

// What the client sends back (answers to negotiations) is read and dropped, so it never blocks.
void DropReplies(int fd) {
    uint8_t sink[4096];
    while (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
}

bool SendAll(int fd, const uint8_t* bytes, size_t count) {
    while (count > 0) {
        const ssize_t sent = ::send(fd, bytes, count, MSG_NOSIGNAL);
        if (sent <= 0) return false;
        bytes += sent;
        count -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

int FuzzNetworkReceive(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    ReadCutter cutter(data[0]);
    const Script script = MakeScript(data + 1, size - 1);

    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return 0;
    const int server = ends[0];
    // The server's acceptance is on its way before the client asks.
    const uint8_t accept[] = {kTelnetIAC, kTelnetDO, kOptionComPort};
    SendAll(server, accept, sizeof accept);
    auto device = CreateNetworkDeviceOnSocket(ends[1]);
    const bool opened = Timed([&] { return device->Open("rfc2217://socket-pair:1"); });
    FuzzCheck(opened, kTarget, "the device opens when the server accepts COM-PORT");
    if (!opened) {
        ::close(server);
        return 0;
    }

    std::vector<uint8_t> received;
    received.reserve(script.data.size());
    size_t nextRead = 0;
    for (size_t offset = 0; offset < script.wire.size();) {
        size_t count = cutter.Next();
        if (count > script.wire.size() - offset) count = script.wire.size() - offset;
        while (nextRead < script.readsAt.size() && script.readsAt[nextRead] < offset + count) {
            // Send up to the read point, then read.
            const size_t upTo = script.readsAt[nextRead++];
            if (upTo > offset) {
                SendAll(server, script.wire.data() + offset, upTo - offset);
                count -= upTo - offset;
                offset = upTo;
            }
            DropReplies(server);
            TakeData(*device, received, true);
        }
        SendAll(server, script.wire.data() + offset, count);
        offset += count;
        TakeData(*device, received, false);
    }
    // Everything is in the socket now: it all arrives within a bounded number of reads.
    DropReplies(server);
    for (int pass = 0; pass < 64 && received.size() < script.data.size(); ++pass) {
        Timed([&] { return device->WaitReadable(0); });
        TakeData(*device, received, true);
    }
    FuzzCheck(received == script.data, kTarget, "the data bytes come out in order, exactly once");

    ::close(server);
    uint8_t byte = 0;
    int last = 0;
    for (int pass = 0; pass < 64 && last >= 0; ++pass) last = Timed([&] { return device->Read(&byte, 1); });
    FuzzCheck(last < 0, kTarget, "the server's end reads as a hang-up");
    device->Close();
    return 0;
}
