#include "app/Startup.h"

#include <xcb/xcb.h>

#include <QIcon>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <iostream>
#include <string>

#include "app/About.h"
#include "app/CommandLine.h"
#include "app/Comsettings.h"
#include "app/ErrorHandler.h"
#include "app/Main.h"
#include "app/WindowLook.h"
#include "operations/windows/Commconfigsummary.h"
#include "operations/windows/ConfigureComm.h"
#include "operations/windows/Forms.h"
#include "operations/windows/RequestComm.h"
#include "operations/windows/Summary.h"
#include "operations/windows/WindowOperator.h"
#include "serial/Trace.h"

TForm_Main* Form_Main = nullptr;
TForm_AboutBox* Form_AboutBox = nullptr;
TForm_ComSettings* Form_ComSettings = nullptr;

namespace {

std::vector<QWidget*> createdForms;

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

// Whether an X display answers under this name: the connection the toolkit would make, opened and
// closed again. An empty name is no display.
bool XDisplayAnswers(const std::string& name) {
    if (name.empty()) return false;
    xcb_connection_t* connection = xcb_connect(name.c_str(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

// Whether the window toolkit will find a display: the platform named by -platform NAME (or
// QT_QPA_PLATFORM; several may be given, separated by ';') must be one that needs none, or one whose
// display is set and, for X, answers. Without this the toolkit aborts the program with a core dump.
bool DisplayAvailable(int argc, char** argv) {
    std::string platforms;
    std::string display = Set("DISPLAY") ? std::getenv("DISPLAY") : "";
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i] != nullptr ? argv[i] : "";
        const std::string name = arg.rfind("--", 0) == 0 ? arg.substr(1) : arg;
        if ((name == "-platform" || name == "-display") && i + 1 < argc) {
            (name == "-platform" ? platforms : display) = argv[i + 1];
            ++i;
        } else if (name.rfind("-platform=", 0) == 0) {
            platforms = name.substr(10);
        } else if (name.rfind("-display=", 0) == 0) {
            display = name.substr(9);
        }
    }
    if (platforms.empty() && Set("QT_QPA_PLATFORM")) platforms = std::getenv("QT_QPA_PLATFORM");
    int x11 = -1;  // asked once, when a platform needs it
    const auto xAnswers = [&] {
        if (x11 < 0) x11 = XDisplayAnswers(display) ? 1 : 0;
        return x11 == 1;
    };
    if (platforms.empty()) return xAnswers() || Set("WAYLAND_DISPLAY");
    size_t start = 0;
    while (start <= platforms.size()) {
        const size_t end = std::min(platforms.find(';', start), platforms.size());
        const std::string entry = platforms.substr(start, end - start);
        const std::string platform = entry.substr(0, entry.find(':'));
        if (platform == "xcb"                   ? xAnswers()
            : platform.rfind("wayland", 0) == 0 ? Set("WAYLAND_DISPLAY")
                                                : !platform.empty())
            return true;
        start = end + 1;
    }
    return false;
}

// The seven windows in creation order (also the order of the toolkit's window list): how each is
// created into its singleton pointer, and how the pointer is cleared again.
struct FormSlot {
    QWidget* (*create)();
    void (*clear)();
};

constexpr std::array<FormSlot, 7> kFormSlots = {{
    {[]() -> QWidget* { return Form_Main = new TForm_Main; }, [] { Form_Main = nullptr; }},
    {[]() -> QWidget* { return Form_RequestComm = new TForm_RequestComm; },
     [] { Form_RequestComm = nullptr; }},
    {[]() -> QWidget* { return Form_ConfigureComm = new TForm_ConfigureComm; },
     [] { Form_ConfigureComm = nullptr; }},
    {[]() -> QWidget* { return Form_Summary = new TForm_Summary; }, [] { Form_Summary = nullptr; }},
    {[]() -> QWidget* { return Form_AboutBox = new TForm_AboutBox; }, [] { Form_AboutBox = nullptr; }},
    {[]() -> QWidget* { return Form_Comm_Summary = new TForm_Comm_Summary; },
     [] { Form_Comm_Summary = nullptr; }},
    {[]() -> QWidget* { return Form_ComSettings = new TForm_ComSettings; },
     [] { Form_ComSettings = nullptr; }},
}};

}  // namespace

void StartConfigurator() {
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral(VC_VERSION));
    QApplication::setWindowIcon(QIcon(ConfiguratorPixmap()));
    LetWindowsRepaintDuringWaits();

    DestroyForms();
    for (const FormSlot& slot : kFormSlots) {
        QWidget* form = slot.create();
        // Only closing the main window ends the program, also while Com Settings is open.
        if (!createdForms.empty()) form->setAttribute(Qt::WA_QuitOnClose, false);
        createdForms.push_back(form);
    }
}

const std::vector<QWidget*>& CreatedForms() {
    return createdForms;
}

int RunConfigurator() {
    if (!Form_Main) return 0;
    Form_Main->show();
    return QApplication::exec();
}

void DestroyForms() {
    for (size_t i = createdForms.size(); i-- > 0;) {
        delete createdForms[i];
        kFormSlots[i].clear();
    }
    createdForms.clear();
}

int ConfiguratorMain(int argc, char** argv) {
    const CommandLine commandLine = ParseCommandLine(argc, argv);
    switch (commandLine.action) {
        case CommandLineAction::Help:
            std::cout << CommandLineUsage();
            return 0;
        case CommandLineAction::Version:
            std::cout << VersionText();
            return 0;
        case CommandLineAction::Error:
            std::cerr << "vandel-configurator: " << commandLine.error << "\n"
                      << "Try 'vandel-configurator --help' for more information.\n";
            return kCommandLineUsageError;
        case CommandLineAction::Run:
            break;
    }
    if (!ApplyCommandLine(commandLine)) {
        std::cerr << "vandel-configurator: the serial driver refused a --comm device name\n";
        return kCommandLineUsageError;
    }

    if (!DisplayAvailable(argc, argv)) {
        std::cerr << "vandel-configurator: no display to open the window on: set DISPLAY, start it with "
                     "-platform offscreen, or use vandel-cli for the same work without a window\n";
        return kCommandLineUsageError;
    }

    if (!commandLine.trace.empty()) {
        std::string error;
        if (!ProgramTrace().Open(commandLine.trace, std::string("vandel-configurator ") + VC_VERSION,
                                 error)) {
            std::cerr << "vandel-configurator: cannot write the trace: " << error << "\n";
            return kCommandLineUsageError;
        }
    }

    ConfiguratorApplication application(argc, argv);
    int status = 0;
    try {
        StartConfigurator();
        status = RunConfigurator();
    } catch (...) {
        // A failure while starting is shown like any other; the program then ends normally.
        ShowCurrentException();
        status = 0;
    }
    DestroyForms();
    ProgramTrace().Close();
    return status;
}
