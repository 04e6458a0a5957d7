#include "operations/Summary.h"

TForm_Summary::TForm_Summary(QWidget* parent) : QDialog(parent) {
    setObjectName("Summary");
    setWindowTitle("Configuration Summary");
}
