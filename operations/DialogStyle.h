// The frame of the operation windows: a single fixed border with only the system menu and the
// close box, the size given by the contents.
#pragma once

class QDialog;
class QWidget;

void SetFixedDialogStyle(QDialog* dialog);
// Moves a top-level window to the middle of the screen it is on.
void CentreOnScreen(QWidget* window);
