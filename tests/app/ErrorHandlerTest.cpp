// The general error handler: an exception escaping an event handler is shown in a box titled
// "Configurator" with the error icon, a full stop appended when missing, and the program goes on.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QObject>
#include <QPushButton>
#include <stdexcept>

#include "AppTestSupport.h"
#include "app/ErrorHandler.h"
#include "app/Main.h"
#include "app/Startup.h"
#include "settings/Capture.h"

namespace {

// An object whose event handler throws for the first `failures` events it gets.
class ThrowingObject : public QObject {
  public:
    int failures = 1;
    int handled = 0;

    bool event(QEvent* event) override {
        if (event->type() != QEvent::User) return QObject::event(event);
        if (failures > 0) {
            --failures;
            throw ConversionError("'abc' is not a valid integer value");
        }
        ++handled;
        return true;
    }
};

class StrangeThrower : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::User) throw 42;
        return QObject::event(event);
    }
};

}  // namespace

TEST(ErrorMessageText, AppendsAFullStopWhenMissing) {
    EXPECT_EQ(ErrorMessageText("'' is not a valid integer value").toStdString(),
              "'' is not a valid integer value.");
    EXPECT_EQ(ErrorMessageText("Already ends.").toStdString(), "Already ends.");
    EXPECT_EQ(ErrorMessageText("Ends with a question?").toStdString(), "Ends with a question?.");
    EXPECT_EQ(ErrorMessageText("").toStdString(), ".");
    EXPECT_EQ(ErrorMessageText("...").toStdString(), "...");
}

TEST(GeneralErrorHandler, ShowsTheMessageInAnErrorBoxAndGoesOn) {
    EnsureTestApplication();
    MessageBoxRecorder boxes;
    ThrowingObject target;
    QEvent first(QEvent::User);
    EXPECT_FALSE(QCoreApplication::sendEvent(&target, &first));
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes.boxes[0].title.toStdString(), "Configurator");
    EXPECT_EQ(boxes.boxes[0].text.toStdString(), "'abc' is not a valid integer value.");

    // The program goes on: the next event is handled normally.
    QEvent second(QEvent::User);
    EXPECT_TRUE(QCoreApplication::sendEvent(&target, &second));
    EXPECT_EQ(target.handled, 1);
    EXPECT_EQ(boxes.boxes.size(), 1u);
}

TEST(GeneralErrorHandler, PostedEventsAreCoveredToo) {
    EnsureTestApplication();
    MessageBoxRecorder boxes;
    ThrowingObject target;
    target.failures = 2;
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    QCoreApplication::sendPostedEvents(&target, QEvent::User);
    EXPECT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(target.handled, 1);
}

TEST(GeneralErrorHandler, AnExceptionOfAnotherKindGetsAPlainMessage) {
    EnsureTestApplication();
    MessageBoxRecorder boxes;
    StrangeThrower target;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&target, &event);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title.toStdString(), "Configurator");
    EXPECT_EQ(boxes.boxes[0].text.toStdString(), "An unexpected error occurred.");
}

TEST(GeneralErrorHandler, RunGuardedShowsAndSwallows) {
    EnsureTestApplication();
    MessageBoxRecorder boxes;
    bool after = false;
    RunGuarded([] { throw std::runtime_error("Disk full."); });
    after = true;
    EXPECT_TRUE(after);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text.toStdString(), "Disk full.");
    EXPECT_EQ(boxes.boxes[0].icon, QMessageBox::Critical);
}

using MenuErrors = ConfiguratorFixture;

// A menu command that throws shows the box, skips its remaining steps, and the menu keeps working.
TEST_F(MenuErrors, AMenuCommandThatThrowsIsReportedAndTheMenuStillWorks) {
    MessageBoxRecorder boxes;
    int dialogs = 0;
    SetFileDialogRunner([&dialogs](QFileDialog&) -> QString {
        ++dialogs;
        throw ConversionError("'x' is not a valid floating point value");
    });
    QAction* load = Form_Main->findChild<QAction*>("Control_LoadFromFile");
    ASSERT_NE(load, nullptr);
    load->trigger();
    load->trigger();
    EXPECT_EQ(dialogs, 2);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[1].title.toStdString(), "Configurator");
    EXPECT_EQ(boxes.boxes[1].text.toStdString(), "'x' is not a valid floating point value.");
}

// A button whose click handler throws (as an operation window's OK does when the capture fails):
// the exception passes through the toolkit's button code to the handler, and the button keeps
// working afterwards.
TEST(GeneralErrorHandler, AButtonClickThatThrowsLeavesTheButtonUsable) {
    EnsureTestApplication();
    MessageBoxRecorder boxes;
    QPushButton button("OK");
    button.resize(80, 24);
    button.show();
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&clicks] {
        ++clicks;
        throw ConversionError("'' is not a valid integer value");
    });
    const QPointF centre(40, 12);
    for (int round = 0; round < 2; ++round) {
        QMouseEvent press(QEvent::MouseButtonPress, centre, button.mapToGlobal(centre), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, centre, button.mapToGlobal(centre), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&button, &press);
        QApplication::sendEvent(&button, &release);
        EXPECT_FALSE(button.isDown());
    }
    EXPECT_EQ(clicks, 2);
    ASSERT_EQ(boxes.boxes.size(), 2u);
    EXPECT_EQ(boxes.boxes[0].text.toStdString(), "'' is not a valid integer value.");
}
