// Frame Decoder + Report Handler: any stream, put on the port in reads of random sizes and pumped
// after each read, gives the same packets as the stream decoded in one go, and the handler keeps
// every Group Status in range and never writes the Settings Image except to show a group it loaded.
//
// Input: byte 0 the Operation Mode (modulo 3; bit 7: a Link Check is outstanding), byte 1 the seed
// of the read sizes, byte 2 the seed of the image's bytes; the rest is the stream.
#include <array>
#include <cstring>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "fuzz/FuzzTargets.h"
#include "link/Framing.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "messages/SettingsCommands.h"
#include "serial/Serial.h"
#include "settings/SettingsImage.h"

namespace {

constexpr const char* kTarget = "report_stream";

struct Packet {
    uint32_t id;
    std::vector<uint8_t> payload;
    bool operator==(const Packet&) const = default;
};

std::vector<Packet> handled;

void RecordingHandler(PortContext& context) {
    FuzzCheck(context.completedLength <= kPayloadBufferSize, kTarget, "a packet fits the payload buffer");
    const uint32_t length = context.completedLength <= kPayloadBufferSize ? context.completedLength : 0;
    handled.push_back({context.packetId, {context.payloadBuffer, context.payloadBuffer + length}});
    ReportHandler(context);
}

}  // namespace

int FuzzReportStream(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    FuzzCheck(FuzzPortReady(), kTarget, "the fuzz port opens");
    if (!FuzzPortReady()) return 0;
    const uint8_t mode = static_cast<uint8_t>(data[0] % 3);
    const bool checkSent = (data[0] & 0x80) != 0;
    ReadCutter cutter(data[1]);
    for (size_t i = 0; i < SettingsImage.size(); ++i)
        SettingsImage[i] = static_cast<uint8_t>(data[2] + i * 37);
    const auto imageBefore = SettingsImage;
    data += 3;
    size -= 3;

    PortContext& context = PortContexts[kFuzzPort - 1];
    context.collectedLength = 0;
    context.completedLength = 0;
    context.dleFlag = 0;
    context.packetId = 0;
    context.operationMode = mode;
    context.linkState = checkSent ? kLinkCheckSent : kLinkIdle;
    context.groupStatus.fill(kGroupNothingPending);
    handled.clear();

    for (size_t offset = 0; offset < size;) {
        size_t count = cutter.Next();
        if (count > size - offset) count = size - offset;
        FuzzPortReceive(data + offset, count);
        PumpPort(context, RecordingHandler);
        FuzzCheck(SerialReceiveCount(kFuzzPort) == 0, kTarget,
                  "one pump takes everything a read put on the port");
        offset += count;
    }

    // The stream decoded in one go.
    std::vector<Packet> expected;
    FrameDecoder decoder;
    for (size_t i = 0; i < size; ++i) {
        if (FrameDecodeByte(decoder.Fields(), data[i]) != 0)
            expected.push_back(
                {decoder.packetId, {decoder.payload, decoder.payload + decoder.completedLength}});
    }
    FuzzCheck(handled == expected, kTarget, "the packets do not depend on how the stream was cut into reads");

    bool linkCheckAnswered = false;
    for (const Packet& packet : handled)
        linkCheckAnswered = linkCheckAnswered || packet.id == kLinkCheckReportId;
    const uint8_t expectedLink = checkSent ? (linkCheckAnswered ? kLinkAnswered : kLinkCheckSent) : kLinkIdle;
    FuzzCheck(context.linkState == expectedLink, kTarget,
              "only a 45 report answers an outstanding Link Check");

    for (int g = 1; g <= kGroupCount; ++g) {
        const uint8_t status = context.groupStatus[static_cast<size_t>(g - 1)];
        FuzzCheck(status <= kGroupMatches, kTarget, "every Group Status is one of its five values");
        if (mode == kModeConfiguring) {
            FuzzCheck(status == kGroupNothingPending || status == kGroupDiffers || status == kGroupMatches,
                      kTarget, "a report received while configuring is compared");
        } else {
            FuzzCheck(status == kGroupNothingPending || status == kGroupReceived, kTarget,
                      "a report received while not configuring is only marked received");
        }
        const SettingsGroupInfo& group = SettingsGroup(g);
        const bool unchanged =
            std::memcmp(SettingsImage.data() + group.offset, imageBefore.data() + group.offset,
                        static_cast<size_t>(group.length)) == 0;
        if (mode != kModeLoading || status == kGroupNothingPending)
            FuzzCheck(unchanged, kTarget, "the image changes only where a loaded group is shown");
    }
    context.operationMode = kModeIdle;
    context.linkState = kLinkIdle;
    return 0;
}
