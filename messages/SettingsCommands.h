// Settings Commands: every packet sent to a receiver. Each lays out its packet (id first) in a
// local buffer and makes one PacketSend to Port Context commIndex (0..19), or none. No command
// waits for or checks a reply.
#pragma once

#include <cstdint>

// The packet identities of one Settings Group, from which its request, its set command and the
// report that carries it are all derived.
struct GroupPackets {
    int groupNo;          // 1..13
    uint8_t requestId;    // packet id of the request and set commands
    int16_t subcode;      // request/set subcode byte (−1: none)
    uint8_t reportId;     // id of the report that carries the group
    int16_t reportKey;    // report payload byte 0 that selects the group (subcode or port), −1: none
};

const GroupPackets& PacketsOfGroup(int groupNo);

void SendLinkCheck(int16_t commIndex);
// The Request command of a group (groups 5 and 6 send Request Port Configuration with selector 0 or 1).
void SendRequest(int groupNo, int16_t commIndex);
// The Set command of a group from the group's bytes (groups 5 and 6: Set Port Configuration with
// selector 0 or 1).
void SendSet(int groupNo, const uint8_t* group, int16_t commIndex);

void RequestPortConfiguration(uint8_t portSelector, int16_t commIndex);
void SetPortConfiguration(uint8_t portSelector, const uint8_t* record, int16_t commIndex);

void SendSaveSettings(int16_t commIndex);   // 8E 26
void SendCommand1E(int16_t commIndex);      // 1E 4B
void SendCommand32(int16_t commIndex);      // 32 + three single-precision zeros
void SendCommand8EA6(int16_t commIndex);    // 8E A6 00
void SendCommand8E45(int16_t commIndex);    // 8E 45 06
