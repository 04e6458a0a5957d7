#pragma once

#include <QDialog>

class TForm_Summary : public QDialog {
    Q_OBJECT
public:
    explicit TForm_Summary(QWidget* parent = nullptr);
};
