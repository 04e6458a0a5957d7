// TForm_ConfigureComm: ticks the comm ports whose receivers are to be configured, and runs the
// capture and the configure run in its OK handler.
#pragma once

#include <QDialog>
#include <array>

class QCheckBox;
class Operator;

class TForm_ConfigureComm : public QDialog {
    Q_OBJECT
  public:
    explicit TForm_ConfigureComm(QWidget* parent = nullptr);

    // CheckBox_Comm1 .. CheckBox_Comm20, by comm index.
    QCheckBox* CommCheckBox(int commIndex) const;

    // Who the OK handler asks and tells (the window operator unless a test sets another).
    void SetOperator(Operator& op) { activeOperator = &op; }

  public slots:
    void Button_OKClick();
    void Button_CancelClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    std::array<QCheckBox*, 20> checkBoxes{};
    Operator* activeOperator;
};
