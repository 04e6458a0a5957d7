#include "operations/RequestComm.h"

TForm_RequestComm::TForm_RequestComm(QWidget* parent) : QDialog(parent) {
    setObjectName("RequestComm");
    setWindowTitle("Comm port selection");
}
