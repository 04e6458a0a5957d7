// The configuration summary and the per-port summary: what each row shows for each Port Result
// and Group Status, and how the row buttons find their port.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include "link/PortContext.h"
#include "messages/FieldDifferences.h"
#include "operations/SummaryTables.h"
#include "operations/windows/CircleShape.h"
#include "operations/windows/Commconfigsummary.h"
#include "operations/windows/Forms.h"
#include "operations/windows/Summary.h"
#include "tests/operations/WidgetTestSupport.h"

namespace {

const QColor kGray(128, 128, 128);
const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);

QColor EditBackground(const QLineEdit* edit) {
    return edit->palette().color(QPalette::Base);
}

class SummaryWindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        for (auto& context : PortContexts) {
            context.portResult = kResultNotInRun;
            context.groupStatus.fill(kGroupNothingPending);
        }
    }
    void TearDown() override {
        Form_Summary = nullptr;
        Form_Comm_Summary = nullptr;
    }
};

TEST_F(SummaryWindowsTest, SummaryHasTwentyRowsWithTheirNamesAndButtonSize) {
    TForm_Summary summary;
    EXPECT_EQ(summary.windowTitle(), "Configuration Summary");
    ASSERT_NE(summary.findChild<QWidget*>("Panel1"), nullptr);
    for (int n = 1; n <= 20; ++n) {
        const auto& row = summary.RowOf(n);
        EXPECT_EQ(row.label->objectName(), QString("Label_Comm%1").arg(n));
        EXPECT_EQ(row.label->text(), QString("Comm %1").arg(n));
        EXPECT_EQ(row.shape->objectName(), QString("Shape_Comm%1").arg(n));
        EXPECT_EQ(row.shape->BrushColor(), kGray);
        EXPECT_EQ(row.edit->objectName(), QString("Edit_Comm%1").arg(n));
        EXPECT_TRUE(row.edit->isReadOnly());
        EXPECT_EQ(row.edit->focusPolicy(), Qt::NoFocus);
        EXPECT_EQ(row.button->objectName(), QString("SpeedButton_Comm%1").arg(n));
        EXPECT_EQ(row.button->size(), QSize(17, 17));
        EXPECT_FALSE(row.button->icon().isNull());
    }
}

// Ports 1..6 carry Port Results 0..5.
TEST_F(SummaryWindowsTest, EachPortResultGivesItsTextColourBackgroundAndButton) {
    struct Expected {
        const char* text;
        QColor circle;
        QPalette::ColorRole background;
        bool button;
    };
    const Expected expected[6] = {
        {"", kGray, QPalette::Button, false},
        {"Error 101:  Could not initialize comm port.", kRed, QPalette::Base, false},
        {"Error 102:  Could not establish KIRP communications.", kRed, QPalette::Base, false},
        {"Error 103:  Could not successfully verify new configuration.", kRed, QPalette::Base, true},
        {"Error 104:  Configuration settings are incorrect.", kRed, QPalette::Base, true},
        {"Configuration was successful.", kGreen, QPalette::Base, true},
    };
    for (int r = 0; r < 6; ++r) PortContexts[static_cast<size_t>(r)].portResult = static_cast<uint8_t>(r);
    TForm_Summary summary;
    summary.FillRows();
    for (int r = 0; r < 6; ++r) {
        const auto& row = summary.RowOf(r + 1);
        EXPECT_EQ(row.edit->text(), expected[r].text) << "result " << r;
        EXPECT_EQ(row.shape->BrushColor(), expected[r].circle) << "result " << r;
        EXPECT_EQ(EditBackground(row.edit), QApplication::palette().color(expected[r].background))
            << "result " << r;
        EXPECT_EQ(row.button->isEnabled(), expected[r].button) << "result " << r;
    }
    for (int n = 7; n <= 20; ++n) EXPECT_EQ(summary.RowOf(n).edit->text(), "");
    // Every text shows whole in its row.
    summary.show();
    for (int r = 0; r < 6; ++r) {
        const QLineEdit* edit = summary.RowOf(r + 1).edit;
        const int frame = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()) + 2 * (frame + 2), edit->width())
            << "result " << r;
    }
}

// A port that would not open tells why, as the command-line tool does; other rows tell nothing.
TEST_F(SummaryWindowsTest, Error101RowsTellWhyThePortWouldNotOpen) {
    PointCommPortsNowhere();
    ASSERT_EQ(OpenPortContext(PortContexts[0], 1), 0);
    PortContexts[0].portResult = kResultOpenFailed;
    PortContexts[1].portResult = kResultNoAnswer;
    TForm_Summary summary;
    summary.FillRows();
    const QString reason = QString::fromStdString(DescribeSerialFailure(SerialLastFailure(1)));
    EXPECT_TRUE(reason.startsWith("no such device")) << reason.toStdString();
    for (const QWidget* part : {static_cast<const QWidget*>(summary.RowOf(1).edit),
                                static_cast<const QWidget*>(summary.RowOf(1).label)})
        EXPECT_EQ(part->toolTip(), reason);
    EXPECT_EQ(summary.RowOf(2).edit->toolTip(), "");
    PortContexts[0].portResult = kResultSuccess;  // a later showing forgets the reason
    summary.FillRows();
    EXPECT_EQ(summary.RowOf(1).edit->toolTip(), "");
}

TEST_F(SummaryWindowsTest, EveryShowingRewritesEveryRow) {
    TForm_Summary summary;
    PortContexts[2].portResult = kResultSuccess;
    summary.FillRows();
    EXPECT_TRUE(summary.RowOf(3).button->isEnabled());
    PortContexts[2].portResult = kResultNotInRun;
    summary.FillRows();
    EXPECT_EQ(summary.RowOf(3).edit->text(), "");
    EXPECT_EQ(summary.RowOf(3).shape->BrushColor(), kGray);
    EXPECT_FALSE(summary.RowOf(3).button->isEnabled());
    EXPECT_EQ(EditBackground(summary.RowOf(3).edit), QApplication::palette().color(QPalette::Button));
}

TEST_F(SummaryWindowsTest, ButtonNamesAreReadWithTheirPattern) {
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm7"), 7);
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm1"), 1);
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm20"), 20);
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm0"), 0);
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm21"), 0);
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm-3"), 0);
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm"), 0);
    EXPECT_EQ(PortNoFromButtonName("SpeedButton_Comm3x"), 0);
    EXPECT_EQ(PortNoFromButtonName("Button_Comm3"), 0);
    EXPECT_EQ(PortNoFromButtonName(""), 0);
}

// The detail follows the button's name, not its row: with the names of rows 3 and 5 swapped, the
// button in row 3 opens the detail of port 5.
TEST_F(SummaryWindowsTest, RowButtonOpensTheDetailOfThePortInItsName) {
    TForm_Summary summary;
    TForm_Comm_Summary detail;
    Form_Comm_Summary = &detail;
    PortContexts[2].portResult = kResultGroupDiffers;
    PortContexts[4].portResult = kResultGroupDiffers;
    PortContexts[4].groupStatus.fill(kGroupMatches);
    PortContexts[4].groupStatus[kGroupDatum - 1] = kGroupDiffers;
    summary.FillRows();
    summary.RowOf(3).button->setObjectName("SpeedButton_Comm5");
    summary.RowOf(5).button->setObjectName("SpeedButton_Comm3");
    summary.show();

    QString caption;
    QString datumText;
    auto handled = OnNextModal([&](QWidget* modal) {
        caption = modal->windowTitle();
        datumText = detail.RowAt(2).edit->text();
        modal->close();
    });
    summary.RowOf(3).button->click();
    EXPECT_TRUE(*handled);
    EXPECT_EQ(caption, "Summary for Comm Port 5");
    EXPECT_EQ(datumText, "Retrieved settings are not correct.");
}

TEST_F(SummaryWindowsTest, ShowConfigurationSummaryFillsThenShowsModally) {
    TForm_Summary summary;
    Form_Summary = &summary;
    PortContexts[0].portResult = kResultSuccess;
    QString firstRow;
    bool wasModal = false;
    auto handled = OnNextModal([&](QWidget* modal) {
        wasModal = modal == &summary && summary.isModal();
        firstRow = summary.RowOf(1).edit->text();
        modal->close();
    });
    summary.ShowConfigurationSummary();
    EXPECT_TRUE(*handled);
    EXPECT_TRUE(wasModal);
    EXPECT_EQ(firstRow, "Configuration was successful.");
}

TEST_F(SummaryWindowsTest, CommSummaryHasThirteenRowsInOrder) {
    TForm_Comm_Summary detail;
    const char* captions[13] = {
        "I/O Options (Packet 0x35)",
        "GPS Configuration (Packet 0xBB)",
        "Datum (Packet 0x8E-15)",
        "Port A Configuration (Packet 0xBC)",
        "Port B Configuration (Packet 0xBC)",
        "Packet 8E-A5 Masks (Packet 0x8E-A5)",
        "Port B Automatic Output (Packet 0x8E-4D)",
        "Timing Output Settings (Packet 0x8E-4A)",
        "Timing Output Options (Packet 0x8E-4E)",
        "PPS Width (Packet 0x8E-4F)",
        "Self Survey Configuration (Packet 0x8E-A9)",
        "NMEA Output (Packet 0x7A)",
        "2D Altitude (Packet 0x2A)",
    };
    const char* shapes[13] = {"Shape_IO",          "Shape_GPS",   "Shape_Datum",      "Shape_PortA",
                              "Shape_PortB",       "Shape_8E_A5", "Shape_AutoOut",    "Shape_TimeSettings",
                              "Shape_TimeOptions", "Shape_PPS",   "Shape_SelfSurvey", "Shape_NMEA",
                              "Shape_2DAlt"};
    ASSERT_NE(detail.findChild<QWidget*>("Panel1"), nullptr);
    detail.show();  // lays the rows out
    for (int r = 0; r < 13; ++r) {
        const auto& row = detail.RowAt(r);
        EXPECT_EQ(row.label->text(), captions[r]);
        EXPECT_EQ(row.shape->objectName(), shapes[r]);
        EXPECT_EQ(row.edit->objectName(), QString("Edit%1").arg(r));
        EXPECT_TRUE(row.edit->isReadOnly());
        EXPECT_EQ(row.edit->focusPolicy(), Qt::NoFocus);
        // Rows lie top to bottom.
        if (r > 0) {
            EXPECT_GT(row.edit->y(), detail.RowAt(r - 1).edit->y());
        }
    }
}

// The row of a group that read back different lists the differing fields in its tooltip; the
// other rows have none.
TEST_F(SummaryWindowsTest, CommSummaryRowOfADifferingGroupTellsTheFields) {
    SettingsImage.fill(0);
    SettingsGroupBytes(kGroupNMEAOutput)[1] = 1;  // NMEA interval 1 written
    std::array<uint8_t, kMaxGroupLength> received{};
    received[1] = 5;  // 5 read back
    ForgetReceivedGroups();
    RememberReceivedGroup(2, kGroupNMEAOutput, received.data());
    PortContexts[2].groupStatus.fill(kGroupMatches);
    PortContexts[2].groupStatus[kGroupNMEAOutput - 1] = kGroupDiffers;
    TForm_Comm_Summary detail;
    detail.FillRows(3);
    for (int r = 0; r < 13; ++r) {
        const QString tip = detail.RowAt(r).edit->toolTip();
        if (kCommSummaryRows[static_cast<size_t>(r)].groupNo == kGroupNMEAOutput) {
            EXPECT_TRUE(tip.contains(": written 1, read back 5")) << tip.toStdString();
        } else {
            EXPECT_TRUE(tip.isEmpty()) << "row " << r + 1;
        }
    }
    PortContexts[2].groupStatus.fill(kGroupNothingPending);
    ForgetReceivedGroups();
    SettingsImage.fill(0);
}

// Each row reads the status of its own group: group g gets status (g mod 5) so that every
// status appears and neighbouring rows differ.
TEST_F(SummaryWindowsTest, CommSummaryShowsEachGroupsStatusTextAndColour) {
    const int rowGroups[13] = {2, 4, 7, 5, 6, 12, 9, 8, 10, 11, 13, 3, 1};
    const char* texts[5] = {"", "Settings could not be retrieved.", "Settings could not be verified.",
                            "Retrieved settings are not correct.", "Retrieved settings are correct."};
    PortContexts[16].groupStatus = {};
    for (int g = 1; g <= 13; ++g)
        PortContexts[16].groupStatus[static_cast<size_t>(g - 1)] = static_cast<uint8_t>(g % 5);
    TForm_Comm_Summary detail;
    detail.FillRows(17);
    EXPECT_EQ(detail.windowTitle(), "Summary for Comm Port 17");
    for (int r = 0; r < 13; ++r) {
        const int status = rowGroups[r] % 5;
        EXPECT_EQ(detail.RowAt(r).edit->text(), texts[status]) << "row " << r + 1;
        EXPECT_EQ(detail.RowAt(r).shape->BrushColor(), status == 4 ? kGreen : kRed) << "row " << r + 1;
    }
}

TEST_F(SummaryWindowsTest, CommSummaryAllMatchingIsAllGreen) {
    PortContexts[0].groupStatus.fill(kGroupMatches);
    TForm_Comm_Summary detail;
    detail.FillRows(1);
    for (int r = 0; r < 13; ++r) {
        EXPECT_EQ(detail.RowAt(r).edit->text(), "Retrieved settings are correct.");
        EXPECT_EQ(detail.RowAt(r).shape->BrushColor(), kGreen);
    }
}

TEST_F(SummaryWindowsTest, CommSummaryIgnoresAPortOutsideTheTable) {
    TForm_Comm_Summary detail;
    detail.FillRows(3);
    const QString caption = detail.windowTitle();
    detail.FillRows(0);
    detail.FillRows(21);
    detail.ShowCommSummary(99);  // returns at once, nothing shown
    EXPECT_EQ(detail.windowTitle(), caption);
    EXPECT_FALSE(detail.isVisible());
}

}  // namespace
