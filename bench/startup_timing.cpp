// Start-up time and memory of the window program: the same start-up as vandel-configurator (the
// application, the seven windows, the main window shown), then, as soon as the main window is
// exposed, prints the time since the process started and its resident memory, and quits. Run it
// headless with QT_QPA_PLATFORM=offscreen. Usage: startup_timing
#include <time.h>
#include <unistd.h>

#include <QTimer>
#include <QWindow>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "app/ErrorHandler.h"
#include "app/Main.h"
#include "app/Startup.h"

namespace {

// Seconds since boot at which this process started (from /proc/self/stat, in clock ticks).
double ProcessStartSeconds() {
    std::ifstream stat("/proc/self/stat");
    std::string text;
    std::getline(stat, text);
    // Field 22 (starttime); the fields after the command name, which ends at the last ')'.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    for (int i = 3; i <= 22 && fields >> field; ++i) {
    }
    return std::stod(field) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double BootSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_BOOTTIME, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const double mainEntered = BootSeconds();
    ConfiguratorApplication application(argc, argv);
    StartConfigurator();
    Form_Main->show();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWindow* window = Form_Main->windowHandle();
        if (window == nullptr || !window->isExposed()) return;
        poll.stop();
        const double shown = BootSeconds();
        std::printf("startup: %.3f s from process start to the main window shown (%.3f s in main)\n",
                    shown - ProcessStartSeconds(), shown - mainEntered);
        std::printf("memory: %ld kB resident, %ld kB peak\n", StatusKilobytes("VmRSS"),
                    StatusKilobytes("VmHWM"));
        QApplication::quit();
    });
    poll.start(1);
    const int status = QApplication::exec();
    DestroyForms();
    return status;
}
