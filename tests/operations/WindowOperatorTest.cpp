// The window program's Operator: warning boxes, the OK/Cancel question, the hourglass and the
// focus sink.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <cstdlib>

#include "operations/OperationWait.h"
#include "operations/windows/WindowOperator.h"
#include "settings/SettingsView.h"
#include "tests/operations/WidgetTestSupport.h"

namespace {

struct BoxSeen {
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
};

BoxSeen Inspect(QWidget* modal) {
    BoxSeen seen;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    }
    return seen;
}

class WindowOperatorTest : public ::testing::Test {
  protected:
    void SetUp() override { TestApp(); }
};

TEST_F(WindowOperatorTest, WarningIsAWarningBoxWithOkOnly) {
    WindowOperator op;
    BoxSeen seen;
    auto handled = OnNextModal([&](QWidget* modal) {
        seen = Inspect(modal);
        qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    op.Warning("Error 20",
               "Communications could not be established with the receiver \nconnected to Comm  4.");
    EXPECT_TRUE(*handled);
    EXPECT_EQ(seen.title, "Error 20");
    EXPECT_EQ(seen.text, "Communications could not be established with the receiver \nconnected to Comm  4.");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
}

TEST_F(WindowOperatorTest, QuestionHasOkAndCancelAndReportsTheChoice) {
    WindowOperator op;
    for (QMessageBox::StandardButton press : {QMessageBox::Ok, QMessageBox::Cancel}) {
        BoxSeen seen;
        auto handled = OnNextModal([&](QWidget* modal) {
            seen = Inspect(modal);
            qobject_cast<QMessageBox*>(modal)->button(press)->click();
        });
        const bool answer = op.AskOkCancel("Invalid Configuration", "question");
        EXPECT_TRUE(*handled);
        EXPECT_EQ(answer, press == QMessageBox::Ok);
        EXPECT_EQ(seen.title, "Invalid Configuration");
        EXPECT_EQ(seen.icon, QMessageBox::Warning);
        EXPECT_EQ(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
}

TEST_F(WindowOperatorTest, BusySetsAndRestoresTheHourglass) {
    WindowOperator op;
    ASSERT_EQ(QApplication::overrideCursor(), nullptr);
    op.SetBusy(true);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    op.SetBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    // A restore without a set leaves someone else's cursor alone.
    QApplication::setOverrideCursor(Qt::CrossCursor);
    op.SetBusy(false);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    QApplication::restoreOverrideCursor();
}

// The progress window tells what runs and is gone before any box; over a box the pointer is the
// arrow, and the hourglass comes back when the box is answered.
TEST_F(WindowOperatorTest, ProgressGoesAwayForBoxesAndTheArrowShowsOverThem) {
    WindowOperator op;
    op.SetBusy(true);
    op.Progress({3, "Link Check", 2, 8, -1, {}});
    QLabel* progress = op.ProgressWindow();
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    EXPECT_EQ(progress->text(), "Comm 3: Link Check, pass 2 of 8");
    EXPECT_TRUE(progress->windowFlags().testFlag(Qt::WindowTransparentForInput));
    op.Progress({0, "Verifying", 1, 8, 5, "groups still missing"});
    EXPECT_EQ(progress->text(), "Verifying, pass 1 of 8: 5 groups still missing");

    bool progressShown = true;
    Qt::CursorShape overBox = Qt::WaitCursor;
    auto handled = OnNextModal([&](QWidget* modal) {
        progressShown = progress->isVisible();
        overBox = QApplication::overrideCursor()->shape();
        qobject_cast<QMessageBox*>(modal)->button(QMessageBox::Ok)->click();
    });
    op.Warning("Error 30", "text");
    EXPECT_TRUE(*handled);
    EXPECT_FALSE(progressShown);
    EXPECT_EQ(overBox, Qt::ArrowCursor);
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    op.Progress({0, "Saving settings", 0, 0, -1, {}});
    EXPECT_TRUE(progress->isVisible());
    op.Progress({});
    EXPECT_FALSE(progress->isVisible());
    op.SetBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// The progress window shows the whole of every text, the longest included, centred on the main
// window; a dialog still up there is not covered.
TEST_F(WindowOperatorTest, ProgressWindowFitsEveryTextCentredOnTheMainWindow) {
    QMainWindow main;
    main.setGeometry(150, 120, 717, 480);
    main.show();
    WindowOperator op;
    const auto expectCentredHorizontally = [&](const QLabel& window, const char* text) {
        EXPECT_LE(std::abs(window.frameGeometry().center().x() - main.frameGeometry().center().x()), 1)
            << text;
    };
    const OperationProgress steps[] = {{1, "Line break", 0, 0, -1, {}},
                                       {20, "Waiting for the reply to the line break", 4, 4, -1, {}},
                                       {20, "Requesting settings", 8, 8, 13, "groups still missing"},
                                       {20, "Link Check", 1, 8, -1, {}}};
    for (const OperationProgress& step : steps) {
        op.Progress(step);
        const std::string shown = ProgressText(step);
        const char* text = shown.c_str();
        QLabel* window = op.ProgressWindow();
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(window->text().toStdString(), shown);
        const int room = window->contentsRect().width() - 2 * window->margin();
        EXPECT_LE(window->fontMetrics().horizontalAdvance(QString::fromStdString(shown)), room) << text;
        expectCentredHorizontally(*window, text);
        EXPECT_LE(std::abs(window->frameGeometry().center().y() - main.frameGeometry().center().y()), 1)
            << text;
    }
    op.Progress({});

    QDialog dialog;  // a comm-port dialog, up over the middle of the main window
    dialog.setWindowModality(Qt::ApplicationModal);
    dialog.setGeometry(
        QRect(QPoint(), QSize(300, 320)).translated(main.frameGeometry().center() - QPoint(150, 160)));
    dialog.show();
    op.Progress({5, "Waiting for the reply to the line break", 1, 4, -1, {}});
    QLabel* window = op.ProgressWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_FALSE(window->frameGeometry().intersects(dialog.frameGeometry()));
    expectCentredHorizontally(*window, "beside the dialog");
    op.Progress({});
}

// During the waits of an operation the window is repainted (a closed dialog disappears, nothing
// looks hung); with a plain sleep nothing is.
class PaintCounter : public QWidget {
  public:
    int paints = 0;

  protected:
    void paintEvent(QPaintEvent*) override { ++paints; }
};

TEST_F(WindowOperatorTest, WaitsLetTheWindowRepaint) {
    PaintCounter window;
    window.resize(100, 100);
    window.show();
    QCoreApplication::processEvents();
    for (const bool repaint : {false, true}) {
        SetOperationSleeper(nullptr);
        if (repaint) LetWindowsRepaintDuringWaits();
        window.paints = 0;
        window.update();
        OperationWait(50);
        EXPECT_EQ(window.paints > 0, repaint);
        QCoreApplication::processEvents();
    }
    SetOperationSleeper(nullptr);
}

class FocusCountingView : public SettingsView {
  public:
    int focusCalls = 0;
    void SetText(std::string_view, const std::string&) override {}
    std::string Text(std::string_view) const override { return {}; }
    void SetChecked(std::string_view, bool) override {}
    bool Checked(std::string_view) const override { return false; }
    void SetItemIndex(std::string_view, int) override {}
    int ItemIndex(std::string_view) const override { return -1; }
    void SetEnabled(std::string_view, bool) override {}
    bool Enabled(std::string_view) const override { return false; }
    void FocusSink() override { ++focusCalls; }
};

TEST_F(WindowOperatorTest, FocusSinkGoesThroughTheSettingsView) {
    WindowOperator op;
    RegisterSettingsView(nullptr);
    op.FocusSink();  // no main window: nothing to do, no crash
    FocusCountingView view;
    RegisterSettingsView(&view);
    op.FocusSink();
    RegisterSettingsView(nullptr);
    EXPECT_EQ(view.focusCalls, 1);
}

}  // namespace
