#pragma once

#include <QDialog>

class TForm_ConfigureComm : public QDialog {
    Q_OBJECT
public:
    explicit TForm_ConfigureComm(QWidget* parent = nullptr);
};
