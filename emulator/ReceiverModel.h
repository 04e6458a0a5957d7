// The emulated receiver's settings and what it does with each packet it receives. No I/O here:
// the line (pty or network port) is in EmulatedReceiver.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "link/PortConfiguration.h"
#include "settings/SettingsImage.h"

constexpr int kMaxReportLength = 43;

// One settings group as the receiver knows it: the command that requests or sets it, the report
// that carries it, and how a set is applied.
struct ReceiverGroup {
    int groupNo;        // 1..13, Settings Image order
    uint8_t commandId;  // request and set commands
    int16_t selector;   // first payload byte of request and set (subcode or port), −1: none
    uint8_t reportId;
    int reportLength;  // payload bytes of the report (4A: its 9-byte form)
    int setLength;     // payload bytes of the set command (selector included)
    uint64_t keepOwn;  // report bytes (bit n = byte n) that a set leaves as they are
    int differOffset;  // report byte changed by the --differ fault
};

constexpr uint64_t ReportBytes(std::initializer_list<int> positions) {
    uint64_t mask = 0;
    for (const int position : positions) mask |= uint64_t{1} << position;
    return mask;
}

// Indexed by group number − 1. Groups 1 (altitude forms), 4 (FF fields) and 7 (index or custom
// datum) have their own set rules besides these entries.
inline constexpr std::array<ReceiverGroup, kGroupCount> kReceiverGroups = {{
    {1, 0x2A, -1, 0x4A, 9, 4, 0, 3},
    {2, 0x35, -1, 0x55, 4, 4, 0, 0},
    {3, 0x7A, 0x00, 0x7B, 6, 6, 0, 1},
    {4, 0xBB, 0x00, 0xBB, 43, 43, 0, 6},
    {5, 0xBC, 0x00, 0xBC, 10, 10, ReportBytes({6, 9}), 7},
    {6, 0xBC, 0x01, 0xBC, 10, 10, ReportBytes({6, 9}), 7},
    {7, 0x8E, 0x15, 0x8F, 43, 41, 0, 2},
    {8, 0x8E, 0x4A, 0x8F, 16, 16, 0, 1},
    {9, 0x8E, 0x4D, 0x8F, 5, 5, 0, 4},
    {10, 0x8E, 0x4E, 0x8F, 2, 2, 0, 1},
    {11, 0x8E, 0x4F, 0x8F, 9, 9, 0, 8},
    {12, 0x8E, 0xA5, 0x8F, 5, 5, ReportBytes({3, 4}), 1},
    {13, 0x8E, 0xA9, 0x8F, 11, 11, ReportBytes({7, 8, 9, 10}), 6},
}};

// Every report but 4A carries its group byte for byte; each --differ byte lies in the report.
constexpr bool ReceiverGroupsConsistent() {
    for (size_t i = 0; i < kReceiverGroups.size(); ++i) {
        const ReceiverGroup& group = kReceiverGroups[i];
        if (group.groupNo != static_cast<int>(i) + 1 || group.reportLength > kMaxReportLength) return false;
        if (group.groupNo != kGroup2DAltitude && group.reportLength != kSettingsGroups[i].length)
            return false;
        if (group.differOffset >= group.reportLength) return false;
    }
    return true;
}
static_assert(ReceiverGroupsConsistent());

// The thirteen groups in report form (the payload of each report).
struct ReceiverSettings {
    std::array<std::array<uint8_t, kMaxReportLength>, kGroupCount> groups{};

    uint8_t* Group(int groupNo) { return groups[static_cast<size_t>(groupNo - 1)].data(); }
    const uint8_t* Group(int groupNo) const { return groups[static_cast<size_t>(groupNo - 1)].data(); }
    bool operator==(const ReceiverSettings&) const = default;
};

// The factory settings, with Port B on the given line.
ReceiverSettings FactoryReceiverSettings(const PortLine& portB);
// The break reply text ("PR...") telling the Port B settings.
std::string BreakReplyText(const PortLine& portB);

struct ReceiverFaults {
    std::array<bool, kGroupCount + 1> ignore{};  // by group number: requests and sets are not acted on
    std::array<bool, kGroupCount + 1> differ{};  // by group number: the report shows another value
    bool noSave = false;                         // 8E-26 does nothing
};

struct ModelPacket {
    uint8_t id = 0;
    std::vector<uint8_t> payload;
};

struct ModelResult {
    std::vector<ModelPacket> replies;
    bool portBChanged = false;    // the line must switch to PortB() now
    bool resetRequested = false;  // 1E 4B: go silent, then come back on the saved copy
    std::string note;             // what was done, for the log
};

class ReceiverModel {
  public:
    explicit ReceiverModel(const PortLine& portB);

    // Acts on one received packet (id, payload) as a receiver would.
    void Handle(uint8_t id, const uint8_t* payload, int length, ModelResult& result);
    // The report that carries the group, as the receiver sends it (the --differ fault applied).
    ModelPacket Report(int groupNo) const;
    // One burst of unsolicited output: 4A in its 20-byte form and 8F reports the program ignores.
    std::vector<ModelPacket> AutoOutput(uint32_t secondCount) const;
    // The end of a reset: the settings come back from the non-volatile copy.
    void RestoreSaved() { current_ = saved_; }

    PortLine PortB() const;
    const ReceiverSettings& Current() const { return current_; }
    const ReceiverSettings& Saved() const { return saved_; }
    void SetCurrent(const ReceiverSettings& settings) { current_ = settings; }
    // Both the settings in use and the saved copy, as a receiver that was set up and saved.
    void StartFrom(const ReceiverSettings& settings) { current_ = saved_ = settings; }
    ReceiverFaults faults;

  private:
    bool HandleGroupCommand(const ReceiverGroup& group, const uint8_t* payload, int length,
                            ModelResult& result);
    bool ApplySet(const ReceiverGroup& group, const uint8_t* payload, int length, ModelResult& result);

    ReceiverSettings current_;
    ReceiverSettings saved_;
};

// Packet id and payload as hex ("8F 15 00 ..."), for the log.
std::string PacketHex(uint8_t id, const uint8_t* payload, int length);
