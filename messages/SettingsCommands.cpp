#include "messages/SettingsCommands.h"

#include <cstring>

#include "bytes/ByteOrder.h"
#include "link/Framing.h"
#include "link/PortContext.h"

const GroupPackets& PacketsOfGroup(int groupNo) {
    if (groupNo < 1 || groupNo > kGroupCount) groupNo = 1;
    return kGroupPackets[static_cast<size_t>(groupNo - 1)];
}

#include "serial/Trace.h"

namespace {

bool ValidGroupNo(int groupNo) {
    return groupNo >= 1 && groupNo <= kGroupCount;
}

// Id, then the selector byte (subcode or port) when there is one.
int LayOutHeader(const GroupPackets& row, int16_t selector, uint8_t* packet) {
    int length = 0;
    packet[length++] = row.requestId;
    if (selector >= 0) packet[length++] = static_cast<uint8_t>(selector);
    return length;
}

int LayOutSegments(const GroupPackets& row, int16_t selector, const uint8_t* group, uint8_t* packet) {
    int length = LayOutHeader(row, selector, packet);
    for (const SetSegment& segment : row.setLayout) {
        if (segment.groupByte >= 0) {
            std::memcpy(packet + length, group + segment.groupByte, segment.count);
        } else {
            std::memset(packet + length, segment.fixedByte, segment.count);
        }
        length += segment.count;
    }
    return length;
}

// The group a request or set command carries, from the one table of packet identities; 0 for none.
int GroupOfCommand(const uint8_t* packet, int length) {
    for (const GroupPackets& row : kGroupPackets) {
        if (row.requestId != packet[0]) continue;
        if (row.subcode >= 0 && (length < 2 || packet[1] != row.subcode)) continue;
        return row.groupNo;
    }
    return 0;
}

void Send(const uint8_t* packet, int length, int16_t commIndex) {
    if (length <= 0 || commIndex < 0 || commIndex >= kPortContextCount) return;
    ProgramTrace().Line(commIndex + 1, "packet-tx",
                        TracePacketFields(packet, length, GroupOfCommand(packet, length)));
    PacketSend(length, packet, PortContexts[static_cast<size_t>(commIndex)]);
}

}  // namespace

int BuildLinkCheckPacket(uint8_t* packet) {
    packet[0] = kLinkCheckId;
    return 1;
}

int BuildRequestPacket(int groupNo, uint8_t* packet) {
    if (!ValidGroupNo(groupNo)) return 0;
    const GroupPackets& row = PacketsOfGroup(groupNo);
    return LayOutHeader(row, row.subcode, packet);
}

int BuildSetPacket(int groupNo, const uint8_t* group, uint8_t* packet) {
    if (!ValidGroupNo(groupNo)) return 0;
    const GroupPackets& row = PacketsOfGroup(groupNo);
    switch (groupNo) {
        case kGroup2DAltitude:
            // g0 chooses the form: 0 the altitude, 1 the cancel form, anything else nothing.
            if (group[0] == 1) {
                packet[0] = row.requestId;
                packet[1] = kAltitudeCancelByte;
                return 2;
            }
            if (group[0] != 0) return 0;
            break;
        case kGroupDatum:
            // Index −1 (FF FF) is the custom datum: its five parameters go without the index.
            if (GetU16BE(group + 1) == 0xFFFF) {
                int length = LayOutHeader(row, row.subcode, packet);
                std::memcpy(packet + length, group + kCustomDatumParametersFirst,
                            kCustomDatumParametersCount);
                return length + kCustomDatumParametersCount;
            }
            break;
        default:
            break;
    }
    return LayOutSegments(row, row.subcode, group, packet);
}

int BuildRequestPortConfigurationPacket(uint8_t portSelector, uint8_t* packet) {
    return LayOutHeader(PacketsOfGroup(kGroupPortAConfiguration), portSelector, packet);
}

int BuildSetPortConfigurationPacket(uint8_t portSelector, const uint8_t* record, uint8_t* packet) {
    return LayOutSegments(PacketsOfGroup(kGroupPortAConfiguration), portSelector, record, packet);
}

void SendLinkCheck(int16_t commIndex) {
    uint8_t packet[kMaxPacketLength];
    Send(packet, BuildLinkCheckPacket(packet), commIndex);
}

void SendRequest(int groupNo, int16_t commIndex) {
    uint8_t packet[kMaxPacketLength];
    Send(packet, BuildRequestPacket(groupNo, packet), commIndex);
}

void SendSet(int groupNo, const uint8_t* group, int16_t commIndex) {
    uint8_t packet[kMaxPacketLength];
    Send(packet, BuildSetPacket(groupNo, group, packet), commIndex);
}

void RequestPortConfiguration(uint8_t portSelector, int16_t commIndex) {
    uint8_t packet[kMaxPacketLength];
    Send(packet, BuildRequestPortConfigurationPacket(portSelector, packet), commIndex);
}

void SetPortConfiguration(uint8_t portSelector, const uint8_t* record, int16_t commIndex) {
    uint8_t packet[kMaxPacketLength];
    Send(packet, BuildSetPortConfigurationPacket(portSelector, record, packet), commIndex);
}

void SendControlCommand(ControlCommandNo command, int16_t commIndex) {
    if (command < 0 || command >= kControlCommandCount) return;
    const ControlCommand& control = kControlCommands[static_cast<size_t>(command)];
    Send(control.bytes.data(), control.length, commIndex);
}

void SendSaveSettings(int16_t commIndex) {
    SendControlCommand(kControlSaveSettings, commIndex);
}
void SendCommand1E(int16_t commIndex) {
    SendControlCommand(kControl1E, commIndex);
}
void SendCommand32(int16_t commIndex) {
    SendControlCommand(kControl32, commIndex);
}
void SendCommand8EA6(int16_t commIndex) {
    SendControlCommand(kControl8EA6, commIndex);
}
void SendCommand8E45(int16_t commIndex) {
    SendControlCommand(kControl8E45, commIndex);
}

std::string TracePacketFields(const uint8_t* packet, int length, int groupNo) {
    if (length <= 0) return "length=0";
    std::string fields = "id=" + TraceHex(packet, 1);
    if ((packet[0] == 0x8E || packet[0] == 0x8F) && length > 1) fields += " sub=" + TraceHex(packet + 1, 1);
    fields += " group=" + std::to_string(groupNo) + " length=" + std::to_string(length) +
              " data=" + TraceHex(packet, length);
    return fields;
}
