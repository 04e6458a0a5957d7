// Takes the pictures of the operations for docs/: a load whose receiver answers its line break at
// 600 baud (the Error 12 box, then the load's progress with its longest text beside the dialog), the
// main window three seconds into a configure run (the dialog gone, the progress window up), each
// "Invalid Configuration" question, the summary, and the reason shown on an Error 101 row. Run on
// an X display by docs/screenshots.sh; the receiver is emulated in this process.
// Usage: operation_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QToolTip>
#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/Main.h"
#include "app/Startup.h"
#include "emulator/Emulator.h"
#include "emulator/ReceiverModel.h"
#include "operations/LoadFromReceiver.h"
#include "operations/windows/ConfigureComm.h"
#include "operations/windows/Forms.h"
#include "operations/windows/RequestComm.h"
#include "operations/windows/Summary.h"
#include "operations/windows/WindowOperator.h"
#include "serial/Serial.h"
#include "serial/SerialDevice.h"
#include "serial/SerialTesting.h"
#include "serial/network/NetworkDevice.h"
#include "serial/posix/PosixDevice.h"
#include "settings/Display.h"
#include "settings/SettingsImage.h"

namespace {

QString folder;
QString questionPicture;  // where the next "Invalid Configuration" box goes
QString runPicture;       // where the run goes, 3 s after the question was answered
bool summaryTaken = false;
bool loadProgressTaken = false;
bool reasonWanted = false;   // the summary of the last run shows its Error 101 row's reason
bool reasonShowing = false;  // the summary stays until its reason is pictured

// The receiver at 600 baud behind Comm 2: it answers a line break with its Break Reply, which the
// PC reads, and nothing else at the line it is given.
constexpr char kSlowReceiver[] = "receiver-at-600-baud";

class SlowReceiver : public SerialDevice {
  public:
    bool Open(const std::string&) override { return true; }
    bool SetQueueSizes(int32_t, int32_t) override { return true; }
    bool GetLineSettings(DeviceLineSettings& settings) override {
        settings = line;
        return true;
    }
    bool SetLineSettings(const DeviceLineSettings& settings) override {
        line = settings;
        return true;
    }
    bool QueueCounts(int32_t& input, int32_t& output) override {
        std::lock_guard<std::mutex> guard(mutex);
        input = static_cast<int32_t>(pending.size());
        output = 0;
        return true;
    }
    int Read(uint8_t* buffer, int maxCount) override {
        std::lock_guard<std::mutex> guard(mutex);
        int n = 0;
        for (; n < maxCount && !pending.empty(); ++n) {
            buffer[n] = pending.front();
            pending.pop_front();
        }
        return n;
    }
    bool WaitReadable(int timeoutMs) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (!pending.empty()) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        return false;
    }
    int Write(const uint8_t*, int count, int) override { return count; }
    bool PurgeInput() override {
        std::lock_guard<std::mutex> guard(mutex);
        pending.clear();
        return true;
    }
    bool PurgeOutput() override { return true; }
    bool SetBreak(bool on) override {
        if (!on) {
            const std::string reply = BreakReplyText(PortLine{600, 8, 0, 1});
            std::lock_guard<std::mutex> guard(mutex);
            pending.insert(pending.end(), reply.begin(), reply.end());
        }
        return true;
    }
    bool Close() override { return true; }

  private:
    DeviceLineSettings line;
    std::mutex mutex;
    std::deque<uint8_t> pending;
};

// The screen, or only the part the given windows cover.
void Grab(const QString& path, std::initializer_list<const QWidget*> windows = {}) {
    QRect area(0, 0, -1, -1);
    for (const QWidget* window : windows)
        if (window != nullptr && window->isVisible())
            area = area.width() < 0 ? window->frameGeometry() : area.united(window->frameGeometry());
    QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(path);
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

// The progress of the load beside its dialog, once it shows the load's longest text.
void WatchLoadProgress() {
    const QLabel* progress = TheWindowOperator().ProgressWindow();
    if (loadProgressTaken || progress == nullptr || !progress->isVisible() ||
        !progress->text().contains("groups still missing"))
        return;
    loadProgressTaken = true;
    Grab(folder + "/load-progress.png", {Form_Main, Form_RequestComm, progress});
}

// The summary's Error 101 row, with its reason showing: pictured, then the summary closes.
void ShowReason() {
    const QLineEdit* edit = Form_Summary->RowOf(3).edit;
    QToolTip::showText(edit->mapToGlobal(QPoint(edit->width() / 3, edit->height() / 2)), edit->toolTip(),
                       Form_Summary);
    QTimer::singleShot(1000, [] {
        QRect area = Form_Summary->frameGeometry();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (widget->isVisible() && widget->inherits("QTipLabel"))
                area = area.united(widget->frameGeometry());
        QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .save(folder + "/summary-error101-reason.png");
        std::printf("%s\n", qPrintable(folder + "/summary-error101-reason.png"));
        std::fflush(stdout);
        QToolTip::hideText();
        reasonShowing = false;
        Form_Summary->reject();
    });
}

// Answers whatever window the operations open: pictures the questions and the Error 12 box and OKs
// them, pictures the first summary and closes it.
void Watch() {
    WatchLoadProgress();
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
        if (box->windowTitle() == "Invalid Configuration" && !questionPicture.isEmpty()) {
            Grab(questionPicture);
            questionPicture.clear();
            const QString picture = runPicture;
            QTimer::singleShot(3000, [picture] { Grab(picture); });
        } else if (box->windowTitle() == "Error 12") {
            Grab(folder + "/error12.png", {box});
        } else {
            std::fprintf(stderr, "box: %s\n", qPrintable(box->text()));
        }
        box->button(QMessageBox::Ok)->click();
    } else if (modal != nullptr && modal == Form_Summary && modal->isVisible()) {
        if (reasonShowing) return;
        if (reasonWanted) {
            reasonWanted = false;
            reasonShowing = true;
            ShowReason();
            return;
        }
        if (!summaryTaken) Grab(folder + "/summary.png", {Form_Summary});  // the first run's summary
        summaryTaken = true;
        Form_Summary->reject();
    }
}

// A load from the receiver at 600 baud on Comm 2, through its dialog.
void LoadFromTheSlowReceiver() {
    Form_RequestComm->SetItemIndex(1);
    QTimer::singleShot(700, [] { Form_RequestComm->findChild<QPushButton*>("Button_OK")->click(); });
    Form_RequestComm->exec();
}

// One run with the survey on and the given receiver mode and dynamics code: one question.
void SetReceiverModeAndDynamics(uint8_t receiverMode, uint8_t dynamics) {
    std::vector<uint8_t> group(
        SettingsGroupBytes(kGroupGPSConfiguration),
        SettingsGroupBytes(kGroupGPSConfiguration) + SettingsGroup(kGroupGPSConfiguration).length);
    group[1] = receiverMode;
    group[3] = dynamics;
    ShowGroup(kGroupGPSConfiguration, group.data());
}

void Run(uint8_t receiverMode, uint8_t dynamics, const QString& question, const QString& run) {
    SetReceiverModeAndDynamics(receiverMode, dynamics);
    questionPicture = question;
    runPicture = run;
    Form_ConfigureComm->CommCheckBox(0)->setChecked(true);
    QTimer::singleShot(700, [] { Form_ConfigureComm->findChild<QPushButton*>("Button_OK")->click(); });
    Form_ConfigureComm->exec();
}

// A run on Comm 3 alone, whose device is missing: its summary row tells why.
void RunOnAMissingPort() {
    SerialSetDeviceName(3, "/dev/ttyUSB7");
    SetReceiverModeAndDynamics(7, 4);  // a timing mode, stationary: no question
    for (int i = 0; i < 20; ++i) Form_ConfigureComm->CommCheckBox(i)->setChecked(i == 2);
    reasonWanted = true;
    QTimer::singleShot(700, [] { Form_ConfigureComm->findChild<QPushButton*>("Button_OK")->click(); });
    Form_ConfigureComm->exec();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: operation_screenshots OUTPUT_FOLDER\n");
        return 2;
    }
    Emulator emulator(EmulatorOptions{});
    std::string error;
    if (!emulator.Start(error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    SerialSetDeviceName(1, emulator.DeviceName(0));
    SerialSetDeviceName(2, kSlowReceiver);
    SetSerialDeviceMaker([](const std::string& name) -> std::unique_ptr<SerialDevice> {
        if (name == kSlowReceiver) return std::make_unique<SlowReceiver>();
        // Every other name: the usual device of its kind.
        if (name.rfind(kNetworkDevicePrefix, 0) == 0) return CreateNetworkDevice();
        return CreatePosixDevice();
    });
    QApplication application(argc, argv);
    StartConfigurator();
    Form_Main->show();
    folder = argv[1];
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, Watch);
    watcher.start(300);
    QTimer::singleShot(500, [] {
        LoadFromTheSlowReceiver();
        LoadFromReceiver(0, TheWindowOperator());  // the receiver's own settings in the window
        Run(7, 1, folder + "/invalid-configuration-timing.png", folder + "/configure-progress.png");
        Run(4, 4, folder + "/invalid-configuration-position.png",
            folder + "/configure-progress-position.png");
        RunOnAMissingPort();
        QApplication::quit();
    });
    const int status = QApplication::exec();
    DestroyForms();
    emulator.Stop();
    return status;
}
