// The operation windows, program-wide singletons created once at start-up (in the order
// TForm_Main, TForm_RequestComm, TForm_ConfigureComm, TForm_Summary, TForm_AboutBox,
// TForm_Comm_Summary, TForm_ComSettings) by the application and reached through these pointers.
// They stay null where no window exists (tests of the operations, the command-line tool).
#pragma once

class TForm_RequestComm;
class TForm_ConfigureComm;
class TForm_Summary;
class TForm_Comm_Summary;

extern TForm_RequestComm* Form_RequestComm;
extern TForm_ConfigureComm* Form_ConfigureComm;
extern TForm_Summary* Form_Summary;
extern TForm_Comm_Summary* Form_Comm_Summary;
