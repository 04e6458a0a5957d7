// Every message box text of the window program, shown on a 1024 x 768 and on a 1920 x 1080 screen:
// no text is ever cut, a line that fits keeps its place, a line too long for the box wraps.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <algorithm>
#include <string>

#include "operations/ConfigureReceivers.h"
#include "operations/windows/WindowOperator.h"
#include "tests/operations/WidgetTestSupport.h"

namespace {

struct BoxText {
    const char* title;
    std::string text;
    bool linesWhole;  // every line fits and keeps its place; else the one long line wraps
};

const std::string kLongFolder = "/srv/" + std::string(220, 'r') + "/settings.dat";

const BoxText kBoxTexts[] = {
    {"No Port Selected", "No Comm Port was selected.", true},
    {"Error 10", "Could not initialize Comm port 20.", true},
    {"Error 12",
     "Port B of the receiver connected to com  20 is currently operating with a serial configuration with "
     "which this application cannot effectively communicate.  The application will attempt to set the "
     "receiver to 9600 8 NONE 1.",
     false},
    {"Error 20", "Communications could not be established with the receiver \nconnected to Comm  20.", true},
    {"Error 30", "The settings could not be retrieved from the receiver \nconnected to Comm  20.", true},
    {"Invalid Configuration", kTimingModeNeedsStationaryText, true},
    {"Invalid Configuration", kPositionModeForbidsStationaryText, true},
    {"Save Failed",
     "The settings could not be saved to \"/home/operator/site 7/settings.dat\": Permission denied.", true},
    {"Save Failed", "The settings could not be saved to \"" + kLongFolder + "\": No such file or directory.",
     false},
    {"Configurator", "'' is not a valid integer value.", true},
    {"Configurator", "'" + std::string(300, '9') + "' is not a valid integer value.", false},
};

struct Measured {
    const QScreen* screen = nullptr;
    QRect box;  // on the screen
    bool labelInBox = false;
    int shownWidth = 0;  // the label's room for text
    int shownHeight = 0;
    QSize needed;  // the text laid out in that width
    int widestLine = 0;
    int lineSpacing = 0;
};

Measured Measure(QWidget* modal) {
    Measured seen;
    auto* box = qobject_cast<QMessageBox*>(modal);
    auto* label = box != nullptr ? box->findChild<QLabel*>("qt_msgbox_label") : nullptr;
    if (label == nullptr) return seen;
    seen.screen = box->screen();
    seen.box = box->frameGeometry();
    seen.labelInBox = box->rect().contains(label->geometry());
    seen.shownWidth = label->contentsRect().width();
    seen.shownHeight = label->contentsRect().height();
    const QFontMetrics metrics = label->fontMetrics();
    seen.needed =
        metrics.boundingRect(QRect(0, 0, seen.shownWidth, 100000), Qt::TextWordWrap, box->text()).size();
    for (const QString& line : box->text().split('\n'))
        seen.widestLine = std::max(seen.widestLine, metrics.horizontalAdvance(line));
    seen.lineSpacing = metrics.lineSpacing();
    return seen;
}

class MessageBoxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        TwoScreenTestApp();
        for (QScreen* screen : QGuiApplication::screens()) {
            if (screen->size() == QSize(1024, 768)) small = screen;
            if (screen->size() == QSize(1920, 1080)) large = screen;
        }
        if (small == nullptr || large == nullptr) GTEST_SKIP() << "needs the two offscreen screens";
    }
    QScreen* small = nullptr;
    QScreen* large = nullptr;
};

TEST_F(MessageBoxTest, NoTextIsCutOnEitherScreen) {
    for (QScreen* screen : {small, large}) {
        // The box comes up over the window that is active, here one on this screen.
        QWidget window;
        window.setScreen(screen);
        window.setGeometry(QRect(screen->availableGeometry().topLeft() + QPoint(40, 40), QSize(400, 300)));
        window.show();
        for (const BoxText& row : kBoxTexts) {
            QApplication::setActiveWindow(&window);
            const std::string where = std::string(row.title) + " on " + screen->name().toStdString();
            WindowOperator op;
            Measured seen;
            auto handled = OnNextModal([&](QWidget* modal) {
                seen = Measure(modal);
                modal->close();
            });
            if (std::string(row.title) == "Invalid Configuration")
                op.AskOkCancel(row.title, row.text);
            else
                op.Warning(row.title, row.text);
            ASSERT_TRUE(*handled) << where;
            EXPECT_EQ(seen.screen, screen) << where;
            EXPECT_TRUE(screen->availableGeometry().contains(seen.box)) << where;
            EXPECT_TRUE(seen.labelInBox) << where;
            EXPECT_LE(seen.needed.width(), seen.shownWidth) << where;
            EXPECT_LE(seen.needed.height(), seen.shownHeight) << where;
            const int lines = static_cast<int>(std::count(row.text.begin(), row.text.end(), '\n')) + 1;
            if (row.linesWhole) {
                EXPECT_LE(seen.widestLine, seen.shownWidth) << where;  // no line wraps
            } else {
                EXPECT_GT(seen.needed.height(), lines * seen.lineSpacing) << where;  // the long line wraps
            }
        }
    }
}

}  // namespace
