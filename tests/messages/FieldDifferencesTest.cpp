// The fields named as differing after a configure run: only where the group's comparison rule looks,
// with both values as show formats them, from the last report kept for the port.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "messages/FieldDifferences.h"
#include "messages/GroupComparison.h"
#include "settings/SettingsImage.h"

namespace {

std::vector<std::string> Names(const std::vector<FieldChange>& changes) {
    std::vector<std::string> names;
    for (const FieldChange& change : changes) names.push_back(change.field);
    return names;
}

}  // namespace

TEST(FieldDifferences, OnlyTheBitsTheRuleComparesAreListed) {
    SettingsImage.fill(0);
    uint8_t* image = SettingsGroupBytes(kGroupIOOptions);
    const std::array<uint8_t, 4> written = {0x12, 0x02, 0x01, 0x01};
    std::memcpy(image, written.data(), written.size());
    std::array<uint8_t, kMaxGroupLength> received{};
    std::memcpy(received.data(), written.data(), written.size());

    // Bit 6 of I/O Options byte 0 is outside the rule (mask 3F): no difference, a match.
    received[0] ^= 0x40;
    EXPECT_EQ(CompareGroup(kGroupIOOptions, received.data()), kGroupMatches);
    EXPECT_TRUE(DifferingFields(kGroupIOOptions, received.data()).empty());

    // Bit 1 is inside it: that one field, both values.
    received[0] ^= 0x02;
    EXPECT_EQ(CompareGroup(kGroupIOOptions, received.data()), kGroupDiffers);
    const std::vector<FieldChange> changes = DifferingFields(kGroupIOOptions, received.data());
    ASSERT_EQ(changes.size(), 1u) << ::testing::PrintToString(Names(changes));
    EXPECT_EQ(changes[0].group, kGroupIOOptions);
    EXPECT_NE(changes[0].written, changes[0].readBack);
    EXPECT_FALSE(FieldChangeLine(changes[0]).empty());
    SettingsImage.fill(0);
}

TEST(FieldDifferences, ThePortsLastReportIsKeptUntilForgotten) {
    SettingsImage.fill(0);
    std::array<uint8_t, kMaxGroupLength> received{};
    received[1] = 7;                                                  // NMEA interval
    EXPECT_TRUE(DifferingFieldsOfPort(4, kGroupNMEAOutput).empty());  // nothing arrived
    RememberReceivedGroup(4, kGroupNMEAOutput, received.data());
    EXPECT_FALSE(DifferingFieldsOfPort(4, kGroupNMEAOutput).empty());
    EXPECT_TRUE(DifferingFieldsOfPort(5, kGroupNMEAOutput).empty());  // another port
    ForgetReceivedGroups();
    EXPECT_TRUE(DifferingFieldsOfPort(4, kGroupNMEAOutput).empty());
    // Ports and groups outside the tables are ignored.
    RememberReceivedGroup(-1, kGroupNMEAOutput, received.data());
    RememberReceivedGroup(kPortContextCount, kGroupNMEAOutput, received.data());
    RememberReceivedGroup(0, kGroupCount + 1, received.data());
    EXPECT_TRUE(DifferingFieldsOfPort(kPortContextCount, 1).empty());
}
