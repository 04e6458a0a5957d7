// The main window: two tab pages of settings group boxes, the main menu and the file dialogs.
#pragma once

#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

class QCheckBox;
class QFileDialog;
class QMenuBar;
class QTabWidget;

namespace Ui {
class TForm_Main;
}

// Runs a file dialog modally and gives the chosen file, or an empty string when cancelled. Tests
// replace it so that no modal dialog blocks them.
using FileDialogRunner = std::function<QString(QFileDialog& dialog)>;
void SetFileDialogRunner(FileDialogRunner runner);  // an empty runner restores the real dialog

class TForm_Main : public QMainWindow {
    Q_OBJECT
  public:
    explicit TForm_Main(QWidget* parent = nullptr);
    ~TForm_Main() override;

    QCheckBox* CheckBox_Dummy() const;
    QTabWidget* PageControl1() const;
    QMenuBar* MainMenu1() const { return mainMenu1; }
    QFileDialog* OpenDialog() const { return openDialog; }
    QFileDialog* SaveDialog() const { return saveDialog; }

    // Gives the input focus to the hidden focus sink, so that no visible control keeps it.
    void FocusSink();

  public slots:
    void Control_LoadFromFileClick();
    void Control_LoadFromReceiverClick();
    void ComSettings1Click();
    void Control_SaveClick();
    void Control_ConfigureClick();
    void Exit1Click();
    void Help_AboutClick();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void FormShow();
    void BuildMainMenu();
    void BuildFileDialogs();

    std::unique_ptr<Ui::TForm_Main> ui;
    QMenuBar* mainMenu1 = nullptr;
    QFileDialog* openDialog = nullptr;
    QFileDialog* saveDialog = nullptr;
};
