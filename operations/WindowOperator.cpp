#include "operations/WindowOperator.h"

#include <QApplication>
#include <QEventLoop>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <thread>

#include "operations/Forms.h"
#include "operations/OperationWait.h"
#include "operations/Summary.h"
#include "settings/SettingsView.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRepaintSlice = std::chrono::milliseconds(10);

// A wait of an operation on the window's thread: paint, timer and window-system events are handled
// in slices of 10 ms; keyboard and mouse input stays queued until the operation is over.
void RepaintingSleep(int milliseconds) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return;
        std::this_thread::sleep_for(std::min<Clock::duration>(left, kRepaintSlice));
    }
}

// The program's main window (the dialogs that start operations have closed by the time progress
// is shown), or nullptr when there is none.
QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(widget) != nullptr && widget->isVisible()) return widget;
    return nullptr;
}

// Centres the window over the main window, else on the screen.
void PlaceOver(QWidget& window) {
    window.adjustSize();
    QRect area;
    if (const QWidget* main = MainWindow())
        area = main->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    window.move(area.center() - QPoint(window.width() / 2, window.height() / 2));
}

}  // namespace

void KeepMessageBoxLines(QMessageBox& box) {
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (label == nullptr) return;
    // The box wraps its text at a width of its own choosing once a line is long. A label at least as
    // wide as its longest line gives it no reason to: the box grows to fit instead.
    label->ensurePolished();
    const QFontMetrics metrics = label->fontMetrics();
    int longest = 0;
    for (const QString& line : box.text().split(QLatin1Char('\n')))
        longest = std::max(longest, metrics.horizontalAdvance(line));
    label->setMinimumWidth(longest + 2 * metrics.averageCharWidth());
}

namespace {

// A message box whose lines stay as its text breaks them, whatever the box's own width rule.
class LineKeepingBox : public QMessageBox {
  public:
    using QMessageBox::QMessageBox;

  protected:
    void showEvent(QShowEvent* event) override {
        KeepMessageBoxLines(*this);
        QMessageBox::showEvent(event);
    }
};

}  // namespace

int WindowOperator::RunBox(QMessageBox& box) {
    HideProgress();
    const bool busy = busyDepth > 0;
    if (busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const int result = box.exec();
    if (busy) QApplication::restoreOverrideCursor();
    return result;
}

void WindowOperator::Warning(const std::string& title, const std::string& text) {
    LineKeepingBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                       QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName("MessageBox_Warning");
    RunBox(box);
}

bool WindowOperator::AskOkCancel(const std::string& title, const std::string& text) {
    LineKeepingBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                       QMessageBox::Ok | QMessageBox::Cancel, QApplication::activeWindow());
    box.setObjectName("MessageBox_OkCancel");
    box.setDefaultButton(QMessageBox::Ok);
    return RunBox(box) == QMessageBox::Ok;
}

void WindowOperator::SetBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth;
    } else if (busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth;
        if (busyDepth == 0) HideProgress();
    }
}

void WindowOperator::HideProgress() {
    if (QLabel* window = progressWindow.data()) window->hide();
}

void WindowOperator::ShowConfigurationSummary() {
    HideProgress();
    if (Form_Summary != nullptr) {
        Form_Summary->ShowConfigurationSummary();
    } else {
        TForm_Summary summary;
        summary.ShowConfigurationSummary();
    }
}

void WindowOperator::FocusSink() {
    if (SettingsView* view = CurrentSettingsView()) view->FocusSink();
}

void WindowOperator::Progress(const std::string& text) {
    QLabel* window = progressWindow.data();
    if (text.empty()) {
        if (window != nullptr) window->hide();
        return;
    }
    if (window == nullptr) {
        // A frameless note that takes no input and no focus: it only tells.
        window = new QLabel(MainWindow());
        window->setObjectName("ProgressWindow");
        window->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                               Qt::WindowTransparentForInput);
        window->setAttribute(Qt::WA_ShowWithoutActivating);
        window->setFrameStyle(QFrame::Panel | QFrame::Raised);
        window->setLineWidth(2);
        window->setMargin(12);
        window->setMinimumWidth(360);
        window->setAlignment(Qt::AlignCenter);
        window->setAutoFillBackground(true);
        progressWindow = window;
    }
    window->setText(QString::fromStdString(text));
    if (!window->isVisible()) {
        PlaceOver(*window);
        window->show();
    }
    window->repaint();
}

WindowOperator& TheWindowOperator() {
    static WindowOperator windowOperator;
    return windowOperator;
}

void LetWindowsRepaintDuringWaits() {
    SetOperationSleeper(RepaintingSleep);
}
