// The message boxes of the window program, sized so that no text is ever cut: a line that fits
// in the widest box the screen allows keeps its place (the "Invalid Configuration" questions keep
// their three lines); a line too long for that box wraps at word boundaries, in a box of the width
// the toolkit gives its own boxes; a word wider than the widest box breaks where it must.
#pragma once

#include <QMessageBox>
#include <QString>

class QScreen;

class FittingMessageBox : public QMessageBox {
  public:
    FittingMessageBox(Icon icon, const QString& title, const QString& text, StandardButtons buttons,
                      QWidget* parent = nullptr);

  protected:
    void showEvent(QShowEvent* event) override;
};

// Fits the box's text as above for the screen it will show on. Runs when the box is shown.
void FitMessageBoxText(QMessageBox& box);
