// The datum box: ComboBox_DatumChange and the five custom parameter edits.
#include <gtest/gtest.h>

#include <array>

#include "FakeSettingsView.h"
#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/Datum.h"
#include "settings/Display.h"

namespace {

class DatumBox : public SettingsViewTest {
  protected:
    // The operator picks an item: the window selects it and raises the change with the combo box as sender.
    void Pick(int item) {
        view.SetItemIndex("ComboBox_Datum", item);
        ComboBox_DatumChange(true);
    }
    void TypeParameters() {
        for (const char* edit : kCustomDatumEdits) view.SetText(edit, "1.5");
    }
    void ExpectEdits(bool enabled, const char* text) {
        for (const char* edit : kCustomDatumEdits) {
            EXPECT_EQ(view.Enabled(edit), enabled) << edit;
            EXPECT_EQ(view.Text(edit), text) << edit;
        }
        EXPECT_EQ(CustomDatumEditsEnabled, enabled);
    }
    static std::array<uint8_t, 43> Group(int16_t index) {
        std::array<uint8_t, 43> group{0x15};
        PutU16BE(static_cast<uint16_t>(index), group.data() + 1);
        for (int i = 0; i < 5; ++i) PutDoubleBE(10.0 * (i + 1), group.data() + 3 + 8 * i);
        return group;
    }
};

TEST_F(DatumBox, AtStartNothingIsSelectedAndTheEditsAreDisabledAndEmpty) {
    EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), -1);
    ExpectEdits(false, "");
}

TEST_F(DatumBox, PickingCustomEnablesAndEmptiesTheEdits) {
    ShowDatum(Group(0).data());  // texts in the disabled edits
    Pick(0);
    ExpectEdits(true, "");
}

TEST_F(DatumBox, ASaveRightAfterPickingCustomFailsOnTheEmptyDX) {
    view.SetText("Edit_NMEAInterval", "1");
    for (const char* edit : {"Edit_EMask", "Edit_SMask", "Edit_PMask", "Edit_PSwitch", "Edit_DGPSAge"})
        view.SetText(edit, "0");
    Pick(0);
    try {
        CaptureSettings();
        FAIL() << "no conversion error";
    } catch (const ConversionError& error) {
        EXPECT_STREQ(error.what(), "'' is not a valid floating point value");
    }
}

TEST_F(DatumBox, TypedParametersAreGoneAfterPickingAnotherDatumAndCustomAgain) {
    Pick(0);
    TypeParameters();
    Pick(1);  // "WGS-84"
    ExpectEdits(false, "");
    Pick(0);
    ExpectEdits(true, "");
}

TEST_F(DatumBox, PickingTheSameItemAgainStillEmptiesTheTexts) {
    Pick(3);
    ShowDatum(Group(2).data());
    EXPECT_EQ(view.Text("Edit_DX"), "10.0");
    Pick(3);
    ExpectEdits(false, "");
}

TEST_F(DatumBox, AListedDatumFromAReceiverShowsItsParametersDisabledAndCaptureZeroesThem) {
    ShowDatum(Group(5).data());
    EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), 6);
    EXPECT_STREQ(kDatumItems[6], "Australian");
    EXPECT_EQ(view.Text("Edit_DX"), "10.0");
    EXPECT_EQ(view.Text("Edit_Eccentricity"), "50.00000000000000");
    for (const char* edit : kCustomDatumEdits) EXPECT_FALSE(view.Enabled(edit)) << edit;
    // The image keeps the parameters the group carried.
    EXPECT_EQ(GetDoubleBE(SettingsGroupBytes(kGroupDatum) + 3), 10.0);

    view.SetText("Edit_NMEAInterval", "1");
    for (const char* edit : {"Edit_EMask", "Edit_SMask", "Edit_PMask", "Edit_PSwitch", "Edit_DGPSAge"})
        view.SetText(edit, "0");
    CaptureSettings();
    const uint8_t* g = SettingsGroupBytes(kGroupDatum);
    EXPECT_EQ(GetU16BE(g + 1), 5);
    for (int i = 3; i < 43; ++i) EXPECT_EQ(g[i], 0) << i;
}

TEST_F(DatumBox, CustomFromAGroupEnablesWithoutEmptying) {
    ShowDatum(Group(-1).data());
    EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), 0);
    for (const char* edit : kCustomDatumEdits) EXPECT_TRUE(view.Enabled(edit)) << edit;
    EXPECT_EQ(view.Text("Edit_DX"), "10.0");
    EXPECT_EQ(view.Text("Edit_DY"), "20.0");
    EXPECT_EQ(view.Text("Edit_DZ"), "30.0");
    EXPECT_EQ(view.Text("Edit_A_Axis"), "40.000");
    EXPECT_EQ(view.Text("Edit_Eccentricity"), "50.00000000000000");
}

TEST_F(DatumBox, IndicesOutsideTheListSelectNothingAndDisable) {
    for (int16_t index : {int16_t{180}, int16_t{-2}, int16_t{32767}, int16_t{-32768}}) {
        ShowDatum(Group(-1).data());
        ASSERT_TRUE(CustomDatumEditsEnabled);
        ShowDatum(Group(index).data());
        EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), -1) << index;
        for (const char* edit : kCustomDatumEdits) EXPECT_FALSE(view.Enabled(edit)) << edit;
        EXPECT_FALSE(CustomDatumEditsEnabled);
    }
    ShowDatum(Group(179).data());
    EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), 180);  // the last datum, "Tokyo GSI coords"
}

TEST_F(DatumBox, TheRuleActsOnlyOnAChangeOfState) {
    // The flag says enabled: a second "Custom" does not enable again, so edits that something else
    // disabled stay as they are (nothing else does in the program; this shows the flag decides).
    Pick(0);
    DisableCustomDatumEdits();
    view.SetText("Edit_DX", "7");
    ComboBox_DatumChange(false);
    EXPECT_FALSE(view.Enabled("Edit_DX"));
    EXPECT_EQ(view.Text("Edit_DX"), "7");
    EXPECT_TRUE(CustomDatumEditsEnabled);
}

TEST_F(DatumBox, EnableAndDisableActOnAllFive) {
    EnableCustomDatumEdits();
    for (const char* edit : kCustomDatumEdits) EXPECT_TRUE(view.Enabled(edit)) << edit;
    DisableCustomDatumEdits();
    for (const char* edit : kCustomDatumEdits) EXPECT_FALSE(view.Enabled(edit)) << edit;
}

}  // namespace
