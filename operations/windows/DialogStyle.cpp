#include "operations/windows/DialogStyle.h"

#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "serial/Serial.h"

void SetFixedDialogStyle(QDialog* dialog) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
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

QString PortDeviceTip(int portNo) {
    return QStringLiteral("Comm %1 = %2")
        .arg(portNo)
        .arg(QString::fromStdString(SerialDeviceName(static_cast<uint8_t>(portNo))));
}

CommPortDialogButtons LayOutCommPortDialog(QDialog* dialog, const CommPortDialogLayout& layout) {
    auto* label1 = new QLabel(layout.prompt, dialog);
    label1->setObjectName("Label1");

    auto* ok = new QPushButton("OK", dialog);
    ok->setObjectName("Button_OK");
    ok->setDefault(true);
    auto* cancel = new QPushButton("Cancel", dialog);
    cancel->setObjectName(layout.cancelName);

    auto* note1 = new QLabel(layout.note1, dialog);
    note1->setObjectName("Label_Note1");
    auto* note2 = new QLabel(layout.note2, dialog);
    note2->setObjectName("Label_Note2");

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch();

    auto* column = new QVBoxLayout(dialog);
    column->addWidget(label1);
    column->addWidget(layout.portBox);
    column->addWidget(note1);
    column->addWidget(note2);
    column->addLayout(buttons);
    SetFixedDialogStyle(dialog);
    return {ok, cancel};
}
