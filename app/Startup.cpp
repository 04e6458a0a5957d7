#include "app/Startup.h"

#include <QIcon>
#include <array>
#include <iostream>

#include "app/About.h"
#include "app/CommandLine.h"
#include "app/Comsettings.h"
#include "app/ErrorHandler.h"
#include "app/Main.h"
#include "app/WindowLook.h"
#include "operations/Commconfigsummary.h"
#include "operations/ConfigureComm.h"
#include "operations/Forms.h"
#include "operations/RequestComm.h"
#include "operations/Summary.h"

TForm_Main* Form_Main = nullptr;
TForm_AboutBox* Form_AboutBox = nullptr;
TForm_ComSettings* Form_ComSettings = nullptr;

namespace {

std::vector<QWidget*> createdForms;

// The seven windows in creation order (also the order of the toolkit's window list): how each is
// created into its singleton pointer, and how the pointer is cleared again.
struct FormSlot {
    QWidget* (*create)();
    void (*clear)();
};

constexpr std::array<FormSlot, 7> kFormSlots = {{
    {[]() -> QWidget* { return Form_Main = new TForm_Main; }, [] { Form_Main = nullptr; }},
    {[]() -> QWidget* { return Form_RequestComm = new TForm_RequestComm; }, [] { Form_RequestComm = nullptr; }},
    {[]() -> QWidget* { return Form_ConfigureComm = new TForm_ConfigureComm; }, [] { Form_ConfigureComm = nullptr; }},
    {[]() -> QWidget* { return Form_Summary = new TForm_Summary; }, [] { Form_Summary = nullptr; }},
    {[]() -> QWidget* { return Form_AboutBox = new TForm_AboutBox; }, [] { Form_AboutBox = nullptr; }},
    {[]() -> QWidget* { return Form_Comm_Summary = new TForm_Comm_Summary; }, [] { Form_Comm_Summary = nullptr; }},
    {[]() -> QWidget* { return Form_ComSettings = new TForm_ComSettings; }, [] { Form_ComSettings = nullptr; }},
}};

}  // namespace

void StartConfigurator() {
    QCoreApplication::setApplicationName(QString::fromLatin1(kApplicationTitle));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.20"));
    QApplication::setWindowIcon(QIcon(ConfiguratorPixmap()));

    DestroyForms();
    for (const FormSlot& slot : kFormSlots) {
        QWidget* form = slot.create();
        // Only closing the main window ends the program, also while Com Settings is open.
        if (!createdForms.empty()) form->setAttribute(Qt::WA_QuitOnClose, false);
        createdForms.push_back(form);
    }
}

const std::vector<QWidget*>& CreatedForms() { return createdForms; }

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
    return status;
}
