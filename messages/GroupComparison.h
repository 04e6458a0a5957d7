// Group Comparisons: a report read back from a configured receiver against the Settings Image,
// byte by byte and exactly (floating-point fields included), under per-byte bit masks.
#pragma once

#include <array>
#include <cstdint>

#include "settings/SettingsImage.h"

inline constexpr int kMaxGroupLength = [] {
    int longest = 0;
    for (const SettingsGroupInfo& group : kSettingsGroups)
        longest = group.length > longest ? group.length : longest;
    return longest;
}();

// Bits of group byte k that take part in the comparison: mask[k] (0: the byte is not compared).
using ComparisonMask = std::array<uint8_t, kMaxGroupLength>;

// The comparison rule of each group, indexed by group number − 1. Two rules have a condition:
// 2D Altitude is compared only when the image's g0 is 0 (the altitude form), and Datum uses
// kCustomDatumComparison when the received index is FF FF.
extern const std::array<ComparisonMask, kGroupCount> kComparisonMasks;
extern const ComparisonMask kCustomDatumComparison;

// The received group (r, the group's length; for 2D Altitude the 5-byte group built from report
// 4A) against group groupNo of the Settings Image: kGroupMatches or kGroupDiffers. The image is
// not changed.
uint8_t CompareGroup(int groupNo, const uint8_t* received);

// The mask the group's rule compares `received` with, or nullptr when the rule compares nothing
// (2D Altitude in the image's cancel form).
const ComparisonMask* ComparisonRule(int groupNo, const uint8_t* received);
