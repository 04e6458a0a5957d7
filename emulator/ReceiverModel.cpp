#include "emulator/ReceiverModel.h"

#include <cstdio>

#include "bytes/ByteOrder.h"

namespace {

// The GPS Configuration set command's fields (offset, width): a field sent as all FF is left as it is.
struct Field {
    int offset;
    int width;
};
constexpr std::array<Field, 9> kGpsFields = {
    {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {5, 4}, {9, 4}, {13, 4}, {17, 4}, {21, 1}}};
constexpr int kGpsCarriedStart = 22;  // then one-byte fields up to 42

constexpr int kDatumCount = 180;
constexpr int kAltitudeFlagOffset = 8;  // 4A 9-byte form: 1 while the altitude is held

}  // namespace

namespace {

// The position and tracking groups: altitude, I/O options, NMEA output, GPS configuration.
void FactoryFixGroups(ReceiverSettings& s) {
    uint8_t* g = s.Group(kGroup2DAltitude);  // 4A, 9-byte form: altitude, reserved single, hold flag
    PutSingleBE(35.0f, g);
    PutSingleBE(1.0f, g + 4);
    g[kAltitudeFlagOffset] = 1;

    g = s.Group(kGroupIOOptions);  // LLA double precision, ENU velocity, UTC time tags, raw data
    g[0] = 0x12;
    g[1] = 0x02;
    g[2] = 0x01;
    g[3] = 0x01;

    g = s.Group(kGroupNMEAOutput);  // every second, GGA and ZDA
    g[1] = 1;
    PutU32BE(0x00000021, g + 2);

    g = s.Group(kGroupGPSConfiguration);  // over-determined clock, DGPS auto, stationary
    g[1] = 7;
    g[2] = 3;
    g[3] = 4;
    g[4] = 1;
    PutSingleBE(0.17453292f, g + 5);  // 10 degrees
    PutSingleBE(4.0f, g + 9);
    PutSingleBE(12.0f, g + 13);
    PutSingleBE(8.0f, g + 17);
    g[21] = 30;
    for (int i = kGpsCarriedStart; i < 43; ++i) g[i] = static_cast<uint8_t>(0x0B + i - kGpsCarriedStart);
}

// Ports A and B and the datum.
void FactoryPortGroups(ReceiverSettings& s, const PortLine& portB) {
    uint8_t* g = s.Group(kGroupPortAConfiguration);  // 4800 8N1, RTCM in, NMEA out
    g[kPortRecordReceiverPort] = 0;
    PortRecordFromLine(PortLine{4800, 8, 0, 1}, g);
    g[kPortRecordInputProtocol] = kProtocolRtcm;
    g[kPortRecordOutputProtocol] = kProtocolNmea;

    g = s.Group(kGroupPortBConfiguration);  // the given line (9600 8N1 if it has no codes), KIRP both ways
    g[kPortRecordReceiverPort] = 1;
    if (!PortRecordFromLine(portB, g)) PortRecordFromLine(PortLine{}, g);
    g[kPortRecordInputProtocol] = kProtocolKirp;
    g[kPortRecordOutputProtocol] = kProtocolKirp;

    g = s.Group(kGroupDatum);  // WGS-84, with its ellipsoid
    g[0] = 0x15;
    PutU16BE(0, g + 1);
    PutDoubleBE(0.0, g + 3);
    PutDoubleBE(0.0, g + 11);
    PutDoubleBE(0.0, g + 19);
    PutDoubleBE(6378137.0, g + 27);
    PutDoubleBE(0.00669437999014, g + 35);
}

// The timing outputs, automatic packets and self-survey.
void FactoryTimingGroups(ReceiverSettings& s) {
    uint8_t* g = s.Group(kGroupTimingOutputSettings);  // enabled, UTC, positive, no offset, 300 m
    g[0] = 0x4A;
    g[1] = 1;
    g[2] = 1;
    g[3] = 0;
    PutDoubleBE(0.0, g + 4);
    PutSingleBE(300.0f, g + 12);

    g = s.Group(kGroupPortBAutomaticOutput);  // packets 40 and 4F
    g[0] = 0x4D;
    PutU32BE(0x00000005, g + 1);

    g = s.Group(kGroupTimingOutputOptions);  // PPS when tracking at least one satellite
    g[0] = 0x4E;
    g[1] = 3;

    g = s.Group(kGroupPPSWidth);  // 10 microseconds
    g[0] = 0x4F;
    PutDoubleBE(1.0e-5, g + 1);

    g = s.Group(kGroupPacket8EA5Masks);
    g[0] = 0xA5;
    g[1] = 0x08;
    g[2] = 0x21;
    g[3] = 0x03;
    g[4] = 0x05;

    g = s.Group(kGroupSelfSurveyConfiguration);  // survey on, 2000 fixes, position not saved
    g[0] = 0xA9;
    g[1] = 1;
    g[2] = 0;
    PutU32BE(2000, g + 3);
    g[7] = 0x0A;
    g[8] = 0x1B;
    g[9] = 0x2C;
    g[10] = 0x3D;
}

}  // namespace

ReceiverSettings FactoryReceiverSettings(const PortLine& portB) {
    ReceiverSettings s;
    FactoryFixGroups(s);
    FactoryPortGroups(s, portB);
    FactoryTimingGroups(s);
    return s;
}

std::string BreakReplyText(const PortLine& portB) {
    // Fields after the first ';': port name, port number, port state, baud, data bits, stop bits,
    // parity, flow control; then the input and output protocols, each ended by ';'.
    const std::string line = PortLineText(portB);  // BAUD,DATA,PARITY,STOP
    const char parity = line[line.size() - 3] == '?' ? 'N' : line[line.size() - 3];
    return "PRPT;B,1,0," + std::to_string(portB.baudRate) + "," + std::to_string(portB.dataBits) + "," +
           std::to_string(portB.stopBits) + "," + parity + ",0,KIRP;KIRP;\r\n";
}

ReceiverModel::ReceiverModel(const PortLine& portB)
    : current_(FactoryReceiverSettings(portB)), saved_(current_) {}

PortLine ReceiverModel::PortB() const {
    PortLine line;
    PortLineFromRecord(current_.Group(kGroupPortBConfiguration), line);
    return line;
}

ModelPacket ReceiverModel::Report(int groupNo) const {
    const ReceiverGroup& group = kReceiverGroups[static_cast<size_t>(groupNo - 1)];
    const uint8_t* bytes = current_.Group(groupNo);
    ModelPacket packet;
    packet.id = group.reportId;
    packet.payload.assign(bytes, bytes + group.reportLength);
    if (faults.differ[static_cast<size_t>(groupNo)])
        packet.payload[static_cast<size_t>(group.differOffset)] ^= 0x01;
    return packet;
}

std::vector<ModelPacket> ReceiverModel::AutoOutput(uint32_t secondCount) const {
    std::vector<ModelPacket> burst(3);
    // 4A, 20-byte form: latitude, longitude (radians), altitude, clock bias, time of fix.
    burst[0].id = 0x4A;
    burst[0].payload.assign(20, 0);
    PutSingleBE(0.8901179f, burst[0].payload.data());
    PutSingleBE(0.1745329f, burst[0].payload.data() + 4);
    PutSingleBE(GetSingleBE(current_.Group(kGroup2DAltitude)), burst[0].payload.data() + 8);
    PutSingleBE(12.5f, burst[0].payload.data() + 12);
    PutSingleBE(static_cast<float>(secondCount % 604800), burst[0].payload.data() + 16);
    // 8F-AB primary timing: time of week, week, UTC offset, flags, then the date and time.
    burst[1].id = 0x8F;
    burst[1].payload.assign(17, 0);
    burst[1].payload[0] = 0xAB;
    PutU32BE(secondCount % 604800, burst[1].payload.data() + 1);
    PutU16BE(2300, burst[1].payload.data() + 5);
    PutU16BE(18, burst[1].payload.data() + 7);
    burst[1].payload[9] = 0x03;
    // 8F-AC supplemental timing: receiver state and clock estimates.
    burst[2].id = 0x8F;
    burst[2].payload.assign(68, 0);
    burst[2].payload[0] = 0xAC;
    burst[2].payload[1] = 7;
    burst[2].payload[3] = 100;
    return burst;
}

void ReceiverModel::Handle(uint8_t id, const uint8_t* payload, int length, ModelResult& result) {
    const uint8_t first = length > 0 ? payload[0] : 0;
    if (id == 0x1F) {
        // Software version: application 3.02 of 15 June 2024, core 2.01 of 18 November 2024.
        result.replies.push_back({0x45, {3, 2, 15, 6, 24, 2, 1, 11, 18, 24}});
        result.note = "link check";
        return;
    }
    if (id == 0x1E) {
        if (length == 1 && first == 0x4B) {
            result.resetRequested = true;
            result.note = "reset";
        } else {
            result.note = "ignored";
        }
        return;
    }
    if (id == 0x32) {
        result.note = "accepted: position and survey restart";
        return;
    }
    if (id == 0x8E && length >= 1) {
        if (first == 0x26) {
            if (faults.noSave) {
                result.note = "save refused (fault)";
            } else {
                saved_ = current_;
                result.note = "settings saved";
            }
            return;
        }
        if (first == 0xA6 || first == 0x45) {
            result.note = first == 0xA6 ? "accepted: self-survey command" : "accepted: 8E-45";
            return;
        }
    }
    for (const ReceiverGroup& group : kReceiverGroups) {
        if (group.commandId != id) continue;
        if (group.selector >= 0 && (length < 1 || first != group.selector)) continue;
        if (HandleGroupCommand(group, payload, length, result)) return;
    }
    if (result.note.empty()) result.note = "ignored";
}

bool ReceiverModel::HandleGroupCommand(const ReceiverGroup& group, const uint8_t* payload, int length,
                                       ModelResult& result) {
    const std::string name = kSettingsGroups[static_cast<size_t>(group.groupNo - 1)].name;
    if (faults.ignore[static_cast<size_t>(group.groupNo)]) {
        result.note = name + ": ignored (fault)";
        return true;
    }
    const int selectorLength = group.selector >= 0 ? 1 : 0;
    if (length == selectorLength) {
        result.replies.push_back(Report(group.groupNo));
        result.note = name + ": reported";
        return true;
    }
    if (ApplySet(group, payload, length, result)) {
        result.note = name + ": set";
    } else {
        result.note = name + ": set refused";
    }
    return true;
}

bool ReceiverModel::ApplySet(const ReceiverGroup& group, const uint8_t* payload, int length,
                             ModelResult& result) {
    uint8_t* g = current_.Group(group.groupNo);
    switch (group.groupNo) {
        case kGroup2DAltitude:
            if (length == 4) {
                std::copy(payload, payload + 4, g);
                g[kAltitudeFlagOffset] = 1;
                return true;
            }
            if (length == 1 && payload[0] == 0xFF) {
                g[kAltitudeFlagOffset] = 0;  // the altitude is no longer held; the last one is still reported
                return true;
            }
            return false;
        case kGroupGPSConfiguration:
            if (length != group.setLength) return false;
            for (const Field& field : kGpsFields) {
                bool allFF = true;
                for (int i = 0; i < field.width; ++i) allFF = allFF && payload[field.offset + i] == 0xFF;
                if (!allFF)
                    std::copy(payload + field.offset, payload + field.offset + field.width, g + field.offset);
            }
            for (int i = kGpsCarriedStart; i < group.setLength; ++i) {
                if (payload[i] != 0xFF) g[i] = payload[i];
            }
            return true;
        case kGroupDatum:
            if (length == 3) {
                const int16_t index = static_cast<int16_t>(GetU16BE(payload + 1));
                if (index < 0 || index >= kDatumCount) return false;
                // A listed datum: the index changes, the parameters reported beside it stay.
                PutU16BE(static_cast<uint16_t>(index), g + 1);
                return true;
            }
            if (length == group.setLength) {
                PutU16BE(0xFFFF, g + 1);  // custom datum
                std::copy(payload + 1, payload + 41, g + 3);
                return true;
            }
            return false;
        case kGroupPortAConfiguration:
        case kGroupPortBConfiguration: {
            if (length != group.setLength) return false;
            // Port B carries the link to the PC and cannot be switched off.
            const uint8_t lowestBaud = group.groupNo == kGroupPortBConfiguration ? 1 : 0;
            if (payload[1] < lowestBaud || payload[1] > 9 || payload[2] < lowestBaud || payload[2] > 9 ||
                payload[3] < 2 || payload[3] > 3 || payload[4] > 2 || payload[5] > 1) {
                return false;
            }
            break;
        }
        default:
            if (length != group.setLength) return false;
            break;
    }
    for (int i = 0; i < group.setLength; ++i) {
        if ((group.keepOwn >> i & 1u) == 0) g[i] = payload[i];
    }
    if (group.groupNo == kGroupPortBConfiguration) result.portBChanged = true;
    return true;
}

std::string PacketHex(uint8_t id, const uint8_t* payload, int length) {
    std::string text;
    text.reserve(static_cast<size_t>(length + 1) * 3);
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", id);
    text += hex;
    for (int i = 0; i < length; ++i) {
        std::snprintf(hex, sizeof hex, " %02X", payload[i]);
        text += hex;
    }
    return text;
}
