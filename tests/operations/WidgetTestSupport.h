// Helpers for the window tests: one QApplication per test process, and answering the next modal
// window from a timer (the modal exec() blocks the test's own thread).
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>

#include "serial/Serial.h"

// Never destroyed: at exit the toolkit's own globals (the input device registry among them) are gone
// before a static application object would be, and destroying it then crashes.
inline QApplication& TestApp() {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) return *existing;
    static int argc = 1;
    static char name[] = "operations-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// The test application on the offscreen window system with two screens side by side, 1024 x 768
// and 1920 x 1080 (tests/operations/two-screens.json). A process that already has its application
// keeps it, with the screens it has.
inline QApplication& TwoScreenTestApp() {
    if (QCoreApplication::instance() == nullptr && qgetenv("QT_QPA_PLATFORM") == "offscreen") {
        static int argc = 3;
        static char name[] = "operations-test";
        static char option[] = "-platform";
        static std::string platform =
            std::string("offscreen:configfile=") + VC_BUILT_SOURCE_DIR + "/tests/operations/two-screens.json";
        static char* argv[] = {name, option, platform.data(), nullptr};
        new QApplication(argc, argv);
    }
    return TestApp();
}

// Polls for the next modal window other than `notThis`; hands it to `handle`, which must close
// it. Gives up after a generous deadline (a hang guard), after which the window is closed anyway.
// Returns a flag that becomes true once a window was handled.
inline std::shared_ptr<bool> OnNextModal(std::function<void(QWidget*)> handle, QWidget* notThis = nullptr) {
    auto handled = std::make_shared<bool>(false);
    auto* timer = new QTimer(&TestApp());
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, handled, clock, handle, notThis]() {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != notThis && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            *handled = true;
            handle(modal);
        } else if (clock->elapsed() > 20000) {
            timer->stop();
            timer->deleteLater();
            if (modal != nullptr) modal->close();
        }
    });
    timer->start(10);
    return handled;
}

// Every comm port opens a device that cannot exist, so no test touches a real serial port.
inline void PointCommPortsNowhere() {
    for (int n = 1; n <= 20; ++n)
        SerialSetDeviceName(static_cast<uint8_t>(n), "/nonexistent/vc-test-tty" + std::to_string(n));
}
