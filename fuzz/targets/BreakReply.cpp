// The break reply: ProbeBreakReply on what the port received (in one or more reads, the receive
// buffer keeping what earlier reads left), ParseBreakReply on the probe's 200-byte copy and on the
// raw text. Whatever the bytes, the parser stays inside its text, returns one of its codes, and a
// reply it accepts gives a port configuration record made only of valid codes.
//
// Input: byte 0 the seed of the read sizes, byte 1 the number of reads the probe gets (1..4); the
// rest is what the receiver sent after the break.
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "link/PortContext.h"
#include "serial/Serial.h"

namespace {

constexpr const char* kTarget = "break_reply";

void CheckRecord(int result, const uint8_t* record) {
    FuzzCheck(result <= 0 && result >= -11, kTarget, "the parser returns 0 or one of its error codes");
    if (result != 0) return;
    FuzzCheck(record[kPortRecordReceiverPort] <= 1, kTarget,
              "an accepted reply gives a valid Port B enable code");
    FuzzCheck(record[kPortRecordOutputBaud] == record[kPortRecordInputBaud], kTarget,
              "an accepted reply gives the same output baud code as the input one");
    PortLine line;
    FuzzCheck(PortLineFromRecord(record, line), kTarget,
              "an accepted reply gives valid baud, data bits, parity and stop bits codes");
}

// Parses `size` bytes that need not end in a zero, into a record of exactly its size, and checks
// that the zero-terminated copy of the same text parses the same.
void ParseBoth(const uint8_t* text, size_t size) {
    auto record = std::make_unique<uint8_t[]>(kPortConfigurationSize);
    std::memset(record.get(), 0xEE, kPortConfigurationSize);
    auto bounded = std::make_unique<char[]>(size == 0 ? 1 : size);
    std::memcpy(bounded.get(), text, size);
    const int result = ParseBreakReply(bounded.get(), size, record.get());
    CheckRecord(result, record.get());

    auto terminated = std::make_unique<char[]>(size + 1);
    std::memcpy(terminated.get(), text, size);
    terminated[size] = '\0';
    auto record2 = std::make_unique<uint8_t[]>(kPortConfigurationSize);
    std::memset(record2.get(), 0xEE, kPortConfigurationSize);
    const int result2 = ParseBreakReply(terminated.get(), record2.get());
    FuzzCheck(result2 == result, kTarget, "the bounded and the terminated text parse alike");
    if (result == 0)
        FuzzCheck(std::memcmp(record.get(), record2.get(), kPortConfigurationSize) == 0, kTarget,
                  "the bounded and the terminated text give the same record");
}

}  // namespace

int FuzzBreakReply(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    FuzzCheck(FuzzPortReady(), kTarget, "the fuzz port opens");
    if (!FuzzPortReady()) return 0;
    ReadCutter cutter(data[0]);
    const int reads = 1 + data[1] % 4;
    data += 2;
    size -= 2;

    ParseBoth(data, size);

    PortContext& context = PortContexts[kFuzzPort - 1];
    std::memset(context.rawReceiveBuffer, 0, sizeof context.rawReceiveBuffer);
    size_t offset = 0;
    for (int read = 0; read < reads; ++read) {
        size_t count = read + 1 == reads ? size - offset : cutter.Next();
        if (count > size - offset) count = size - offset;
        if (count > kFuzzMaxRead) count = kFuzzMaxRead;
        FuzzPortReceive(data + offset, count);
        offset += count;
        auto reply = std::make_unique<uint8_t[]>(kBreakReplySize);
        const uint8_t found = ProbeBreakReply(reply.get(), kFuzzPort - 1);
        FuzzCheck(SerialReceiveCount(kFuzzPort) == 0, kTarget, "the probe reads everything the port holds");
        if (found != 0) {
            FuzzCheck(reply[0] == 'P' && reply[1] == 'R', kTarget, "a found reply begins with PR");
            ParseBoth(reply.get(), kBreakReplySize);
        }
    }
    return 0;
}
