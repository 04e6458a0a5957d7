// Start-up: the application title, the seven windows in their order, the PC Serial Settings
// defaults stored by the main window, and nothing loaded into the Settings Image.
#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <array>
#include <string>

#include "AppTestSupport.h"
#include "app/About.h"
#include "app/Comsettings.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "link/PcSerialSettings.h"
#include "operations/windows/Commconfigsummary.h"
#include "operations/windows/ConfigureComm.h"
#include "operations/windows/Forms.h"
#include "operations/windows/RequestComm.h"
#include "operations/windows/Summary.h"
#include "settings/SettingsImage.h"

namespace {

struct ExpectedForm {
    const char* className;
    const char* caption;
};

// Creation order and captions of the program's windows.
constexpr std::array<ExpectedForm, 7> kExpectedForms = {{
    {"TForm_Main", "Vandel Configurator"},
    {"TForm_RequestComm", "Comm port selection"},
    {"TForm_ConfigureComm", "Configure Receivers"},
    {"TForm_Summary", "Configuration Summary"},
    {"TForm_AboutBox", "About Vandel Configurator"},
    {"TForm_Comm_Summary", nullptr},  // its caption names the port it shows
    {"TForm_ComSettings", "Com Settings"},
}};

using Startup = ConfiguratorFixture;

}  // namespace

TEST_F(Startup, CreatesTheSevenWindowsInOrder) {
    const auto& forms = CreatedForms();
    ASSERT_EQ(forms.size(), kExpectedForms.size());
    for (size_t i = 0; i < forms.size(); ++i) {
        SCOPED_TRACE(kExpectedForms[i].className);
        ASSERT_NE(forms[i], nullptr);
        EXPECT_STREQ(forms[i]->metaObject()->className(), kExpectedForms[i].className);
        EXPECT_TRUE(forms[i]->isWindow());
        EXPECT_FALSE(forms[i]->isVisible());  // only the message loop shows the main window
        if (kExpectedForms[i].caption) {
            EXPECT_EQ(forms[i]->windowTitle().toStdString(), kExpectedForms[i].caption);
        }
    }
}

TEST_F(Startup, SingletonPointersHoldTheCreatedWindows) {
    const auto& forms = CreatedForms();
    ASSERT_EQ(forms.size(), 7u);
    EXPECT_EQ(forms[0], static_cast<QWidget*>(Form_Main));
    EXPECT_EQ(forms[1], static_cast<QWidget*>(Form_RequestComm));
    EXPECT_EQ(forms[2], static_cast<QWidget*>(Form_ConfigureComm));
    EXPECT_EQ(forms[3], static_cast<QWidget*>(Form_Summary));
    EXPECT_EQ(forms[4], static_cast<QWidget*>(Form_AboutBox));
    EXPECT_EQ(forms[5], static_cast<QWidget*>(Form_Comm_Summary));
    EXPECT_EQ(forms[6], static_cast<QWidget*>(Form_ComSettings));
}

TEST_F(Startup, EachWindowExistsOnce) {
    for (const ExpectedForm& expected : kExpectedForms) {
        const auto widgets = QApplication::topLevelWidgets();
        const auto count = std::count_if(widgets.begin(), widgets.end(), [&](QWidget* widget) {
            return std::string(widget->metaObject()->className()) == expected.className;
        });
        EXPECT_EQ(count, 1) << expected.className;
    }
}

TEST_F(Startup, ApplicationTitleIsConfigurator) {
    EXPECT_EQ(QCoreApplication::applicationName().toStdString(), "Configurator");
}

TEST_F(Startup, OnlyClosingTheMainWindowEndsTheProgram) {
    const auto& forms = CreatedForms();
    ASSERT_EQ(forms.size(), 7u);
    EXPECT_TRUE(forms[0]->testAttribute(Qt::WA_QuitOnClose));
    for (size_t i = 1; i < forms.size(); ++i) {
        EXPECT_FALSE(forms[i]->testAttribute(Qt::WA_QuitOnClose)) << i;
    }
}

TEST_F(Startup, SettingsImageStaysZero) {
    for (size_t i = 0; i < SettingsImage.size(); ++i) EXPECT_EQ(SettingsImage[i], 0) << "byte " << i;
}

TEST(StartupDefaults, ConstructingTheMainWindowStoresPcSerialSettingsDefaults) {
    EnsureTestApplication();
    PcSerialSettings.fill(0xAA);
    StartConfigurator();
    const std::array<uint8_t, 10> expected = {0, 7, 0, 3, 1, 0, 0, 0, 0, 0};  // 9600, 8 bits, odd, 1 stop bit
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(PcSerialSettings[i], expected[i]) << "byte " << i;
    DestroyForms();
}

TEST(StartupDefaults, DestroyFormsClearsTheSingletons) {
    EnsureTestApplication();
    StartConfigurator();
    DestroyForms();
    EXPECT_TRUE(CreatedForms().empty());
    EXPECT_EQ(Form_Main, nullptr);
    EXPECT_EQ(Form_RequestComm, nullptr);
    EXPECT_EQ(Form_ConfigureComm, nullptr);
    EXPECT_EQ(Form_Summary, nullptr);
    EXPECT_EQ(Form_AboutBox, nullptr);
    EXPECT_EQ(Form_Comm_Summary, nullptr);
    EXPECT_EQ(Form_ComSettings, nullptr);
    EXPECT_TRUE(QApplication::topLevelWidgets().isEmpty());
}
