#include "operations/ConfigureComm.h"

TForm_ConfigureComm::TForm_ConfigureComm(QWidget* parent) : QDialog(parent) {
    setObjectName("ConfigureComm");
    setWindowTitle("Configure Receivers");
}
