#include "operations/windows/ConfigureComm.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "link/PortContext.h"
#include "operations/ConfigureReceivers.h"
#include "operations/Operator.h"
#include "operations/windows/DialogStyle.h"
#include "operations/windows/WindowOperator.h"
#include "settings/Capture.h"

namespace {
constexpr int kRowsPerColumn = 5;  // four columns, filled top to bottom
static_assert(kPortContextCount == 20);
}  // namespace

TForm_ConfigureComm::TForm_ConfigureComm(QWidget* parent)
    : QDialog(parent), activeOperator(&TheWindowOperator()) {
    setObjectName("ConfigureComm");
    setWindowTitle("Configure Receivers");

    auto* box = new QGroupBox("Comm Port(s)", this);
    box->setObjectName("GroupBox1");
    auto* grid = new QGridLayout(box);
    for (int i = 0; i < kPortContextCount; ++i) {
        auto* check = new QCheckBox(QString("Comm %1").arg(i + 1), box);
        check->setObjectName(QString("CheckBox_Comm%1").arg(i + 1));
        checkBoxes[static_cast<size_t>(i)] = check;
        grid->addWidget(check, i % kRowsPerColumn, i / kRowsPerColumn);
    }

    const CommPortDialogButtons buttons = LayOutCommPortDialog(
        this, {"Select the comm port(s) to load settings to:", box, "Note:  The PC comm port(s) must be",
               "connected to receiver port(s) B.", "Button_Cancel"});
    connect(buttons.ok, &QPushButton::clicked, this, &TForm_ConfigureComm::Button_OKClick);
    connect(buttons.cancel, &QPushButton::clicked, this, &TForm_ConfigureComm::Button_CancelClick);
}

QCheckBox* TForm_ConfigureComm::CommCheckBox(int commIndex) const {
    return commIndex >= 0 && commIndex < kPortContextCount ? checkBoxes[static_cast<size_t>(commIndex)]
                                                           : nullptr;
}

void TForm_ConfigureComm::Button_OKClick() {
    bool any = false;
    for (int i = 0; i < kPortContextCount; ++i) {
        PortContext& context = PortContexts[static_cast<size_t>(i)];
        context.operationMode = kModeIdle;
        if (checkBoxes[static_cast<size_t>(i)]->isChecked()) {
            context.operationMode = kModeConfiguring;
            any = true;
        }
    }
    Operator& op = *activeOperator;
    if (!any) {
        op.Warning("No Port Selected", "No Comm Port was selected.");
        return;
    }
    accept();
    try {
        CaptureSettings();
    } catch (...) {
        // No run follows a failed capture, so no port stays marked as taking part in one.
        for (auto& context : PortContexts) context.operationMode = kModeIdle;
        throw;
    }
    op.SetBusy(true);
    try {
        ConfigureReceivers(op);
    } catch (...) {
        op.SetBusy(false);
        throw;
    }
    op.SetBusy(false);
    op.FocusSink();
}

void TForm_ConfigureComm::Button_CancelClick() {
    reject();
}

void TForm_ConfigureComm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    for (int i = 0; i < kPortContextCount; ++i)
        checkBoxes[static_cast<size_t>(i)]->setToolTip(PortDeviceTip(i + 1));
    CentreOnScreen(this);
}
