// The window program's Operator: warning boxes, the OK/Cancel question, the hourglass and the
// focus sink.
#include <QAbstractButton>
#include <QMessageBox>
#include <gtest/gtest.h>

#include "operations/WindowOperator.h"
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
    op.Warning("Error 20", "Communications could not be established with the receiver \nconnected to Comm  4.");
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
