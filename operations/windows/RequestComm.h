// TForm_RequestComm: chooses the one comm port to load the settings from, and runs the load in
// its OK handler.
#pragma once

#include <QDialog>

class QButtonGroup;
class Operator;

class TForm_RequestComm : public QDialog {
    Q_OBJECT
  public:
    explicit TForm_RequestComm(QWidget* parent = nullptr);

    // The selected item of RadioGroup_RequestComm (= comm index), −1 for none.
    int ItemIndex() const;
    void SetItemIndex(int index);

    // Who the OK handler asks and tells (the window operator unless a test sets another).
    void SetOperator(Operator& op) { activeOperator = &op; }

  public slots:
    void Button_OKClick();
    void CancelClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QButtonGroup* radioGroup;
    Operator* activeOperator;
};
