#pragma once

#include <QDialog>

class TForm_Comm_Summary : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Comm_Summary(QWidget* parent = nullptr);
};
