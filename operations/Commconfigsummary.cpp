#include "operations/Commconfigsummary.h"

TForm_Comm_Summary::TForm_Comm_Summary(QWidget* parent) : QDialog(parent) {
    setObjectName("Comm_Summary");
    setWindowTitle("");
}
