// The two comm-port dialogs: their controls, the selection they keep, and their OK handlers up to
// the point where a port would be touched.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "link/PortContext.h"
#include "operations/OperationWait.h"
#include "operations/windows/ConfigureComm.h"
#include "operations/windows/RequestComm.h"
#include "support/Pty.h"
#include "support/RecordingOperator.h"
#include "tests/operations/WidgetTestSupport.h"

namespace {

template <typename T>
T* Child(QWidget& window, const char* name) {
    T* child = window.findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TestApp();
        PointCommPortsNowhere();
        for (auto& context : PortContexts) context.operationMode = kModeIdle;
    }
};

using Kind = RecordingOperator::Kind;

// Clicks the dialog's OK and tells whether the dialog was up at the operation's waits: at the
// first, and at every one (the wait observer is a plain function: what it sees is kept here).
struct VisibleAtWaits {
    bool first = false;
    bool every = true;
    int waits = 0;
};
const QWidget* watchedDialog = nullptr;
VisibleAtWaits visibleAtWaits;

VisibleAtWaits ClickOkAndWatchTheWaits(QWidget& dialog) {
    watchedDialog = &dialog;
    visibleAtWaits = {};
    SetOperationWaitObserver([](int) {
        const bool visible = watchedDialog->isVisible();
        if (visibleAtWaits.waits++ == 0) visibleAtWaits.first = visible;
        visibleAtWaits.every = visibleAtWaits.every && visible;
    });
    Child<QPushButton>(dialog, "Button_OK")->click();
    SetOperationWaitObserver(nullptr);
    watchedDialog = nullptr;
    return visibleAtWaits;
}

TEST_F(DialogsTest, RequestCommHasItsCaptionTextsAndTwentyItemsInTwoColumns) {
    TForm_RequestComm dialog;
    EXPECT_EQ(dialog.windowTitle(), "Comm port selection");
    EXPECT_EQ(Child<QLabel>(dialog, "Label1")->text(), "Select the comm port to request settings from:");
    EXPECT_EQ(Child<QLabel>(dialog, "Label_Note1")->text(), "Note:  The PC comm port must be");
    EXPECT_EQ(Child<QLabel>(dialog, "Label_Note2")->text(), "connected to receiver port B.");
    EXPECT_EQ(Child<QPushButton>(dialog, "Button_OK")->text(), "OK");
    EXPECT_EQ(Child<QPushButton>(dialog, "Cancel")->text(), "Cancel");
    auto* group = Child<QGroupBox>(dialog, "RadioGroup_RequestComm");
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->title(), "Comm Port");
    auto* grid = qobject_cast<QGridLayout*>(group->layout());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->columnCount(), 2);
    for (int i = 0; i < 20; ++i) {
        auto* item = Child<QRadioButton>(dialog, qPrintable(QString("RadioButton_Comm%1").arg(i + 1)));
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->text(), QString("Comm %1").arg(i + 1));
        int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(item), &row, &column, &rowSpan, &columnSpan);
        EXPECT_EQ(column, i / 10) << "Comm " << i + 1;
        EXPECT_EQ(row, i % 10) << "Comm " << i + 1;
    }
}

TEST_F(DialogsTest, RequestCommStartsWithNoSelectionAndKeepsItBetweenShowings) {
    TForm_RequestComm dialog;
    EXPECT_EQ(dialog.ItemIndex(), -1);
    Child<QRadioButton>(dialog, "RadioButton_Comm7")->click();
    EXPECT_EQ(dialog.ItemIndex(), 6);
    dialog.show();
    dialog.hide();
    dialog.show();
    EXPECT_EQ(dialog.ItemIndex(), 6);
    Child<QRadioButton>(dialog, "RadioButton_Comm20")->click();
    EXPECT_EQ(dialog.ItemIndex(), 19);
    EXPECT_FALSE(Child<QRadioButton>(dialog, "RadioButton_Comm7")->isChecked());
}

TEST_F(DialogsTest, RequestCommOkWithoutSelectionAsksForAPortAndStaysOpen) {
    TForm_RequestComm dialog;
    RecordingOperator op;
    op.ExpectWarning("No Port Selected", "No Comm Port was selected.");
    dialog.SetOperator(op);
    dialog.show();
    Child<QPushButton>(dialog, "Button_OK")->click();
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(op.Count(Kind::Busy), 0);  // nothing was started
}

TEST_F(DialogsTest, RequestCommOkOnAPortThatDoesNotOpenShowsError10AndStaysOpen) {
    TForm_RequestComm dialog;
    RecordingOperator op;
    op.ExpectWarning("Error 10", "Could not initialize Comm port 20.");
    dialog.SetOperator(op);
    dialog.SetItemIndex(19);
    dialog.show();
    Child<QPushButton>(dialog, "Button_OK")->click();
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(op.BusyBalanced());
    EXPECT_EQ(op.Count(Kind::Busy), 2);
    EXPECT_EQ(op.Count(Kind::FocusSink), 1);
    // Hourglass on before the box, off after it, focus last.
    ASSERT_EQ(op.Log().size(), 4u);
    EXPECT_EQ(op.Log()[0].kind, Kind::Busy);
    EXPECT_TRUE(op.Log()[0].flag);
    EXPECT_EQ(op.Log()[1].kind, Kind::Warning);
    EXPECT_EQ(op.Log()[2].kind, Kind::Busy);
    EXPECT_FALSE(op.Log()[2].flag);
    EXPECT_EQ(op.Log()[3].kind, Kind::FocusSink);
}

// The dialog stays up while the load runs, and goes away when the load has ended; the progress
// tells what the load does meanwhile.
TEST_F(DialogsTest, RequestCommStaysUpUntilTheLoadEnds) {
    PtyPair line;  // nothing answers on it: the load ends in Error 30
    ASSERT_TRUE(line.IsOpen());
    ASSERT_TRUE(SerialSetDeviceName(5, line.SlavePath()));
    TForm_RequestComm dialog;
    RecordingOperator op;
    op.ExpectWarning("Error 30");
    dialog.SetOperator(op);
    dialog.SetItemIndex(4);
    dialog.show();
    const VisibleAtWaits seen = ClickOkAndWatchTheWaits(dialog);
    EXPECT_GT(seen.waits, 8);
    EXPECT_TRUE(seen.every);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(op.ScriptDone());
    ASSERT_GE(op.ProgressTexts().size(), 2u);
    EXPECT_EQ(op.ProgressTexts().front(), "Comm 5: Line break");
    EXPECT_EQ(op.ProgressTexts().back(), "");
}

// Error 10 in the window program: the box's text as ever, and why the port would not open where
// the operator points at it.
TEST_F(DialogsTest, Error10TellsWhyThePortWouldNotOpen) {
    TForm_RequestComm dialog;  // with the window operator
    dialog.SetItemIndex(19);
    dialog.show();
    QString text;
    QString tip;
    auto handled = OnNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        text = box->text();
        tip = box->findChild<QLabel*>("qt_msgbox_label")->toolTip();
        box->button(QMessageBox::Ok)->click();
    });
    Child<QPushButton>(dialog, "Button_OK")->click();
    ASSERT_TRUE(*handled);
    EXPECT_EQ(text, "Could not initialize Comm port 20.");
    EXPECT_EQ(tip.toStdString(), DescribeSerialFailure(SerialLastFailure(20)));
    EXPECT_TRUE(tip.startsWith("no such device")) << tip.toStdString();
    EXPECT_TRUE(dialog.isVisible());
}

// Each port's item tells its device, as named when the dialog shows.
TEST_F(DialogsTest, EachPortTellsItsDevice) {
    TForm_RequestComm request;
    TForm_ConfigureComm configure;
    ASSERT_TRUE(SerialSetDeviceName(3, "/dev/ttyUSB2"));
    for (QDialog* dialog : {static_cast<QDialog*>(&request), static_cast<QDialog*>(&configure)}) {
        dialog->show();
        for (int n = 1; n <= 20; ++n) {
            const auto* item = dialog->findChild<QAbstractButton*>(
                QString(dialog == &request ? "RadioButton_Comm%1" : "CheckBox_Comm%1").arg(n));
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->toolTip().toStdString(),
                      "Comm " + std::to_string(n) + " = " + SerialDeviceName(n));
        }
        EXPECT_EQ(
            dialog->findChild<QAbstractButton*>(dialog == &request ? "RadioButton_Comm3" : "CheckBox_Comm3")
                ->toolTip(),
            "Comm 3 = /dev/ttyUSB2");
        dialog->hide();
    }
}

TEST_F(DialogsTest, RequestCommCancelClosesWithoutTouchingAnything) {
    PtyPair line;  // an openable port 3: Cancel must leave it alone
    ASSERT_TRUE(line.IsOpen());
    SerialSetDeviceName(3, line.SlavePath());
    TForm_RequestComm dialog;
    RecordingOperator op;
    dialog.SetOperator(op);
    dialog.SetItemIndex(2);
    dialog.show();
    Child<QPushButton>(dialog, "Cancel")->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_TRUE(op.Log().empty());
    EXPECT_EQ(SerialReceiveCount(3), -1);  // never opened
    EXPECT_TRUE(line.ReadAvailable().empty());
    EXPECT_EQ(dialog.ItemIndex(), 2);
}

TEST_F(DialogsTest, ConfigureCommHasItsCaptionTextsAndTwentyCheckBoxes) {
    TForm_ConfigureComm dialog;
    EXPECT_EQ(dialog.windowTitle(), "Configure Receivers");
    EXPECT_EQ(Child<QLabel>(dialog, "Label1")->text(), "Select the comm port(s) to load settings to:");
    EXPECT_EQ(Child<QLabel>(dialog, "Label_Note1")->text(), "Note:  The PC comm port(s) must be");
    EXPECT_EQ(Child<QLabel>(dialog, "Label_Note2")->text(), "connected to receiver port(s) B.");
    EXPECT_EQ(Child<QGroupBox>(dialog, "GroupBox1")->title(), "Comm Port(s)");
    EXPECT_EQ(Child<QPushButton>(dialog, "Button_OK")->text(), "OK");
    EXPECT_EQ(Child<QPushButton>(dialog, "Button_Cancel")->text(), "Cancel");
    for (int n = 1; n <= 20; ++n) {
        auto* check = Child<QCheckBox>(dialog, qPrintable(QString("CheckBox_Comm%1").arg(n)));
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->text(), QString("Comm %1").arg(n));
        EXPECT_FALSE(check->isChecked());
        EXPECT_EQ(dialog.CommCheckBox(n - 1), check);
    }
    EXPECT_EQ(dialog.CommCheckBox(20), nullptr);
    EXPECT_EQ(dialog.CommCheckBox(-1), nullptr);
}

TEST_F(DialogsTest, ConfigureCommKeepsItsTicksBetweenShowings) {
    TForm_ConfigureComm dialog;
    dialog.show();
    Child<QCheckBox>(dialog, "CheckBox_Comm3")->click();
    Child<QCheckBox>(dialog, "CheckBox_Comm20")->click();
    Child<QPushButton>(dialog, "Button_Cancel")->click();
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    for (int n = 1; n <= 20; ++n)
        EXPECT_EQ(dialog.CommCheckBox(n - 1)->isChecked(), n == 3 || n == 20) << "Comm " << n;
}

TEST_F(DialogsTest, ConfigureCommOkWithoutTicksAsksForAPortClearsTheSelectionAndStaysOpen) {
    TForm_ConfigureComm dialog;
    RecordingOperator op;
    op.ExpectWarning("No Port Selected", "No Comm Port was selected.");
    dialog.SetOperator(op);
    PortContexts[4].operationMode = kModeConfiguring;  // left from elsewhere: the handler starts from 0
    dialog.show();
    Child<QPushButton>(dialog, "Button_OK")->click();
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_TRUE(dialog.isVisible());
    for (const auto& context : PortContexts) EXPECT_EQ(context.operationMode, kModeIdle);
    EXPECT_EQ(op.Count(Kind::Busy), 0);
}

// Comm 2 and Comm 20 ticked, neither can be opened: the run shows Port Result 1 on both rows and
// 0 elsewhere, and afterwards everything is back at 0.
TEST_F(DialogsTest, ConfigureCommOkRunsTheConfigurationOnTheTickedPorts) {
    TForm_ConfigureComm dialog;
    RecordingOperator op;
    std::array<uint8_t, 20> results{};
    std::array<uint8_t, 20> modes{};
    op.ExpectSummary([&] {
        for (int i = 0; i < 20; ++i) {
            results[static_cast<size_t>(i)] = PortContexts[static_cast<size_t>(i)].portResult;
            modes[static_cast<size_t>(i)] = PortContexts[static_cast<size_t>(i)].operationMode;
        }
    });
    dialog.SetOperator(op);
    dialog.CommCheckBox(1)->setChecked(true);
    dialog.CommCheckBox(19)->setChecked(true);
    dialog.show();
    EXPECT_FALSE(ClickOkAndWatchTheWaits(dialog).first);  // closed before the run's first wait
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(results[static_cast<size_t>(i)], (i == 1 || i == 19) ? kResultOpenFailed : kResultNotInRun)
            << i;
        EXPECT_EQ(modes[static_cast<size_t>(i)], kModeIdle)
            << i;  // dropped from the run when the open failed
        EXPECT_EQ(PortContexts[static_cast<size_t>(i)].portResult, kResultNotInRun);
    }
    EXPECT_TRUE(op.BusyBalanced());
    ASSERT_FALSE(op.Log().empty());
    EXPECT_EQ(op.Log().back().kind, Kind::FocusSink);
    // The ticks stay for the next showing.
    EXPECT_TRUE(dialog.CommCheckBox(1)->isChecked());
    EXPECT_TRUE(dialog.CommCheckBox(19)->isChecked());
}

}  // namespace
