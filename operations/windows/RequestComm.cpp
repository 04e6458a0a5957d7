#include "operations/windows/RequestComm.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "link/PortContext.h"
#include "operations/LoadFromReceiver.h"
#include "operations/Operator.h"
#include "operations/windows/DialogStyle.h"
#include "operations/windows/WindowOperator.h"

namespace {
constexpr int kRowsPerColumn = kPortContextCount / 2;  // two columns, filled top to bottom
}  // namespace

TForm_RequestComm::TForm_RequestComm(QWidget* parent)
    : QDialog(parent), radioGroup(new QButtonGroup(this)), activeOperator(&TheWindowOperator()) {
    setObjectName("RequestComm");
    setWindowTitle("Comm port selection");

    auto* box = new QGroupBox("Comm Port", this);
    box->setObjectName("RadioGroup_RequestComm");
    auto* grid = new QGridLayout(box);
    radioGroup->setExclusive(true);
    for (int i = 0; i < kPortContextCount; ++i) {
        auto* item = new QRadioButton(QString("Comm %1").arg(i + 1), box);
        item->setObjectName(QString("RadioButton_Comm%1").arg(i + 1));
        radioGroup->addButton(item, i);
        grid->addWidget(item, i % kRowsPerColumn, i / kRowsPerColumn);
    }

    const CommPortDialogButtons buttons = LayOutCommPortDialog(
        this, {"Select the comm port to request settings from:", box, "Note:  The PC comm port must be",
               "connected to receiver port B.", "Cancel"});
    connect(buttons.ok, &QPushButton::clicked, this, &TForm_RequestComm::Button_OKClick);
    connect(buttons.cancel, &QPushButton::clicked, this, &TForm_RequestComm::CancelClick);
}

int TForm_RequestComm::ItemIndex() const {
    return radioGroup->checkedId();
}

void TForm_RequestComm::SetItemIndex(int index) {
    if (QAbstractButton* item = radioGroup->button(index)) {
        item->setChecked(true);
    } else if (QAbstractButton* checked = radioGroup->checkedButton()) {
        // An exclusive group refuses to clear its last choice; lift that for a moment.
        radioGroup->setExclusive(false);
        checked->setChecked(false);
        radioGroup->setExclusive(true);
    }
}

void TForm_RequestComm::Button_OKClick() {
    const int index = ItemIndex();
    if (index < 0) {
        activeOperator->Warning("No Port Selected", "No Comm Port was selected.");
        return;
    }
    // The dialog stays up while the load runs; it goes away when this handler returns.
    Operator& op = *activeOperator;
    op.SetBusy(true);
    uint8_t opened = 0;
    try {
        opened = LoadFromReceiver(index, op);
    } catch (...) {
        op.SetBusy(false);
        throw;
    }
    if (opened != 0) accept();  // the port opened: the dialog goes away, whatever the load's outcome
    op.SetBusy(false);
    op.FocusSink();
}

void TForm_RequestComm::CancelClick() {
    reject();
}

void TForm_RequestComm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    for (int i = 0; i < kPortContextCount; ++i) radioGroup->button(i)->setToolTip(PortDeviceTip(i + 1));
    CentreOnScreen(this);
}
