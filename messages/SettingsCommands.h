// Settings Commands: every packet sent to a receiver. Each lays out its packet (id first) in a
// local buffer and makes one PacketSend to Port Context commIndex (0..19), or none. No command
// waits for or checks a reply.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "settings/SettingsImage.h"

// One piece of a set command's payload after the id and subcode: `count` group bytes starting at
// `groupByte`, or, when groupByte is −1, `count` copies of `fixedByte`.
struct SetSegment {
    int16_t groupByte;
    uint8_t fixedByte;
    uint8_t count;
};
constexpr int kMaxSetSegments = 6;

// The packet identities of one Settings Group, from which its request, its set command and the
// report that carries it are all derived.
struct GroupPackets {
    int groupNo;           // 1..13
    uint8_t requestId;     // packet id of the request and set commands
    int16_t subcode;       // request/set subcode byte (−1: none)
    uint8_t reportId;      // id of the report that carries the group
    int16_t reportKey;     // report payload byte 0 that selects the group (subcode or port), −1: none
    int16_t reportLength;  // the exact payload length the report must have, −1: any
    std::array<SetSegment, kMaxSetSegments> setLayout;  // the set payload after id and subcode
};

namespace set_layout {
constexpr SetSegment G(int16_t first, uint8_t count) {
    return {first, 0, count};
}
constexpr SetSegment Fixed(uint8_t value, uint8_t count) {
    return {-1, value, count};
}
}  // namespace set_layout

// The one table of packet identities, indexed by group number − 1. The 2D Altitude set command
// and the Datum set command each have a second form chosen from the group (see SendSet).
inline constexpr std::array<GroupPackets, kGroupCount> kGroupPackets = [] {
    using namespace set_layout;
    return std::array<GroupPackets, kGroupCount>{{
        {1, 0x2A, -1, 0x4A, -1, 9, {G(1, 4)}},  // altitude form; cancel form 2A FF
        {2, 0x35, -1, 0x55, -1, -1, {G(0, 4)}},
        {3, 0x7A, 0x00, 0x7B, -1, -1, {G(1, 5)}},
        {4, 0xBB, 0x00, 0xBB, -1, -1, {G(1, 21), Fixed(0xFF, 21)}},
        {5, 0xBC, 0x00, 0xBC, 0x00, -1, {G(1, 1), G(1, 1), G(3, 3), Fixed(0x00, 1), G(7, 2), Fixed(0x00, 1)}},
        {6, 0xBC, 0x01, 0xBC, 0x01, -1, {G(1, 1), G(1, 1), G(3, 3), Fixed(0x00, 1), G(7, 2), Fixed(0x00, 1)}},
        {7, 0x8E, 0x15, 0x8F, 0x15, -1, {G(1, 2)}},  // index form; custom form g3..g42
        {8, 0x8E, 0x4A, 0x8F, 0x4A, -1, {G(1, 15)}},
        {9, 0x8E, 0x4D, 0x8F, 0x4D, -1, {G(1, 4)}},
        {10, 0x8E, 0x4E, 0x8F, 0x4E, -1, {G(1, 1)}},
        {11, 0x8E, 0x4F, 0x8F, 0x4F, -1, {G(1, 8)}},
        {12, 0x8E, 0xA5, 0x8F, 0xA5, -1, {G(1, 2), Fixed(0x00, 2)}},
        {13, 0x8E, 0xA9, 0x8F, 0xA9, -1, {G(1, 6), Fixed(0x00, 4)}},
    }};
}();

// No set layout reads past its group.
constexpr bool SetLayoutsFitGroups() {
    for (const GroupPackets& row : kGroupPackets) {
        for (const SetSegment& segment : row.setLayout) {
            if (segment.groupByte >= 0 && segment.groupByte + segment.count >
                                              kSettingsGroups[static_cast<size_t>(row.groupNo - 1)].length) {
                return false;
            }
        }
    }
    return true;
}
static_assert(SetLayoutsFitGroups());

constexpr uint8_t kLinkCheckId = 0x1F;
constexpr uint8_t kLinkCheckReportId = 0x45;
constexpr uint8_t kAltitudeCancelByte = 0xFF;
constexpr int kCustomDatumParametersFirst = 3;  // g3..g42
constexpr int kCustomDatumParametersCount = 40;
constexpr int kMaxPacketLength = 64;  // the longest command is 44 bytes

const GroupPackets& PacketsOfGroup(int groupNo);

// The fields of a packet line in the trace: "id=8E sub=15 group=7 length=2 data=8E 15" (sub for
// the 8E/8F family, group 0 for a packet that carries none).
std::string TracePacketFields(const uint8_t* packet, int length, int groupNo);

// Packet builders behind the commands: each lays out the packet in `packet` (kMaxPacketLength
// bytes) and returns its length, 0 when nothing is to be sent.
int BuildLinkCheckPacket(uint8_t* packet);
int BuildRequestPacket(int groupNo, uint8_t* packet);
int BuildSetPacket(int groupNo, const uint8_t* group, uint8_t* packet);
int BuildRequestPortConfigurationPacket(uint8_t portSelector, uint8_t* packet);
int BuildSetPortConfigurationPacket(uint8_t portSelector, const uint8_t* record, uint8_t* packet);

// The control commands, fixed packets sent at fixed points of the configure procedure.
enum ControlCommandNo : int {
    kControlSaveSettings = 0,
    kControl1E,
    kControl32,
    kControl8EA6,
    kControl8E45,
    kControlCommandCount,
};
struct ControlCommand {
    const char* name;
    uint8_t length;
    std::array<uint8_t, 13> bytes;
};
inline constexpr std::array<ControlCommand, kControlCommandCount> kControlCommands = {{
    {"Save Settings", 2, {0x8E, 0x26}},
    {"Command 0x1E", 2, {0x1E, 0x4B}},
    {"Command 0x32", 13, {0x32}},  // three single-precision zeros
    {"Command 0x8E-A6", 3, {0x8E, 0xA6, 0x00}},
    {"Command 0x8E-45", 3, {0x8E, 0x45, 0x06}},
}};

void SendLinkCheck(int16_t commIndex);
// The Request command of a group (groups 5 and 6 send Request Port Configuration with selector 0 or 1).
void SendRequest(int groupNo, int16_t commIndex);
// The Set command of a group from the group's bytes (groups 5 and 6: Set Port Configuration with
// selector 0 or 1).
void SendSet(int groupNo, const uint8_t* group, int16_t commIndex);

void RequestPortConfiguration(uint8_t portSelector, int16_t commIndex);
void SetPortConfiguration(uint8_t portSelector, const uint8_t* record, int16_t commIndex);

void SendControlCommand(ControlCommandNo command, int16_t commIndex);
void SendSaveSettings(int16_t commIndex);  // 8E 26
void SendCommand1E(int16_t commIndex);     // 1E 4B
void SendCommand32(int16_t commIndex);     // 32 + three single-precision zeros
void SendCommand8EA6(int16_t commIndex);   // 8E A6 00
void SendCommand8E45(int16_t commIndex);   // 8E 45 06
