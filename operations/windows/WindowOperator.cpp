#include "operations/windows/WindowOperator.h"

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

#include "operations/OperationWait.h"
#include "operations/windows/Forms.h"
#include "operations/windows/MessageBox.h"
#include "operations/windows/Summary.h"
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

// The program's main window, or nullptr when there is none.
QWidget* MainWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<QMainWindow*>(widget) != nullptr && widget->isVisible()) return widget;
    return nullptr;
}

// Centres the window over the main window (else on the screen). A dialog still up beside it (Load
// From Receiver keeps its own until the load ends) is not covered: the window goes just below the
// dialog, or just above it where the screen ends first.
void PlaceOver(QWidget& window) {
    constexpr int kGap = 8;
    QRect area;
    if (const QWidget* main = MainWindow())
        area = main->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        area = screen->availableGeometry();
    QRect placed(QPoint(), window.frameGeometry().size());
    placed.moveCenter(area.center());
    const QWidget* dialog = QApplication::activeModalWidget();
    if (dialog != nullptr && dialog != &window && dialog->isVisible() &&
        placed.intersects(dialog->frameGeometry())) {
        const QRect covered = dialog->frameGeometry();
        placed.moveTop(covered.bottom() + kGap);
        const QScreen* screen = dialog->screen();
        if (screen != nullptr && placed.bottom() > screen->availableGeometry().bottom())
            placed.moveBottom(covered.top() - kGap);
    }
    window.move(placed.topLeft());
}

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
    PortWarning(title, text, {});
}

void WindowOperator::PortWarning(const std::string& title, const std::string& text,
                                 const std::string& reason) {
    FittingMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                          QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName("MessageBox_Warning");
    // Why the port failed, where the operator points at the port's text.
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label")))
        label->setToolTip(QString::fromStdString(reason));
    RunBox(box);
}

bool WindowOperator::AskOkCancel(const std::string& title, const std::string& text) {
    FittingMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
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

void WindowOperator::Progress(const OperationProgress& progress) {
    const std::string text = ProgressText(progress);
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
    // The window grows with its text, so that no text is ever cut, and stays centred as it grows;
    // it starts again from its text each time it shows.
    window->setText(QString::fromStdString(text));
    const bool shown = window->isVisible();
    const QSize wanted = window->sizeHint();
    if (!shown || wanted.width() > window->width() || wanted.height() > window->height()) {
        window->resize(shown ? wanted.expandedTo(window->size()) : wanted);
        PlaceOver(*window);
    }
    if (!shown) window->show();
    window->repaint();
}

WindowOperator& TheWindowOperator() {
    static WindowOperator windowOperator;
    return windowOperator;
}

void LetWindowsRepaintDuringWaits() {
    SetOperationSleeper(RepaintingSleep);
}
