// CaptureSettings: every control read back into the image, with its conversion, in image order.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "FakeSettingsView.h"
#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/SettingsImage.h"

namespace {

std::vector<uint8_t> ImageGroup(int groupNo) {
    const uint8_t* bytes = SettingsGroupBytes(groupNo);
    return {bytes, bytes + SettingsGroup(groupNo).length};
}

std::string CaptureMessage() {
    try {
        CaptureSettings();
    } catch (const ConversionError& error) {
        return error.what();
    }
    return "(captured)";
}

class Capture : public SettingsViewTest {
  protected:
    // Every strictly converted edit holds a valid number; the image is filled with 0xAA so that
    // what capture writes and what it keeps both show.
    void SetUp() override {
        SettingsViewTest::SetUp();
        SettingsImage.fill(0xAA);
        view.SetText("Edit_NMEAInterval", "5");
        view.SetText("Edit_EMask", "10");
        view.SetText("Edit_SMask", "4.0");
        view.SetText("Edit_PMask", "12.0");
        view.SetText("Edit_PSwitch", "6.0");
        view.SetText("Edit_DGPSAge", "30");
    }
};

TEST_F(Capture, RightAfterStartItStopsAtTheEmptyIntervalWithGroupsOneAndTwoWritten) {
    view.SetText("Edit_NMEAInterval", "");
    EXPECT_EQ(CaptureMessage(), "'' is not a valid integer value");
    EXPECT_EQ(ImageGroup(1), (std::vector<uint8_t>{2, 0xAA, 0xAA, 0xAA, 0xAA}));  // mode 2, altitude kept
    EXPECT_EQ(ImageGroup(2), (std::vector<uint8_t>{0, 0, 0, 0}));
    EXPECT_EQ(ImageGroup(3), (std::vector<uint8_t>{0, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA}));  // only byte 0 written
    for (int i = SettingsGroup(4).offset; i < kSettingsImageSize; ++i)
        EXPECT_EQ(SettingsImage[static_cast<size_t>(i)], 0xAA) << i;
}

TEST_F(Capture, SetAltitudeWritesTheModeBeforeConvertingTheAltitude) {
    view.SetChecked("RadioButton_Set", true);
    view.SetText("Edit_Altitude", "12.5x");
    EXPECT_EQ(CaptureMessage(), "'12.5x' is not a valid floating point value");
    EXPECT_EQ(ImageGroup(1), (std::vector<uint8_t>{0, 0xAA, 0xAA, 0xAA, 0xAA}));
    EXPECT_EQ(SettingsImage[5], 0xAA);  // I/O Options not reached

    view.SetText("Edit_Altitude", " 123.4567 ");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(1), (std::vector<uint8_t>{0, 0x42, 0xF6, 0xE9, 0xD5}));
}

TEST_F(Capture, CancelAltitudeSetModeDoesNotReadTheAltitude) {
    view.SetChecked("RadioButton_Cancel", true);
    view.SetText("Edit_Altitude", "letters");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(1), (std::vector<uint8_t>{1, 0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST_F(Capture, MaskBitsWithoutCheckBoxesBecomeZero) {
    view.SetChecked("CheckBox_PosXYZ", true);
    view.SetChecked("CheckBox_TimeMinimize", true);
    view.SetChecked("CheckBox_AuxDoppler", true);
    view.SetChecked("CheckBox_RMC", true);
    view.SetChecked("CheckBox_GGA", true);
    view.SetChecked("CheckBox_Bit30", true);
    view.SetChecked("CheckBox_Bit8", true);
    view.SetChecked("CheckBox_B1Bit7", true);
    view.SetChecked("CheckBox_B2Bit5", true);
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(2), (std::vector<uint8_t>{0x01, 0x00, 0x10, 0x02}));
    EXPECT_EQ(ImageGroup(3), (std::vector<uint8_t>{0, 5, 0x00, 0x00, 0x01, 0x01}));
    EXPECT_EQ(ImageGroup(9), (std::vector<uint8_t>{0xAA, 0x40, 0x00, 0x01, 0x00}));
    EXPECT_EQ(ImageGroup(12), (std::vector<uint8_t>{0xAA, 0x80, 0x20, 0xAA, 0xAA}));
}

TEST_F(Capture, IntervalAndAgeKeepTheLowEightBits) {
    view.SetText("Edit_NMEAInterval", "300");
    view.SetText("Edit_DGPSAge", "-1");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(SettingsGroupBytes(3)[1], 44);
    EXPECT_EQ(SettingsGroupBytes(4)[21], 255);
    view.SetText("Edit_NMEAInterval", "$1F");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(SettingsGroupBytes(3)[1], 31);
}

TEST_F(Capture, ElevationMaskTenDegreesIsTheNearestSingle) {
    EXPECT_EQ(CaptureMessage(), "(captured)");
    const uint8_t* g = SettingsGroupBytes(4);
    // 10 × 0.017453277777777776 = 0.17453277777777776, nearest single 0x3E32B8B8.
    EXPECT_EQ(std::vector<uint8_t>(g + 5, g + 9), (std::vector<uint8_t>{0x3E, 0x32, 0xB8, 0xB8}));
    EXPECT_EQ(GetSingleBE(g + 9), 4.0f);
    EXPECT_EQ(GetSingleBE(g + 13), 12.0f);
    EXPECT_EQ(GetSingleBE(g + 17), 6.0f);
    EXPECT_EQ(g[21], 30);
    EXPECT_EQ(g[0], 0xAA);  // carried
    for (int i = 22; i < 43; ++i) EXPECT_EQ(g[i], 0xAA) << i;
}

// The factor is the double 0.017453277777777776 exactly. This text lies so close to a rounding
// boundary of the single that the product with the extended quotient 3.14159L / 180.0L (larger by
// about 1e-18) would round up to 0x3E32B8B9.
TEST_F(Capture, ElevationMaskUsesTheDoubleFactorExactly) {
    view.SetText("Edit_EMask", "10.000000044881970397148141");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    const uint8_t* g = SettingsGroupBytes(4);
    EXPECT_EQ(std::vector<uint8_t>(g + 5, g + 9), (std::vector<uint8_t>{0x3E, 0x32, 0xB8, 0xB8}));
}

TEST_F(Capture, GPSConfigurationComboCodes) {
    view.SetItemIndex("ComboBox_RMode", 2);
    view.SetItemIndex("ComboBox_DifMode", 2);
    view.SetItemIndex("ComboBox_DCode", 3);
    view.SetItemIndex("ComboBox_TMode", 1);
    EXPECT_EQ(CaptureMessage(), "(captured)");
    const uint8_t* g = SettingsGroupBytes(4);
    EXPECT_EQ(std::vector<uint8_t>(g + 1, g + 5), (std::vector<uint8_t>{3, 3, 4, 2}));
    view.SetItemIndex("ComboBox_RMode", 6);
    view.SetItemIndex("ComboBox_DifMode", 1);
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(g[1], 7);
    EXPECT_EQ(g[2], 1);
}

TEST_F(Capture, PortCodesAndTheirFixedBytes) {
    view.SetItemIndex("ComboBox_BaudRateA", 8);
    view.SetItemIndex("ComboBox_DataBitsA", 0);
    view.SetItemIndex("ComboBox_ParityA", 1);
    view.SetItemIndex("ComboBox_StopBitsA", 1);
    view.SetItemIndex("ComboBox_InProtocolA", 2);
    view.SetItemIndex("ComboBox_OutProtocolA", 2);
    view.SetItemIndex("ComboBox_BaudRateB", 7);
    view.SetItemIndex("ComboBox_DataBitsB", 0);
    view.SetItemIndex("ComboBox_ParityB", 0);
    view.SetItemIndex("ComboBox_StopBitsB", 0);
    view.SetItemIndex("ComboBox_InProtocolB", 1);
    view.SetItemIndex("ComboBox_OutProtocolB", 1);
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(5), (std::vector<uint8_t>{0, 8, 8, 3, 1, 1, 0, 8, 4, 0}));
    EXPECT_EQ(ImageGroup(6), (std::vector<uint8_t>{1, 7, 7, 3, 0, 0, 0, 2, 2, 0}));
}

TEST_F(Capture, NoSelectionStoresTheCodesThatMinusOneGives) {
    EXPECT_EQ(CaptureMessage(), "(captured)");
    const uint8_t* gps = SettingsGroupBytes(4);
    EXPECT_EQ(std::vector<uint8_t>(gps + 1, gps + 5), (std::vector<uint8_t>{0xFF, 0xFF, 0, 0}));
    EXPECT_EQ(ImageGroup(5), (std::vector<uint8_t>{0, 0xFF, 0xFF, 2, 0xFF, 0xFF, 0, 0xFE, 0xFE, 0}));
    EXPECT_EQ(ImageGroup(6), (std::vector<uint8_t>{1, 0xFF, 0xFF, 2, 0xFF, 0xFF, 0, 0xFE, 0xFE, 0}));
    const uint8_t* datum = SettingsGroupBytes(7);
    EXPECT_EQ(static_cast<int16_t>(GetU16BE(datum + 1)), -2);
    const uint8_t* timing = SettingsGroupBytes(8);
    EXPECT_EQ(std::vector<uint8_t>(timing, timing + 4), (std::vector<uint8_t>{0xAA, 0xFF, 0xFF, 0xFF}));
}

TEST_F(Capture, AListedDatumZeroesTheParametersWithoutReadingTheEdits) {
    view.SetItemIndex("ComboBox_Datum", 6);  // "Australian", index 5
    for (const char* edit : kCustomDatumEdits) view.SetText(edit, "letters");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    std::vector<uint8_t> expected(43, 0);
    expected[0] = 0x15;
    expected[2] = 5;
    EXPECT_EQ(ImageGroup(7), expected);
}

TEST_F(Capture, CustomDatumStopsAtTheEmptyDYAfterDXIsWritten) {
    view.SetItemIndex("ComboBox_Datum", 0);
    view.SetText("Edit_DX", "-12.5");
    view.SetText("Edit_DY", "");
    EXPECT_EQ(CaptureMessage(), "'' is not a valid floating point value");
    const uint8_t* g = SettingsGroupBytes(7);
    EXPECT_EQ(g[0], 0x15);
    EXPECT_EQ(g[1], 0xFF);
    EXPECT_EQ(g[2], 0xFF);
    EXPECT_EQ(GetDoubleBE(g + 3), -12.5);
    for (int i = 11; i < 43; ++i) EXPECT_EQ(g[i], 0xAA) << i;
    EXPECT_EQ(SettingsGroupBytes(8)[1], 0xAA);  // the steps after the datum are not reached
}

TEST_F(Capture, CustomDatumStoresTheFiveDoubles) {
    view.SetItemIndex("ComboBox_Datum", 0);
    view.SetText("Edit_DX", "1.5");
    view.SetText("Edit_DY", "-2");
    view.SetText("Edit_DZ", "3e2");
    view.SetText("Edit_A_Axis", "6378137.000");
    view.SetText("Edit_Eccentricity", "0.08181919084260");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    const uint8_t* g = SettingsGroupBytes(7);
    EXPECT_EQ(GetU16BE(g + 1), 0xFFFF);
    EXPECT_EQ(GetDoubleBE(g + 3), 1.5);
    EXPECT_EQ(GetDoubleBE(g + 11), -2.0);
    EXPECT_EQ(GetDoubleBE(g + 19), 300.0);
    EXPECT_EQ(GetDoubleBE(g + 27), 6378137.0);
    EXPECT_EQ(GetDoubleBE(g + 35), 0.0818191908426);
}

TEST_F(Capture, LenientScansTakeTheLeadingNumber) {
    view.SetText("Edit_Width", "1.0e-3abc");
    view.SetText("Edit_Offset", " -2.5e-7 s");
    view.SetText("Edit_Bias", "2.5 m");
    view.SetText("Edit_Limit", "-1");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(GetDoubleBE(SettingsGroupBytes(11) + 1), 0.001);
    EXPECT_EQ(GetDoubleBE(SettingsGroupBytes(8) + 4), -2.5e-7);
    EXPECT_EQ(GetSingleBE(SettingsGroupBytes(8) + 12), 2.5f);
    EXPECT_EQ(GetU32BE(SettingsGroupBytes(13) + 3), 0xFFFFFFFFu);
}

TEST_F(Capture, AScanWithoutANumberLeavesTheFieldAsItWas) {
    view.SetText("Edit_Width", "");
    view.SetText("Edit_Offset", "abc");
    view.SetText("Edit_Bias", "m");
    view.SetText("Edit_Limit", "none");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(11), std::vector<uint8_t>(9, 0xAA));
    const uint8_t* timing = SettingsGroupBytes(8);
    for (int i = 4; i < 16; ++i) EXPECT_EQ(timing[i], 0xAA) << i;
    const uint8_t* survey = SettingsGroupBytes(13);
    for (int i = 3; i < 7; ++i) EXPECT_EQ(survey[i], 0xAA) << i;
}

TEST_F(Capture, TimingOutputOptionsWithoutAButtonKeepTheirByte) {
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(10), (std::vector<uint8_t>{0xAA, 0xAA}));
    view.SetChecked("RadioButton_1Sat", true);
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(10), (std::vector<uint8_t>{0xAA, 3}));
    view.SetChecked("RadioButton_3Sat", true);
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(10), (std::vector<uint8_t>{0xAA, 4}));
    view.SetChecked("RadioButton_Always", true);
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(10), (std::vector<uint8_t>{0xAA, 2}));
}

TEST_F(Capture, SelfSurveyFlagsAreExactlyZeroOrOne) {
    view.SetChecked("CheckBox_EnableSurvey", true);
    view.SetText("Edit_Limit", "2000");
    EXPECT_EQ(CaptureMessage(), "(captured)");
    EXPECT_EQ(ImageGroup(13), (std::vector<uint8_t>{0xAA, 1, 0, 0, 0, 0x07, 0xD0, 0xAA, 0xAA, 0xAA, 0xAA}));
}

TEST_F(Capture, ASingleOutOfRangeRaisesTheFloatingPointError) {
    view.SetText("Edit_SMask", "1e39");
    EXPECT_EQ(CaptureMessage(), "'1e39' is not a valid floating point value");
    const uint8_t* g = SettingsGroupBytes(4);
    EXPECT_EQ(std::vector<uint8_t>(g + 5, g + 9),
              (std::vector<uint8_t>{0x3E, 0x32, 0xB8, 0xB8}));  // EMask before it
    for (int i = 9; i < 13; ++i) EXPECT_EQ(g[i], 0xAA) << i;
}

TEST_F(Capture, ADoubleOutOfRangeRaisesTheFloatingPointError) {
    view.SetItemIndex("ComboBox_Datum", 0);
    view.SetText("Edit_DX", "1e400");
    EXPECT_EQ(CaptureMessage(), "'1e400' is not a valid floating point value");
}

TEST(CaptureWithoutWindow, LeavesTheImageAsItIs) {
    RegisterSettingsView(nullptr);
    SettingsImage.fill(0x3C);
    CaptureSettings();
    for (uint8_t byte : SettingsImage) EXPECT_EQ(byte, 0x3C);
}

}  // namespace
