// The About window: name, version and the receivers the program is made for. No buttons; closed
// with the close box.
#pragma once

#include <QDialog>
#include <memory>

namespace Ui {
class TForm_AboutBox;
}

class TForm_AboutBox : public QDialog {
    Q_OBJECT
  public:
    explicit TForm_AboutBox(QWidget* parent = nullptr);
    ~TForm_AboutBox() override;

  private:
    std::unique_ptr<Ui::TForm_AboutBox> ui;
};
