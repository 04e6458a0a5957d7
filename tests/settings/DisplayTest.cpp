// The display operations: each stores its group in the image, then sets its controls.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "FakeSettingsView.h"
#include "bytes/ByteOrder.h"
#include "settings/Display.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsImage.h"

namespace {

std::vector<uint8_t> ImageGroup(int groupNo) {
    const uint8_t* bytes = SettingsGroupBytes(groupNo);
    return {bytes, bytes + SettingsGroup(groupNo).length};
}

template <size_t N>
std::vector<uint8_t> Bytes(const std::array<uint8_t, N>& group) {
    return {group.begin(), group.end()};
}

using Display = SettingsViewTest;

TEST_F(Display, AltitudeModeZeroChoosesSetAndShowsThreeDecimals) {
    std::array<uint8_t, 5> group{0};
    PutSingleBE(123.4567f, group.data() + 1);
    Show2DAltitude(group.data());
    EXPECT_EQ(ImageGroup(1), Bytes(group));
    EXPECT_TRUE(view.Checked("RadioButton_Set"));
    EXPECT_FALSE(view.Checked("RadioButton_Cancel"));
    EXPECT_EQ(view.Text("Edit_Altitude"), "123.457");
}

TEST_F(Display, AltitudeModeOneChoosesCancelAndEmptiesTheEditButKeepsTheBytes) {
    view.SetText("Edit_Altitude", "55.000");
    const std::array<uint8_t, 5> group{1, 0x42, 0xF6, 0xE9, 0xD5};
    Show2DAltitude(group.data());
    EXPECT_TRUE(view.Checked("RadioButton_Cancel"));
    EXPECT_FALSE(view.Checked("RadioButton_Set"));
    EXPECT_EQ(view.Text("Edit_Altitude"), "");
    EXPECT_EQ(ImageGroup(1), Bytes(group));
}

TEST_F(Display, AltitudeOtherModeClearsBothButtons) {
    view.SetChecked("RadioButton_Set", true);
    const std::array<uint8_t, 5> group{7, 0x42, 0xF6, 0xE9, 0xD5};
    Show2DAltitude(group.data());
    EXPECT_FALSE(view.Checked("RadioButton_Set"));
    EXPECT_FALSE(view.Checked("RadioButton_Cancel"));
    EXPECT_EQ(view.Text("Edit_Altitude"), "");
}

TEST_F(Display, IOOptionsFollowTheirBits) {
    const std::array<uint8_t, 4> group{0x15, 0x02, 0x18, 0x01};
    ShowIOOptions(group.data());
    EXPECT_TRUE(view.Checked("CheckBox_PosXYZ"));
    EXPECT_FALSE(view.Checked("CheckBox_PosLLA"));
    EXPECT_TRUE(view.Checked("CheckBox_OutputMSL"));
    EXPECT_FALSE(view.Checked("CheckBox_InputMSL"));
    EXPECT_TRUE(view.Checked("CheckBox_PosDouble"));
    EXPECT_FALSE(view.Checked("CheckBox_Pos8F20"));
    EXPECT_FALSE(view.Checked("CheckBox_VelXYZ"));
    EXPECT_TRUE(view.Checked("CheckBox_VelENU"));
    EXPECT_FALSE(view.Checked("CheckBox_TimeType"));
    EXPECT_TRUE(view.Checked("CheckBox_TimeSynch"));
    EXPECT_TRUE(view.Checked("CheckBox_TimeMinimize"));
    EXPECT_TRUE(view.Checked("CheckBox_AuxRaw"));
    EXPECT_FALSE(view.Checked("CheckBox_AuxDoppler"));
}

TEST_F(Display, NMEAOutputShowsTheIntervalAndTheBigEndianSentenceMask) {
    std::array<uint8_t, 6> group{0x33, 255, 0x00, 0x00, 0x01, 0x00};  // only bit 8: RMC
    ShowNMEAOutput(group.data());
    EXPECT_EQ(view.Text("Edit_NMEAInterval"), "255");
    EXPECT_TRUE(view.Checked("CheckBox_RMC"));
    EXPECT_FALSE(view.Checked("CheckBox_GGA"));
    EXPECT_EQ(ImageGroup(3), Bytes(group));

    group = {0, 1, 0xFF, 0xFF, 0xFE, 0xC0};  // every bit but those with check boxes
    ShowNMEAOutput(group.data());
    for (const char* name : {"CheckBox_GGA", "CheckBox_GLL", "CheckBox_VTG", "CheckBox_GSV", "CheckBox_GSA",
                             "CheckBox_ZDA", "CheckBox_RMC"})
        EXPECT_FALSE(view.Checked(name)) << name;
    group = {0, 1, 0x00, 0x00, 0x01, 0x3F};
    ShowNMEAOutput(group.data());
    for (const char* name : {"CheckBox_GGA", "CheckBox_GLL", "CheckBox_VTG", "CheckBox_GSV", "CheckBox_GSA",
                             "CheckBox_ZDA", "CheckBox_RMC"})
        EXPECT_TRUE(view.Checked(name)) << name;
}

std::array<uint8_t, 43> GpsGroup(uint8_t receiverMode, uint8_t dgpsMode, uint8_t dynamics, uint8_t track) {
    std::array<uint8_t, 43> group{};
    group[0] = 0x99;
    group[1] = receiverMode;
    group[2] = dgpsMode;
    group[3] = dynamics;
    group[4] = track;
    PutSingleBE(0.174533f, group.data() + 5);
    PutSingleBE(3.96f, group.data() + 9);
    PutSingleBE(12.0f, group.data() + 13);
    PutSingleBE(-6.25f, group.data() + 17);
    group[21] = 200;
    for (int i = 22; i < 43; ++i) group[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    return group;
}

TEST_F(Display, GPSConfigurationCodesAndFormats) {
    const auto group = GpsGroup(4, 1, 4, 2);
    ShowGPSConfiguration(group.data());
    EXPECT_EQ(ImageGroup(4), Bytes(group));
    EXPECT_EQ(view.ItemIndex("ComboBox_RMode"), 3);  // "Full Position (3D)"
    EXPECT_EQ(view.ItemIndex("ComboBox_DifMode"), 1);
    EXPECT_EQ(view.ItemIndex("ComboBox_DCode"), 3);  // "Stationary"
    EXPECT_EQ(view.ItemIndex("ComboBox_TMode"), 1);
    EXPECT_EQ(view.Text("Edit_EMask"), "10.0");  // 0.174533 rad with 3.14159 for pi
    EXPECT_EQ(view.Text("Edit_SMask"), "4.0");
    EXPECT_EQ(view.Text("Edit_PMask"), "12.0");
    EXPECT_EQ(view.Text("Edit_PSwitch"), "-6.2");
    EXPECT_EQ(view.Text("Edit_DGPSAge"), "200");
}

TEST_F(Display, ReceiverModeTwoShowsTimeOnlyAndDGPSModeTwoShowsAuto) {
    auto group = GpsGroup(2, 2, 1, 1);
    ShowGPSConfiguration(group.data());
    EXPECT_EQ(view.ItemIndex("ComboBox_RMode"), 1);    // "Time only (1 SV)"
    EXPECT_EQ(view.ItemIndex("ComboBox_DifMode"), 2);  // "DGPS auto"
    group = GpsGroup(7, 3, 1, 1);
    ShowGPSConfiguration(group.data());
    EXPECT_EQ(view.ItemIndex("ComboBox_RMode"), 6);
    EXPECT_EQ(view.ItemIndex("ComboBox_DifMode"), 2);
}

TEST_F(Display, CodesWithoutAnItemSelectNothing) {
    auto group = GpsGroup(4, 1, 4, 2);
    ShowGPSConfiguration(group.data());
    group = GpsGroup(8, 4, 0, 0);
    ShowGPSConfiguration(group.data());
    EXPECT_EQ(view.ItemIndex("ComboBox_RMode"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_DifMode"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_DCode"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_TMode"), -1);
    group = GpsGroup(0xFF, 0xFF, 5, 3);
    ShowGPSConfiguration(group.data());
    EXPECT_EQ(view.ItemIndex("ComboBox_RMode"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_DCode"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_TMode"), -1);
}

TEST_F(Display, PortConfigurationByPortNumber) {
    const std::array<uint8_t, 10> portA{7, 9, 5, 3, 2, 1, 0x66, 8, 4, 0x77};
    ShowPortConfiguration(0, portA.data());
    EXPECT_EQ(ImageGroup(5), Bytes(portA));
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateA"), 9);
    EXPECT_EQ(view.ItemIndex("ComboBox_DataBitsA"), 0);
    EXPECT_EQ(view.ItemIndex("ComboBox_ParityA"), 2);
    EXPECT_EQ(view.ItemIndex("ComboBox_StopBitsA"), 1);
    EXPECT_EQ(view.ItemIndex("ComboBox_InProtocolA"), 2);  // 8 is "RTCM" on Port A
    EXPECT_EQ(view.ItemIndex("ComboBox_OutProtocolA"), 2);
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateB"), -1);  // Port B untouched

    const std::array<uint8_t, 10> portB{0, 7, 0, 3, 0, 0, 0, 8, 2, 0};
    ShowPortConfiguration(1, portB.data());
    EXPECT_EQ(ImageGroup(6), Bytes(portB));
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateB"), 7);
    EXPECT_EQ(view.ItemIndex("ComboBox_InProtocolB"), -1);  // 8 would be item 4, which Port B lacks
    EXPECT_EQ(view.ItemIndex("ComboBox_OutProtocolB"), 1);
    EXPECT_EQ(view.ItemIndex("ComboBox_ParityB"), 0);
    EXPECT_EQ(ImageGroup(5), Bytes(portA));
}

TEST_F(Display, PortConfigurationCodesWithoutItems) {
    const std::array<uint8_t, 10> port{0, 10, 0, 2, 3, 2, 0, 3, 6, 0};
    ShowPortConfiguration(0, port.data());
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateA"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_DataBitsA"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_ParityA"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_StopBitsA"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_InProtocolA"), 1);  // 3 ÷ 2 rounded down
    EXPECT_EQ(view.ItemIndex("ComboBox_OutProtocolA"), -1);
}

TEST_F(Display, PortByteTwoChangesNeitherImageNorWindow) {
    SettingsImage.fill(0x5A);
    const std::array<uint8_t, 10> port{2, 7, 7, 3, 1, 0, 0, 2, 2, 0};
    ShowPortConfiguration(2, port.data());
    for (uint8_t byte : SettingsImage) EXPECT_EQ(byte, 0x5A);
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateA"), -1);
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateB"), -1);
}

std::array<uint8_t, 43> DatumGroup(int16_t index) {
    std::array<uint8_t, 43> group{};
    group[0] = 0x15;
    PutU16BE(static_cast<uint16_t>(index), group.data() + 1);
    PutDoubleBE(-12.34, group.data() + 3);
    PutDoubleBE(100.05, group.data() + 11);
    PutDoubleBE(7.0, group.data() + 19);
    PutDoubleBE(6378137.0, group.data() + 27);
    PutDoubleBE(0.0818191908426, group.data() + 35);
    return group;
}

void ExpectDatumTexts(const FakeSettingsView& view) {
    EXPECT_EQ(view.Text("Edit_DX"), "-12.3");
    EXPECT_EQ(view.Text("Edit_DY"), "100.0");  // 100.05 is a little below in binary
    EXPECT_EQ(view.Text("Edit_DZ"), "7.0");
    EXPECT_EQ(view.Text("Edit_A_Axis"), "6378137.000");
    EXPECT_EQ(view.Text("Edit_Eccentricity"), "0.08181919084260");
}

TEST_F(Display, DatumMinusOneSelectsCustomFillsAndEnablesTheEdits) {
    const auto group = DatumGroup(-1);
    ShowDatum(group.data());
    EXPECT_EQ(ImageGroup(7), Bytes(group));
    EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), 0);
    ExpectDatumTexts(view);
    for (const char* edit : kCustomDatumEdits) EXPECT_TRUE(view.Enabled(edit)) << edit;
    EXPECT_TRUE(CustomDatumEditsEnabled);
}

TEST_F(Display, DatumZeroSelectsWGS84FillsTheEditsAndDisablesThem) {
    ShowDatum(DatumGroup(-1).data());
    const auto group = DatumGroup(0);
    ShowDatum(group.data());
    EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), 1);
    ExpectDatumTexts(view);
    for (const char* edit : kCustomDatumEdits) EXPECT_FALSE(view.Enabled(edit)) << edit;
    EXPECT_FALSE(CustomDatumEditsEnabled);
    EXPECT_EQ(ImageGroup(7), Bytes(group));
}

TEST_F(Display, TimingOutputSettings) {
    std::array<uint8_t, 16> group{0x4A, 1, 1, 0};
    PutDoubleBE(1.5e-6, group.data() + 4);
    PutSingleBE(7.5f, group.data() + 12);
    ShowTimingOutputSettings(group.data());
    EXPECT_EQ(ImageGroup(8), Bytes(group));
    EXPECT_EQ(view.ItemIndex("ComboBox_Switch"), 1);
    EXPECT_EQ(view.ItemIndex("ComboBox_TimeBase"), 1);
    EXPECT_EQ(view.ItemIndex("ComboBox_Polarity"), 0);
    EXPECT_EQ(view.Text("Edit_Offset"), "1.500e-06");
    EXPECT_EQ(view.Text("Edit_Bias"), "7.50");
    group[1] = 2;
    ShowTimingOutputSettings(group.data());
    EXPECT_EQ(view.ItemIndex("ComboBox_Switch"), -1);
}

TEST_F(Display, TimingOutputOptionsOtherValuesKeepTheChosenButton) {
    std::array<uint8_t, 2> group{0x4E, 3};
    ShowTimingOutputOptions(group.data());
    EXPECT_TRUE(view.Checked("RadioButton_1Sat"));
    group[1] = 0;
    ShowTimingOutputOptions(group.data());
    EXPECT_TRUE(view.Checked("RadioButton_1Sat"));
    EXPECT_EQ(ImageGroup(10), Bytes(group));
    group[1] = 4;
    ShowTimingOutputOptions(group.data());
    EXPECT_TRUE(view.Checked("RadioButton_3Sat"));
    EXPECT_FALSE(view.Checked("RadioButton_1Sat"));
    group[1] = 2;
    ShowTimingOutputOptions(group.data());
    EXPECT_TRUE(view.Checked("RadioButton_Always"));
    EXPECT_FALSE(view.Checked("RadioButton_3Sat"));
}

TEST_F(Display, PPSWidthInExponentFormat) {
    std::array<uint8_t, 9> group{0x4F};
    PutDoubleBE(0.001, group.data() + 1);
    ShowPPSWidth(group.data());
    EXPECT_EQ(view.Text("Edit_Width"), "1.000e-03");
    EXPECT_EQ(ImageGroup(11), Bytes(group));
}

TEST_F(Display, Packet8EA5MasksFollowBytesOneAndTwo) {
    std::array<uint8_t, 5> group{0xA5, 0xA5, 0x1E, 0x12, 0x34};
    ShowPacket8EA5Masks(group.data());
    EXPECT_TRUE(view.Checked("CheckBox_B1Bit0"));
    EXPECT_FALSE(view.Checked("CheckBox_B1Bit1"));
    EXPECT_TRUE(view.Checked("CheckBox_B1Bit2"));
    EXPECT_TRUE(view.Checked("CheckBox_B1Bit5"));
    EXPECT_TRUE(view.Checked("CheckBox_B1Bit7"));
    EXPECT_FALSE(view.Checked("CheckBox_B1Bit6"));
    for (const char* name : {"CheckBox_B2Bit0", "CheckBox_B2Bit5", "CheckBox_B2Bit6", "CheckBox_B2Bit7"})
        EXPECT_FALSE(view.Checked(name)) << name;  // bits 1 to 4 have no check box
    group[2] = 0xE1;
    ShowPacket8EA5Masks(group.data());
    for (const char* name : {"CheckBox_B2Bit0", "CheckBox_B2Bit5", "CheckBox_B2Bit6", "CheckBox_B2Bit7"})
        EXPECT_TRUE(view.Checked(name)) << name;
    EXPECT_EQ(ImageGroup(12), Bytes(group));
}

TEST_F(Display, PortBAutomaticOutputFollowsTheThirtyTwoBitMask) {
    const std::array<uint8_t, 5> group{0x4D, 0x40, 0x00, 0x08, 0x01};  // bits 30, 11 and 0
    ShowPortBAutomaticOutput(group.data());
    EXPECT_TRUE(view.Checked("CheckBox_Bit30"));
    EXPECT_TRUE(view.Checked("CheckBox_Bit11"));
    EXPECT_TRUE(view.Checked("CheckBox_Bit0"));
    EXPECT_FALSE(view.Checked("CheckBox_Bit31"));
    EXPECT_FALSE(view.Checked("CheckBox_Bit8"));
    EXPECT_FALSE(view.Checked("CheckBox_Bit1"));
}

TEST_F(Display, SelfSurveyFlagsAndTheLimitShownSigned) {
    const std::array<uint8_t, 11> group{0xA9, 7, 0, 0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3, 4};
    ShowSelfSurveyConfiguration(group.data());
    EXPECT_TRUE(view.Checked("CheckBox_EnableSurvey"));
    EXPECT_FALSE(view.Checked("CheckBox_Flag"));
    EXPECT_EQ(view.Text("Edit_Limit"), "-1");
    const std::array<uint8_t, 11> other{0, 0, 1, 0x80, 0, 0, 0};
    ShowSelfSurveyConfiguration(other.data());
    EXPECT_FALSE(view.Checked("CheckBox_EnableSurvey"));
    EXPECT_TRUE(view.Checked("CheckBox_Flag"));
    EXPECT_EQ(view.Text("Edit_Limit"), "-2147483648");
}

TEST_F(Display, NumbersThatAreNotFiniteAreShownAsTheFormatMakesThem) {
    std::array<uint8_t, 9> group{};
    PutDoubleBE(std::numeric_limits<double>::infinity(), group.data() + 1);
    ShowPPSWidth(group.data());
    EXPECT_EQ(view.Text("Edit_Width"), "inf");
    PutDoubleBE(-std::numeric_limits<double>::infinity(), group.data() + 1);
    ShowPPSWidth(group.data());
    EXPECT_EQ(view.Text("Edit_Width"), "-inf");
    PutDoubleBE(std::numeric_limits<double>::quiet_NaN(), group.data() + 1);
    ShowPPSWidth(group.data());
    EXPECT_EQ(view.Text("Edit_Width"), "nan");
}

TEST_F(Display, ShowGroupHandsEachGroupToItsOperation) {
    std::array<uint8_t, 10> port{5, 4, 0, 3, 1, 0, 0, 2, 4, 0};
    ShowGroup(kGroupPortBConfiguration, port.data());  // by position, whatever byte 0 holds
    EXPECT_EQ(ImageGroup(6), Bytes(port));
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateB"), 4);
    EXPECT_EQ(view.ItemIndex("ComboBox_BaudRateA"), -1);
}

TEST(DisplayWithoutWindow, StillStoresTheGroup) {
    RegisterSettingsView(nullptr);
    SettingsImage.fill(0);
    const auto group = DatumGroup(-1);
    ShowDatum(group.data());
    EXPECT_EQ(ImageGroup(7), Bytes(group));
    EXPECT_FALSE(CustomDatumEditsEnabled);  // no edits to enable
    const std::array<uint8_t, 10> port{0, 7, 0, 3, 1, 0, 0, 2, 2, 0};
    ShowPortConfiguration(1, port.data());
    EXPECT_EQ(ImageGroup(6), Bytes(port));
}

// The settings file loader shows every group through the display operations.
using LoadFile = SettingsViewTest;

std::FILE* FileWith(const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) return nullptr;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

TEST_F(LoadFile, AnEmptyFileLoadsAsAllFFAndSelectsCustom) {
    std::FILE* file = FileWith({});
    ASSERT_NE(file, nullptr);
    LoadSettingsFromFile(file);
    std::fclose(file);
    for (uint8_t byte : SettingsImage) EXPECT_EQ(byte, 0xFF);
    EXPECT_EQ(view.ItemIndex("ComboBox_Datum"), 0);
    for (const char* edit : kCustomDatumEdits) EXPECT_TRUE(view.Enabled(edit)) << edit;
    EXPECT_EQ(view.Text("Edit_DX"), "-nan");  // all ones is a NaN with the sign bit set
    EXPECT_EQ(view.Text("Edit_Limit"), "-1");
    EXPECT_EQ(view.Text("Edit_NMEAInterval"), "255");
    EXPECT_FALSE(view.Checked("RadioButton_Set"));
    EXPECT_FALSE(view.Checked("RadioButton_Cancel"));
    EXPECT_TRUE(view.Checked("CheckBox_EnableSurvey"));
    EXPECT_EQ(view.ItemIndex("ComboBox_RMode"), -1);
    EXPECT_EQ(view.focusSinkCalls, 1);
}

TEST_F(LoadFile, ALongFileUsesTheFirst169Bytes) {
    std::vector<uint8_t> bytes(600);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    std::FILE* file = FileWith(bytes);
    ASSERT_NE(file, nullptr);
    LoadSettingsFromFile(file);
    std::fclose(file);
    EXPECT_TRUE(std::equal(SettingsImage.begin(), SettingsImage.end(), bytes.begin()));
    EXPECT_EQ(view.focusSinkCalls, 1);
}

}  // namespace
