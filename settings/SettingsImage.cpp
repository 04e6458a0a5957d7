#include "settings/SettingsImage.h"

namespace {
// The groups are numbered in order, lie end to end and fill the image exactly.
constexpr bool GroupsTileTheImage() {
    int next = 0;
    for (int i = 0; i < kGroupCount; ++i) {
        if (kSettingsGroups[i].number != i + 1 || kSettingsGroups[i].offset != next) return false;
        next += kSettingsGroups[i].length;
    }
    return next == kSettingsImageSize;
}
static_assert(GroupsTileTheImage());
}  // namespace

std::array<uint8_t, kSettingsImageSize> SettingsImage{};

const SettingsGroupInfo& SettingsGroup(int groupNo) {
    return kSettingsGroups.at(static_cast<size_t>(groupNo - 1));
}

uint8_t* SettingsGroupBytes(int groupNo) {
    return SettingsImage.data() + SettingsGroup(groupNo).offset;
}
