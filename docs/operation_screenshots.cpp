// Takes the pictures of a configure run for docs/: the main window three seconds into the run (the
// dialog gone, the progress window up) and each "Invalid Configuration" question. Run on an X
// display by docs/screenshots.sh; the receiver is emulated in this process.
// Usage: operation_screenshots OUTPUT_FOLDER
#include <QApplication>
#include <QCheckBox>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <string>
#include <vector>

#include "app/Main.h"
#include "app/Startup.h"
#include "emulator/Emulator.h"
#include "operations/ConfigureComm.h"
#include "operations/Forms.h"
#include "operations/LoadFromReceiver.h"
#include "operations/Summary.h"
#include "operations/WindowOperator.h"
#include "serial/Serial.h"
#include "settings/Display.h"
#include "settings/SettingsImage.h"

namespace {

QString folder;
QString questionPicture;  // where the next "Invalid Configuration" box goes
QString runPicture;       // where the run goes, 3 s after the question was answered
bool summaryTaken = false;

// The screen, or only the part a window covers.
void Grab(const QString& path, const QWidget* window = nullptr) {
    const QRect area = window != nullptr ? window->frameGeometry() : QRect(0, 0, -1, -1);
    QGuiApplication::primaryScreen()
        ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
        .save(path);
    std::printf("%s\n", qPrintable(path));
    std::fflush(stdout);
}

// Answers whatever window the run opens: pictures the question and OKs it, pictures the first
// summary and closes it.
void Watch() {
    QWidget* modal = QApplication::activeModalWidget();
    if (auto* box = qobject_cast<QMessageBox*>(modal); box != nullptr && box->isVisible()) {
        if (box->windowTitle() == "Invalid Configuration" && !questionPicture.isEmpty()) {
            Grab(questionPicture);
            questionPicture.clear();
            const QString picture = runPicture;
            QTimer::singleShot(3000, [picture] { Grab(picture); });
        } else {
            std::fprintf(stderr, "box: %s\n", qPrintable(box->text()));
        }
        box->button(QMessageBox::Ok)->click();
    } else if (modal != nullptr && modal == Form_Summary && modal->isVisible()) {
        if (!summaryTaken) Grab(folder + "/summary.png", Form_Summary);  // the first run's summary
        summaryTaken = true;
        Form_Summary->reject();
    }
}

// One run with the survey on and the given receiver mode and dynamics code: one question.
void Run(uint8_t receiverMode, uint8_t dynamics, const QString& question, const QString& run) {
    std::vector<uint8_t> group(
        SettingsGroupBytes(kGroupGPSConfiguration),
        SettingsGroupBytes(kGroupGPSConfiguration) + SettingsGroup(kGroupGPSConfiguration).length);
    group[1] = receiverMode;
    group[3] = dynamics;
    ShowGroup(kGroupGPSConfiguration, group.data());
    questionPicture = question;
    runPicture = run;
    Form_ConfigureComm->CommCheckBox(0)->setChecked(true);
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
    QApplication application(argc, argv);
    StartConfigurator();
    Form_Main->show();
    folder = argv[1];
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, Watch);
    watcher.start(300);
    QTimer::singleShot(500, [] {
        LoadFromReceiver(0, TheWindowOperator());  // the receiver's own settings in the window
        Run(7, 1, folder + "/invalid-configuration-timing.png", folder + "/configure-progress.png");
        Run(4, 4, folder + "/invalid-configuration-position.png",
            folder + "/configure-progress-position.png");
        QApplication::quit();
    });
    const int status = QApplication::exec();
    DestroyForms();
    emulator.Stop();
    return status;
}
