// The Com Settings window: edits the PC Serial Settings. Modeless; its combo boxes also take typed
// text, and text that is no item stores "no item selected".
#pragma once

#include <QDialog>
#include <memory>

class QComboBox;

namespace Ui {
class TForm_ComSettings;
}

class TForm_ComSettings : public QDialog {
    Q_OBJECT
  public:
    explicit TForm_ComSettings(QWidget* parent = nullptr);
    ~TForm_ComSettings() override;

    QComboBox* ComboBox_BaudRate() const;
    QComboBox* ComboBox_DataBits() const;
    QComboBox* ComboBox_Parity() const;
    QComboBox* ComboBox_StopBits() const;

    // The item a combo box stands for: the selected item while its text is that item's, else the
    // item whose text was typed exactly, else −1.
    static int ItemIndex(const QComboBox* box);

  public slots:
    void Button_OkClick();
    void Button_CancelClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();

    std::unique_ptr<Ui::TForm_ComSettings> ui;
};
