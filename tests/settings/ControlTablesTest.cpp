// The control tables against the values the window must show and store, written out here by hand.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "settings/SettingsControls.h"

namespace {

const ComboBoxBinding& Combo(const std::string& name) {
    for (const auto& combo : kComboBoxBindings)
        if (name == combo.control) return combo;
    throw std::out_of_range(name);
}

uint8_t NoSelectionCode(const std::string& name) {
    return static_cast<uint8_t>(CodeForItem(Combo(name).rule, -1));
}

TEST(ControlTables, NoSelectionStoresTheCodeThatMinusOneGives) {
    EXPECT_EQ(NoSelectionCode("ComboBox_RMode"), 0xFF);
    EXPECT_EQ(NoSelectionCode("ComboBox_DifMode"), 0xFF);
    EXPECT_EQ(NoSelectionCode("ComboBox_DCode"), 0);
    EXPECT_EQ(NoSelectionCode("ComboBox_TMode"), 0);
    EXPECT_EQ(NoSelectionCode("ComboBox_BaudRateA"), 0xFF);
    EXPECT_EQ(NoSelectionCode("ComboBox_DataBitsB"), 2);
    EXPECT_EQ(NoSelectionCode("ComboBox_ParityA"), 0xFF);
    EXPECT_EQ(NoSelectionCode("ComboBox_StopBitsB"), 0xFF);
    EXPECT_EQ(NoSelectionCode("ComboBox_InProtocolA"), 0xFE);
    EXPECT_EQ(NoSelectionCode("ComboBox_InProtocolB"), 0xFE);
    EXPECT_EQ(NoSelectionCode("ComboBox_OutProtocolA"), 0xFE);
    EXPECT_EQ(NoSelectionCode("ComboBox_Switch"), 0xFF);
    EXPECT_EQ(CodeForItem(Combo("ComboBox_Datum").rule, -1), -2);
}

TEST(ControlTables, CodeRulesMapItemsToTheirCodes) {
    EXPECT_EQ(CodeForItem(Combo("ComboBox_RMode").rule, 2), 3);  // "Horizontal (2D)"
    EXPECT_EQ(CodeForItem(Combo("ComboBox_RMode").rule, 6), 7);  // "Over-determined clock"
    EXPECT_EQ(CodeForItem(Combo("ComboBox_RMode").rule, 1), 1);
    EXPECT_EQ(ItemForCode(Combo("ComboBox_RMode").rule, 2), 1);    // "Time only (1 SV)"
    EXPECT_EQ(CodeForItem(Combo("ComboBox_DifMode").rule, 2), 3);  // "DGPS auto"
    EXPECT_EQ(ItemForCode(Combo("ComboBox_DifMode").rule, 2), 2);
    EXPECT_EQ(CodeForItem(Combo("ComboBox_InProtocolA").rule, 2), 8);  // "RTCM"
    EXPECT_EQ(ItemForCode(Combo("ComboBox_InProtocolA").rule, 8), 2);
    EXPECT_EQ(ItemForCode(Combo("ComboBox_InProtocolB").rule, 8), 4);   // beyond the list: nothing shown
    EXPECT_EQ(CodeForItem(Combo("ComboBox_OutProtocolB").rule, 2), 4);  // "NMEA"
    EXPECT_EQ(CodeForItem(Combo("ComboBox_DataBitsA").rule, 0), 3);
    EXPECT_EQ(CodeForItem(Combo("ComboBox_DCode").rule, 3), 4);  // "Stationary"
}

TEST(ControlTables, EveryControlHasItsBoxAndTheBoxesTheirPages) {
    std::set<std::string> boxes;
    for (const auto& box : kSettingsBoxes) boxes.insert(box.name);
    EXPECT_EQ(boxes.size(), 17u);
    for (const auto& b : kCheckBoxBindings) EXPECT_TRUE(boxes.count(b.box)) << b.control;
    for (const auto& b : kRadioButtonBindings) EXPECT_TRUE(boxes.count(b.box)) << b.control;
    for (const auto& b : kComboBoxBindings) EXPECT_TRUE(boxes.count(b.box)) << b.control;
    for (const auto& b : kEditBindings) EXPECT_TRUE(boxes.count(b.box)) << b.control;
    EXPECT_EQ(kCheckBoxBindings.size() + kRadioButtonBindings.size() + kComboBoxBindings.size() +
                  kEditBindings.size(),
              46u + 5u + 20u + 16u);
}

TEST(ControlTables, MaskBitsLieInTheirBigEndianBytes) {
    for (const auto& b : kCheckBoxBindings) {
        const MaskBitPosition p = BitPosition(b);
        if (std::string(b.control) == "CheckBox_Bit30") {
            EXPECT_EQ(p.byte, 1);  // the top byte of the mask at offset 1
            EXPECT_EQ(p.mask, 0x40);
        }
        if (std::string(b.control) == "CheckBox_RMC") {
            EXPECT_EQ(p.byte, 4);
            EXPECT_EQ(p.mask, 0x01);
        }
        if (std::string(b.control) == "CheckBox_AuxDoppler") {
            EXPECT_EQ(p.byte, 3);
            EXPECT_EQ(p.mask, 0x02);
        }
    }
}

TEST(DatumList, HoldsCustomThenTheListedDatumsByPosition) {
    ASSERT_EQ(kDatumItems.size(), 181u);
    EXPECT_STREQ(kDatumItems[0], "Custom");
    EXPECT_STREQ(kDatumItems[1], "WGS-84");
    EXPECT_STREQ(kDatumItems[5], "European");  // index 4
    EXPECT_STREQ(kDatumItems[6], "Australian");
    EXPECT_STREQ(kDatumItems[14], "European");  // index 13, a datum of its own
    EXPECT_STREQ(kDatumItems[122], "Old Hawaiian");
    EXPECT_STREQ(kDatumItems[123], "Old Hawaiian");
    EXPECT_STREQ(kDatumItems[124], "Old Hawaiian");
    EXPECT_STREQ(kDatumItems[128], "OSB-Ilse of Man");
    EXPECT_STREQ(kDatumItems[178], "Tananarive Obser. 1925");
    EXPECT_STREQ(kDatumItems[180], "Tokyo GSI coords");
}

}  // namespace
