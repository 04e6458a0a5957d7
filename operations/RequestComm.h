#pragma once

#include <QDialog>

class TForm_RequestComm : public QDialog {
    Q_OBJECT
public:
    explicit TForm_RequestComm(QWidget* parent = nullptr);
};
