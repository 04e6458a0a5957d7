#include "messages/ReportHandler.h"

#include <cstring>

#include "messages/GroupComparison.h"
#include "messages/SettingsCommands.h"
#include "settings/Display.h"

namespace {

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
        const auto groupLength = static_cast<uint32_t>(kSettingsGroups[static_cast<size_t>(groupNo - 1)].length);
        std::memcpy(received, payload, length < groupLength ? length : groupLength);
    }

    uint8_t& status = context.groupStatus[static_cast<size_t>(groupNo - 1)];
    status = kGroupReceived;
    if (context.operationMode == kModeLoading) {
        ShowGroup(groupNo, received);
    } else if (context.operationMode == kModeConfiguring) {
        status = CompareGroup(groupNo, received);
    }
}
