// The emulated receiver's command handling: frames from the PC side through the emulator's Frame
// Decoder into the receiver model. Whatever arrives, every answer frames within the frame buffer and
// decodes back to itself, every report keeps the length of its group, Port B stays on a line that has
// codes, and the break reply the receiver would send parses back to that line.
//
// Input: byte 0 the faults (bit 0: no save), byte 1 a group that ignores commands, byte 2 a group
// that reports another value (0 or above 13: none), byte 3 Port B's factory rate; the rest is the
// stream from the PC.
#include <array>
#include <cstring>
#include <vector>

#include "emulator/ReceiverModel.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "link/Framing.h"
#include "link/PortContext.h"

namespace {

constexpr const char* kTarget = "emulator_commands";
// The rates that have a baud code (code 0, "None", has none).
constexpr std::array<int32_t, kBaudRateOfCode.size() - 1> kRates = [] {
    std::array<int32_t, kBaudRateOfCode.size() - 1> rates{};
    for (size_t i = 1; i < kBaudRateOfCode.size(); ++i) rates[i - 1] = kBaudRateOfCode[i];
    return rates;
}();

// An answer to a command carries at most the longest report; unsolicited output may be longer.
// The buffers live on the stack: this check runs for every answer of every input.
void CheckAnswer(const ModelPacket& packet, bool answersCommand) {
    FuzzCheck(!answersCommand || packet.payload.size() <= static_cast<size_t>(kMaxReportLength), kTarget,
              "no answer to a command is longer than the longest report");
    std::array<uint8_t, kFrameBufferSize> bytes{};
    FuzzCheck(packet.payload.size() < bytes.size(), kTarget, "every answer fits a frame");
    if (packet.payload.size() >= bytes.size()) return;
    bytes[0] = packet.id;
    std::memcpy(bytes.data() + 1, packet.payload.data(), packet.payload.size());
    std::array<uint8_t, kFrameBufferSize> frame{};
    const int frameSize = FrameEncode(bytes.data(), static_cast<int>(packet.payload.size() + 1), frame.data(),
                                      kFrameBufferSize);
    FuzzCheck(frameSize > 0, kTarget, "every answer fits a frame");
    FrameDecoder decoder;
    int packets = 0;
    for (int i = 0; i < frameSize; ++i) {
        if (FrameDecodeByte(decoder.Fields(), frame[static_cast<size_t>(i)]) == 0) continue;
        ++packets;
        FuzzCheck(decoder.packetId == packet.id && decoder.completedLength == packet.payload.size() &&
                      std::memcmp(decoder.payload, packet.payload.data(), packet.payload.size()) == 0,
                  kTarget, "every answer decodes back to itself");
    }
    FuzzCheck(packets == 1, kTarget, "every answer is one frame");
}

void CheckModel(const ReceiverModel& model) {
    for (int g = 1; g <= kGroupCount; ++g) {
        const ModelPacket report = model.Report(g);
        FuzzCheck(report.payload.size() ==
                      static_cast<size_t>(kReceiverGroups[static_cast<size_t>(g - 1)].reportLength),
                  kTarget, "every report keeps the length of its group");
    }
    const PortLine line = model.PortB();
    uint8_t codes[4] = {};
    FuzzCheck(PortCodesFromLine(line, codes), kTarget, "Port B stays on a line that has codes");
    const std::string reply = BreakReplyText(line);
    uint8_t record[kPortConfigurationSize] = {};
    FuzzCheck(ParseBreakReply(reply.c_str(), record) == 0, kTarget, "the break reply parses");
    PortLine parsed;
    FuzzCheck(PortLineFromRecord(record, parsed) && parsed == line, kTarget,
              "the break reply tells Port B's line");
}

}  // namespace

int FuzzEmulatorCommands(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    PortLine portB;
    portB.baudRate = kRates[data[3] % std::size(kRates)];
    ReceiverModel model(portB);
    model.faults.noSave = (data[0] & 1) != 0;
    if (data[1] >= 1 && data[1] <= kGroupCount) model.faults.ignore[data[1]] = true;
    if (data[2] >= 1 && data[2] <= kGroupCount) model.faults.differ[data[2]] = true;
    data += 4;
    size -= 4;

    // A model starts from its factory settings, its Port B rate and its faults alone: each such start
    // is checked once per process, not again for every input that shares it.
    static std::array<bool, std::size(kRates) * 2 * (kGroupCount + 1) * (kGroupCount + 1)> startChecked{};
    const size_t start =
        ((static_cast<size_t>(data[-1] % std::size(kRates)) * 2 + (data[-4] & 1)) * (kGroupCount + 1) +
         (data[-3] <= kGroupCount ? data[-3] : 0)) *
            (kGroupCount + 1) +
        (data[-2] <= kGroupCount ? data[-2] : 0);
    if (!startChecked[start]) {
        CheckModel(model);
        startChecked[start] = true;
    }
    // The reports and Port B follow from the settings held (the faults stay): they are checked again
    // only after a packet that changed those settings.
    ReceiverSettings checked = model.Current();
    FrameDecoder decoder;
    uint32_t seconds = 0;
    ModelResult result;
    for (size_t i = 0; i < size; ++i) {
        if (FrameDecodeByte(decoder.Fields(), data[i]) == 0) continue;
        result.replies.clear();
        result.portBChanged = result.resetRequested = false;
        result.note.clear();
        model.Handle(static_cast<uint8_t>(decoder.packetId), decoder.payload,
                     static_cast<int>(decoder.completedLength), result);
        for (const ModelPacket& answer : result.replies) CheckAnswer(answer, true);
        if (result.resetRequested) model.RestoreSaved();
        if (!(model.Current() == checked)) {
            CheckModel(model);
            checked = model.Current();
        }
        for (const ModelPacket& report : model.AutoOutput(++seconds)) CheckAnswer(report, false);
    }
    return 0;
}
