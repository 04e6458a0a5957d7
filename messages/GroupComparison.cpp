#include "messages/GroupComparison.h"

#include "link/PortContext.h"

namespace {

struct MaskRange {
    int first;
    int last;
    uint8_t bits;
};

template <size_t N>
constexpr ComparisonMask MaskOf(const MaskRange (&ranges)[N]) {
    ComparisonMask mask{};
    for (const MaskRange& range : ranges) {
        for (int k = range.first; k <= range.last; ++k) mask[static_cast<size_t>(k)] = range.bits;
    }
    return mask;
}

// Port B Automatic Output compares bits 0-5, 8, 11, 30 and 31 of the big-endian 32-bit mask in r1-r4.
constexpr uint32_t kAutomaticOutputBits = 0x3Fu | (1u << 8) | (1u << 11) | (1u << 30) | (1u << 31);
constexpr uint8_t AutomaticOutputByte(int k) {  // k = 1..4, most significant first
    return static_cast<uint8_t>(kAutomaticOutputBits >> (8 * (4 - k)));
}

}  // namespace

const std::array<ComparisonMask, kGroupCount> kComparisonMasks = {{
    MaskOf({{1, 4, 0xFF}}),                                                // 1 2D Altitude
    MaskOf({{0, 0, 0x3F}, {1, 1, 0x03}, {2, 2, 0x1F}, {3, 3, 0x03}}),      // 2 I/O Options
    MaskOf({{1, 5, 0xFF}}),                                                // 3 NMEA Output
    MaskOf({{1, 3, 0xFF}, {6, 6, 0xFF}, {15, 30, 0xFF}, {35, 35, 0xFF}}),  // 4 GPS Configuration
    MaskOf({{1, 5, 0xFF}, {7, 8, 0xFF}}),                                  // 5 Port A Configuration
    MaskOf({{1, 5, 0xFF}, {7, 8, 0xFF}}),                                  // 6 Port B Configuration
    MaskOf({{1, 2, 0xFF}}),                                                // 7 Datum, listed index
    MaskOf({{1, 15, 0xFF}}),                                               // 8 Timing Output Settings
    MaskOf({{1, 1, AutomaticOutputByte(1)},
            {2, 2, AutomaticOutputByte(2)},  // 9 Port B Automatic Output
            {3, 3, AutomaticOutputByte(3)},
            {4, 4, AutomaticOutputByte(4)}}),
    MaskOf({{1, 1, 0xFF}}),                // 10 Timing Output Options
    MaskOf({{1, 8, 0xFF}}),                // 11 PPS Width
    MaskOf({{1, 1, 0x33}, {2, 2, 0x01}}),  // 12 Packet 8E-A5 Masks
    MaskOf({{1, 6, 0xFF}}),                // 13 Self Survey Configuration
}};

const ComparisonMask kCustomDatumComparison = MaskOf({{1, 42, 0xFF}});

static_assert(AutomaticOutputByte(1) == 0xC0 && AutomaticOutputByte(2) == 0x00 &&
              AutomaticOutputByte(3) == 0x09 && AutomaticOutputByte(4) == 0x3F);

const ComparisonMask* ComparisonRule(int groupNo, const uint8_t* received) {
    if (groupNo < 1 || groupNo > kGroupCount) return nullptr;
    // A 2D Altitude group in the cancel form (or neither form) matches without comparison.
    if (groupNo == kGroup2DAltitude && SettingsGroupBytes(groupNo)[0] != 0) return nullptr;
    // The datum rule looks at the index the receiver reports, not at the image's.
    const bool customDatum = groupNo == kGroupDatum && received[1] == 0xFF && received[2] == 0xFF;
    return customDatum ? &kCustomDatumComparison : &kComparisonMasks[static_cast<size_t>(groupNo - 1)];
}

uint8_t CompareGroup(int groupNo, const uint8_t* received) {
    if (groupNo < 1 || groupNo > kGroupCount) return kGroupDiffers;
    const uint8_t* image = SettingsGroupBytes(groupNo);
    const ComparisonMask* rule = ComparisonRule(groupNo, received);
    if (rule == nullptr) return kGroupMatches;
    const ComparisonMask& mask = *rule;
    const int length = kSettingsGroups[static_cast<size_t>(groupNo - 1)].length;
    uint8_t difference = 0;
    for (int k = 0; k < length; ++k) {
        difference |= static_cast<uint8_t>((received[k] ^ image[k]) & mask[static_cast<size_t>(k)]);
    }
    return difference == 0 ? kGroupMatches : kGroupDiffers;
}
