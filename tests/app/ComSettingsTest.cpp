// The Com Settings window and the PC Serial Settings it edits.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "app/Comsettings.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "link/PcSerialSettings.h"

namespace {

using ComSettings = ConfiguratorFixture;

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

void Open() {
    Form_Main->ComSettings1Click();
}

// Types text into an editable combo box the way the operator does.
void Type(QComboBox* box, const QString& text) {
    ASSERT_NE(box->lineEdit(), nullptr);
    box->lineEdit()->setText(text);
}

std::array<uint8_t, 10> Stored() {
    std::array<uint8_t, 10> bytes{};
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = PcSerialSettings[i];
    return bytes;
}

}  // namespace

TEST_F(ComSettings, WindowLayout) {
    TForm_ComSettings* form = Form_ComSettings;
    EXPECT_EQ(form->windowTitle().toStdString(), "Com Settings");
    EXPECT_EQ(form->size(), QSize(177, 191));
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_FALSE(form->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    auto* group = form->findChild<QGroupBox*>("GroupBox1");
    ASSERT_NE(group, nullptr);
    EXPECT_TRUE(group->title().isEmpty());
    auto* ok = form->findChild<QPushButton*>("Button_Ok");
    auto* cancel = form->findChild<QPushButton*>("Button_Cancel");
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(ok->text().toStdString(), "OK");
    EXPECT_EQ(cancel->text().toStdString(), "Cancel");
}

TEST_F(ComSettings, LabelledEditableComboBoxesWithTheirItems) {
    struct Expected {
        const char* box;
        const char* label;
        QStringList items;
    };
    const std::vector<Expected> expected = {
        {"ComboBox_BaudRate",
         "Baud Rate",
         {"None", "110", "300", "600", "1200", "2400", "4800", "9600", "19200", "38400"}},
        {"ComboBox_DataBits", "Data Bits", {"8"}},
        {"ComboBox_Parity", "Parity", {"None", "Odd", "Even"}},
        {"ComboBox_StopBits", "Stop Bits", {"1", "2"}},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.box);
        auto* box = Form_ComSettings->findChild<QComboBox*>(e.box);
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isEditable());
        EXPECT_EQ(Items(box), e.items);
        bool labelled = false;
        for (QLabel* label : Form_ComSettings->findChildren<QLabel*>()) {
            if (label->text() == e.label && label->buddy() == box) labelled = true;
        }
        EXPECT_TRUE(labelled);
    }
}

TEST_F(ComSettings, FirstShowingSelects9600EightOddOne) {
    Open();
    ASSERT_TRUE(Form_ComSettings->isVisible());
    EXPECT_EQ(Form_ComSettings->ComboBox_BaudRate()->currentText().toStdString(), "9600");
    EXPECT_EQ(Form_ComSettings->ComboBox_BaudRate()->currentIndex(), 7);
    EXPECT_EQ(Form_ComSettings->ComboBox_DataBits()->currentText().toStdString(), "8");
    EXPECT_EQ(Form_ComSettings->ComboBox_Parity()->currentText().toStdString(), "Odd");
    EXPECT_EQ(Form_ComSettings->ComboBox_StopBits()->currentText().toStdString(), "1");
}

TEST_F(ComSettings, OkWithoutChangesStoresWhatWasShown) {
    const auto before = Stored();
    Open();
    Form_ComSettings->Button_OkClick();
    EXPECT_FALSE(Form_ComSettings->isVisible());
    EXPECT_EQ(Stored(), before);
}

TEST_F(ComSettings, OkStoresTheSelectedItems) {
    PcSerialSettings[0] = 0x11;
    PcSerialSettings[2] = 0x22;
    PcSerialSettings[9] = 0x99;
    Open();
    Form_ComSettings->ComboBox_BaudRate()->setCurrentIndex(9);  // 38400
    Form_ComSettings->ComboBox_Parity()->setCurrentIndex(2);    // Even
    Form_ComSettings->ComboBox_StopBits()->setCurrentIndex(1);  // 2 stop bits
    Form_ComSettings->Button_OkClick();
    const std::array<uint8_t, 10> expected = {0x11, 9, 0x22, 3, 2, 1, 0, 0, 0, 0x99};
    EXPECT_EQ(Stored(), expected);  // the unused bytes are left alone
}

TEST_F(ComSettings, NoneAndTheFirstItemsStoreZero) {
    Open();
    Form_ComSettings->ComboBox_BaudRate()->setCurrentIndex(0);
    Form_ComSettings->ComboBox_Parity()->setCurrentIndex(0);
    Form_ComSettings->ComboBox_StopBits()->setCurrentIndex(0);
    Form_ComSettings->Button_OkClick();
    EXPECT_EQ(PcSerialSettings[1], 0);
    EXPECT_EQ(PcSerialSettings[3], 3);
    EXPECT_EQ(PcSerialSettings[4], 0);
    EXPECT_EQ(PcSerialSettings[5], 0);
}

TEST_F(ComSettings, TypedTextThatIsNoItemStores255OrTwo) {
    Open();
    Type(Form_ComSettings->ComboBox_BaudRate(), "57600");
    Type(Form_ComSettings->ComboBox_DataBits(), "7");
    Type(Form_ComSettings->ComboBox_Parity(), "Mark");
    Type(Form_ComSettings->ComboBox_StopBits(), "");
    Form_ComSettings->Button_OkClick();
    EXPECT_EQ(PcSerialSettings[1], 255);
    EXPECT_EQ(PcSerialSettings[3], 2);  // index −1 + 3
    EXPECT_EQ(PcSerialSettings[4], 255);
    EXPECT_EQ(PcSerialSettings[5], 255);

    // The next showing leaves those boxes without a selection.
    Open();
    for (QComboBox* box : {Form_ComSettings->ComboBox_BaudRate(), Form_ComSettings->ComboBox_DataBits(),
                           Form_ComSettings->ComboBox_Parity(), Form_ComSettings->ComboBox_StopBits()}) {
        EXPECT_EQ(box->currentIndex(), -1) << box->objectName().toStdString();
        EXPECT_TRUE(box->currentText().isEmpty()) << box->objectName().toStdString();
    }
    // And OK from there stores the same "no selection" codes again.
    Form_ComSettings->Button_OkClick();
    EXPECT_EQ(PcSerialSettings[1], 255);
    EXPECT_EQ(PcSerialSettings[3], 2);
}

TEST_F(ComSettings, TypedTextOfAnItemStandsForThatItem) {
    Open();
    Type(Form_ComSettings->ComboBox_BaudRate(), "1200");
    Type(Form_ComSettings->ComboBox_Parity(), "even");  // not exactly an item: case matters
    Form_ComSettings->Button_OkClick();
    EXPECT_EQ(PcSerialSettings[1], 4);
    EXPECT_EQ(PcSerialSettings[4], 255);
}

TEST_F(ComSettings, CancelLeavesTheSettingsAndTheNextShowingShowsThemAgain) {
    const auto before = Stored();
    Open();
    Form_ComSettings->ComboBox_BaudRate()->setCurrentIndex(2);
    Type(Form_ComSettings->ComboBox_Parity(), "xyz");
    Form_ComSettings->Button_CancelClick();
    EXPECT_FALSE(Form_ComSettings->isVisible());
    EXPECT_EQ(Stored(), before);

    Open();
    EXPECT_EQ(Form_ComSettings->ComboBox_BaudRate()->currentText().toStdString(), "9600");
    EXPECT_EQ(Form_ComSettings->ComboBox_Parity()->currentText().toStdString(), "Odd");
}

TEST_F(ComSettings, ClosingTheWindowWritesNothing) {
    const auto before = Stored();
    Open();
    Form_ComSettings->ComboBox_StopBits()->setCurrentIndex(1);
    Form_ComSettings->close();
    EXPECT_FALSE(Form_ComSettings->isVisible());
    EXPECT_EQ(Stored(), before);
}

TEST_F(ComSettings, ReopeningWhileOpenKeepsTheSelections) {
    Open();
    Form_ComSettings->ComboBox_BaudRate()->setCurrentIndex(3);
    Type(Form_ComSettings->ComboBox_Parity(), "typed");
    Open();
    EXPECT_TRUE(Form_ComSettings->isVisible());
    EXPECT_EQ(Form_ComSettings->ComboBox_BaudRate()->currentText().toStdString(), "600");
    EXPECT_EQ(Form_ComSettings->ComboBox_Parity()->currentText().toStdString(), "typed");
}

TEST_F(ComSettings, ShowingFollowsSettingsChangedElsewhere) {
    PcSerialSettings[1] = 1;  // 110
    PcSerialSettings[3] = 3;  // 8
    PcSerialSettings[4] = 2;  // Even
    PcSerialSettings[5] = 1;  // 2
    Open();
    EXPECT_EQ(Form_ComSettings->ComboBox_BaudRate()->currentText().toStdString(), "110");
    EXPECT_EQ(Form_ComSettings->ComboBox_Parity()->currentText().toStdString(), "Even");
    EXPECT_EQ(Form_ComSettings->ComboBox_StopBits()->currentText().toStdString(), "2");

    // Codes without an item (out of range, or 7 data bits) leave the box empty.
    Form_ComSettings->hide();
    PcSerialSettings[1] = 10;
    PcSerialSettings[3] = 2;
    Open();
    EXPECT_EQ(Form_ComSettings->ComboBox_BaudRate()->currentIndex(), -1);
    EXPECT_EQ(Form_ComSettings->ComboBox_DataBits()->currentIndex(), -1);
    EXPECT_TRUE(Form_ComSettings->ComboBox_DataBits()->currentText().isEmpty());
}
