// The frame of the operation windows: a single fixed border with only the system menu and the
// close box, the size given by the contents.
#pragma once

class QDialog;
class QGroupBox;
class QPushButton;
class QString;
class QWidget;

void SetFixedDialogStyle(QDialog* dialog);
// Moves a top-level window to the middle of the screen it is on.
void CentreOnScreen(QWidget* window);

// The texts and names of a comm-port dialog: its prompt, its box of twenty ports, the two note
// lines and the OK and Cancel buttons.
struct CommPortDialogLayout {
    const char* prompt;
    QGroupBox* portBox;
    const char* note1;
    const char* note2;
    const char* cancelName;
};

struct CommPortDialogButtons {
    QPushButton* ok;
    QPushButton* cancel;
};

// The device behind a comm port, as its item in a comm-port dialog tells it: "Comm 3 = /dev/ttyUSB2".
QString PortDeviceTip(int portNo);

// Lays out a comm-port dialog top to bottom: Label1 with the prompt, the port box, Label_Note1 and
// Label_Note2, then Button_OK (the default) and the Cancel button side by side; fixes its frame.
CommPortDialogButtons LayOutCommPortDialog(QDialog* dialog, const CommPortDialogLayout& layout);
