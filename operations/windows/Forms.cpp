#include "operations/windows/Forms.h"

TForm_RequestComm* Form_RequestComm = nullptr;
TForm_ConfigureComm* Form_ConfigureComm = nullptr;
TForm_Summary* Form_Summary = nullptr;
TForm_Comm_Summary* Form_Comm_Summary = nullptr;
