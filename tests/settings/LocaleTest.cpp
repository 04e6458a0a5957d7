// Display and capture under a comma-decimal process locale: the window toolkit sets the process
// locale from the environment, and the settings texts must still use "." both ways.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "FakeSettingsView.h"
#include "bytes/ByteOrder.h"
#include "settings/Capture.h"
#include "settings/Conversions.h"
#include "settings/Display.h"

namespace {

constexpr const char* kGermanLocale = "de_DE.UTF-8";

// Switches the process to a German locale, building it into a private folder with localedef when
// the machine has none installed. Returns false when neither works.
bool UseGermanLocale() {
    if (std::setlocale(LC_ALL, kGermanLocale) != nullptr) return true;
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "vc-settings-locales";
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string command =
        "localedef -i de_DE -f UTF-8 '" + (folder / kGermanLocale).string() + "' >/dev/null 2>&1";
    if (!std::filesystem::exists(folder / kGermanLocale / "LC_NUMERIC") &&
        std::system(command.c_str()) != 0) {
        return false;
    }
    ::setenv("LOCPATH", folder.c_str(), 1);
    return std::setlocale(LC_ALL, kGermanLocale) != nullptr;
}

class CommaLocale : public SettingsViewTest {
  protected:
    void SetUp() override {
        if (!UseGermanLocale()) GTEST_SKIP() << "no de_DE.UTF-8 locale and localedef could not build one";
        char probe[16];
        std::snprintf(probe, sizeof probe, "%.1f", 1.5);
        if (std::string(probe) != "1,5") GTEST_SKIP() << "the de_DE locale does not write a decimal comma";
        SettingsViewTest::SetUp();
    }
    void TearDown() override {
        SettingsViewTest::TearDown();
        std::setlocale(LC_ALL, "C");
    }
};

TEST_F(CommaLocale, ConversionsStillUseThePoint) {
    EXPECT_EQ(FormatC("%.3f", 1.5), "1.500");
    EXPECT_EQ(StrictReal("1.5"), 1.5L);
    EXPECT_THROW(StrictReal("1,5"), ConversionError);
    EXPECT_EQ(ScanDouble("2.25"), 2.25);
    EXPECT_EQ(ScanSingle("2.25"), 2.25f);
}

TEST_F(CommaLocale, DisplayThenCaptureGivesTheSameBytes) {
    std::array<uint8_t, 5> altitude{0};
    PutSingleBE(1.5f, altitude.data() + 1);
    Show2DAltitude(altitude.data());
    EXPECT_EQ(view.Text("Edit_Altitude"), "1.500");

    std::array<uint8_t, 43> gps{0, 4, 1, 1, 1};
    PutSingleBE(0.174533f, gps.data() + 5);
    PutSingleBE(2.5f, gps.data() + 9);
    PutSingleBE(6.5f, gps.data() + 13);
    PutSingleBE(4.5f, gps.data() + 17);
    ShowGPSConfiguration(gps.data());
    EXPECT_EQ(view.Text("Edit_EMask"), "10.0");
    EXPECT_EQ(view.Text("Edit_SMask"), "2.5");

    std::array<uint8_t, 16> timing{};
    PutDoubleBE(1.5e-6, timing.data() + 4);
    PutSingleBE(3.25f, timing.data() + 12);
    ShowTimingOutputSettings(timing.data());
    EXPECT_EQ(view.Text("Edit_Offset"), "1.500e-06");
    EXPECT_EQ(view.Text("Edit_Bias"), "3.25");

    view.SetText("Edit_NMEAInterval", "1");
    view.SetText("Edit_DGPSAge", "0");
    ASSERT_NO_THROW(CaptureSettings());
    EXPECT_EQ(GetSingleBE(SettingsGroupBytes(kGroup2DAltitude) + 1), 1.5f);
    EXPECT_EQ(GetSingleBE(SettingsGroupBytes(kGroupGPSConfiguration) + 9), 2.5f);
    EXPECT_EQ(GetSingleBE(SettingsGroupBytes(kGroupGPSConfiguration) + 17), 4.5f);
    EXPECT_EQ(GetDoubleBE(SettingsGroupBytes(kGroupTimingOutputSettings) + 4), 1.5e-6);
    EXPECT_EQ(GetSingleBE(SettingsGroupBytes(kGroupTimingOutputSettings) + 12), 3.25f);
}

}  // namespace
