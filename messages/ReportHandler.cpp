#include "messages/ReportHandler.h"

#include <cstring>

#include "link/PortConfiguration.h"
#include "link/PortContext.h"
#include "messages/FieldDifferences.h"
#include "messages/GroupComparison.h"
#include "messages/SettingsCommands.h"
#include "serial/Trace.h"
#include "settings/Display.h"
#include "settings/SettingsControls.h"

namespace {

// The link and the settings know a few of the same things without depending on each other; here,
// where a report passes from one to the other, they must agree.
constexpr bool SameNumber(const char* text, int32_t number) {
    int32_t value = 0;
    for (; *text != '\0'; ++text) {
        if (*text < '0' || *text > '9') return false;
        value = value * 10 + (*text - '0');
    }
    return value == number;
}

constexpr bool BaudItemsAreTheCodes() {
    if (kBaudRateItems.size() != kBaudRateOfCode.size()) return false;
    for (size_t code = 1; code < kBaudRateItems.size(); ++code)
        if (!SameNumber(kBaudRateItems[code], kBaudRateOfCode[code])) return false;
    return true;
}

static_assert(kGroupStatusCount == kGroupCount, "one Group Status per Settings Group");
static_assert(kSettingsGroups[kGroupPortAConfiguration - 1].length == kPortConfigurationSize &&
                  kSettingsGroups[kGroupPortBConfiguration - 1].length == kPortConfigurationSize,
              "the port configuration groups have the record's layout");
static_assert(BaudItemsAreTheCodes(), "the baud-rate combo items are the baud codes' rates");

// The group a report carries, from the one table of packet identities: 0 when the report carries
// none (a 4A of another length, a BC for a port other than 0 or 1, an unknown 8F subcode, any
// other id).
int ReportGroup(uint32_t id, uint8_t key, uint32_t length) {
    for (const GroupPackets& row : kGroupPackets) {
        if (row.reportId != id) continue;
        if (row.reportKey >= 0 && row.reportKey != key) continue;
        if (row.reportLength >= 0 && static_cast<uint32_t>(row.reportLength) != length) continue;
        return row.groupNo;
    }
    return 0;
}

}  // namespace

void ReportHandler(PortContext& context) {
    if (ProgramTrace().IsOpen()) {
        const uint32_t traced =
            context.completedLength < kPayloadBufferSize ? context.completedLength : kPayloadBufferSize;
        uint8_t packet[kPayloadBufferSize + 1];
        packet[0] = static_cast<uint8_t>(context.packetId);
        std::memcpy(packet + 1, context.payloadBuffer, traced);
        const uint8_t key = traced > 0 ? context.payloadBuffer[0] : 0;
        ProgramTrace().Line(context.commPortNumber, "packet-rx",
                            TracePacketFields(packet, static_cast<int>(traced) + 1,
                                              ReportGroup(context.packetId, key, traced)));
    }
    if (context.packetId == kLinkCheckReportId) {
        if (context.linkState == kLinkCheckSent) context.linkState = kLinkAnswered;
        return;
    }
    uint32_t length = context.completedLength;
    if (length > kPayloadBufferSize) length = kPayloadBufferSize;
    const uint8_t* payload = context.payloadBuffer;
    const uint8_t key = length > 0 ? payload[0] : 0;
    const int groupNo = ReportGroup(context.packetId, key, length);
    if (groupNo == 0) return;

    // The received group r. Bytes beyond the report's payload read as 0: a short report must not
    // pick up bytes left in the payload buffer by earlier packets.
    uint8_t received[kMaxGroupLength] = {};
    if (groupNo == kGroup2DAltitude) {
        received[0] = 0;  // built as 00 and the altitude, the first four payload bytes
        std::memcpy(received + 1, payload, 4);
    } else {
        const auto groupLength =
            static_cast<uint32_t>(kSettingsGroups[static_cast<size_t>(groupNo - 1)].length);
        std::memcpy(received, payload, length < groupLength ? length : groupLength);
    }

    RememberReceivedGroup(context.commPortNumber - 1, groupNo, received);
    uint8_t& status = context.groupStatus[static_cast<size_t>(groupNo - 1)];
    status = kGroupReceived;
    if (context.operationMode == kModeLoading) {
        ShowGroup(groupNo, received);
    } else if (context.operationMode == kModeConfiguring) {
        status = CompareGroup(groupNo, received);
    }
}
