#include "operations/DialogStyle.h"

#include <QDialog>
#include <QLayout>
#include <QScreen>

void SetFixedDialogStyle(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    dialog->setSizeGripEnabled(false);
    if (QLayout* layout = dialog->layout()) layout->setSizeConstraint(QLayout::SetFixedSize);
}

void CentreOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (screen == nullptr) return;
    const QRect available = screen->availableGeometry();
    const QSize size = window->frameGeometry().size();
    window->move(available.center() - QPoint(size.width() / 2, size.height() / 2));
}
