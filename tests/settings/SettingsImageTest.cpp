#include <gtest/gtest.h>

#include "settings/SettingsImage.h"

namespace {

TEST(SettingsImage, StartsZeroAndGroupsMapToTheirPlaces) {
    for (uint8_t byte : SettingsImage) EXPECT_EQ(byte, 0);
    EXPECT_EQ(SettingsGroupBytes(kGroupPortBConfiguration), SettingsImage.data() + 68);
    EXPECT_EQ(SettingsGroupBytes(kGroupSelfSurveyConfiguration) + SettingsGroup(13).length,
              SettingsImage.data() + kSettingsImageSize);
    EXPECT_STREQ(SettingsGroup(kGroupPacket8EA5Masks).name, "Packet 8E-A5 Masks");
    EXPECT_THROW(SettingsGroup(0), std::out_of_range);
    EXPECT_THROW(SettingsGroup(14), std::out_of_range);
}

}  // namespace
