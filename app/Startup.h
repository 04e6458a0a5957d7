// Start-up of the window program: the application title, the seven program-wide windows created
// once in a fixed order, the message loop.
#pragma once

#include <vector>

class QWidget;
class TForm_Main;
class TForm_AboutBox;
class TForm_ComSettings;

// The application's own windows; the operation windows are in operations/windows/Forms.h.
extern TForm_Main* Form_Main;
extern TForm_AboutBox* Form_AboutBox;
extern TForm_ComSettings* Form_ComSettings;

// Sets the application title "Configurator" and creates TForm_Main, TForm_RequestComm,
// TForm_ConfigureComm, TForm_Summary, TForm_AboutBox, TForm_Comm_Summary and TForm_ComSettings,
// in that order, storing each in its singleton pointer. Needs a running QApplication.
void StartConfigurator();

// The windows in creation order; empty before StartConfigurator and after DestroyForms.
const std::vector<QWidget*>& CreatedForms();

// Shows the main window and runs the message loop until the main window is closed.
int RunConfigurator();

// Destroys the windows in reverse order and clears the singleton pointers.
void DestroyForms();

// The whole program: command line, toolkit, start-up, message loop. Returns the exit status.
int ConfiguratorMain(int argc, char** argv);
