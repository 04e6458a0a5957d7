#include "app/Comsettings.h"

#include <QComboBox>
#include <QPushButton>
#include <QShowEvent>
#include <cstdint>

#include "app/WindowLook.h"
#include "link/PcSerialSettings.h"
#include "ui_Comsettings.h"

namespace {

constexpr int kClientWidth = 177;
constexpr int kClientHeight = 191;

// Which PC Serial Settings byte each combo box edits: stored value = item index + offset.
struct ComSettingsBinding {
    QComboBox* Ui::TForm_ComSettings::*box;
    int byte;
    int offset;
};

constexpr ComSettingsBinding kBindings[] = {
    {&Ui::TForm_ComSettings::ComboBox_BaudRate, 1, 0},
    {&Ui::TForm_ComSettings::ComboBox_DataBits, 3, 3},
    {&Ui::TForm_ComSettings::ComboBox_Parity, 4, 0},
    {&Ui::TForm_ComSettings::ComboBox_StopBits, 5, 0},
};

}  // namespace

TForm_ComSettings::TForm_ComSettings(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TForm_ComSettings>()) {
    ui->setupUi(this);
    SetFixedBorder(this, {});
    setModal(false);
    setFixedSize(kClientWidth, kClientHeight);
    CentreOnScreen(this);
    connect(ui->Button_Ok, &QPushButton::clicked, this, &TForm_ComSettings::Button_OkClick);
    connect(ui->Button_Cancel, &QPushButton::clicked, this, &TForm_ComSettings::Button_CancelClick);
}

TForm_ComSettings::~TForm_ComSettings() = default;

QComboBox* TForm_ComSettings::ComboBox_BaudRate() const {
    return ui->ComboBox_BaudRate;
}
QComboBox* TForm_ComSettings::ComboBox_DataBits() const {
    return ui->ComboBox_DataBits;
}
QComboBox* TForm_ComSettings::ComboBox_Parity() const {
    return ui->ComboBox_Parity;
}
QComboBox* TForm_ComSettings::ComboBox_StopBits() const {
    return ui->ComboBox_StopBits;
}

int TForm_ComSettings::ItemIndex(const QComboBox* box) {
    const QString text = box->currentText();
    const int current = box->currentIndex();
    if (current >= 0 && box->itemText(current) == text) return current;
    return box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TForm_ComSettings::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) FormShow();
}

// Each time the window becomes visible: select the items the PC Serial Settings give. A code with
// no item (255 after "no item selected" was stored) leaves its box empty.
void TForm_ComSettings::FormShow() {
    for (const ComSettingsBinding& binding : kBindings) {
        QComboBox* box = ui.get()->*binding.box;
        const int index = int{PcSerialSettings[static_cast<size_t>(binding.byte)]} - binding.offset;
        const bool valid = index >= 0 && index < box->count();
        box->setCurrentIndex(valid ? index : -1);
        box->setEditText(valid ? box->itemText(index) : QString());
    }
}

// Index −1 wraps to the unsigned byte: 255, or 2 for the data bits (−1 + 3).
void TForm_ComSettings::Button_OkClick() {
    for (const ComSettingsBinding& binding : kBindings) {
        const int index = ItemIndex(ui.get()->*binding.box);
        PcSerialSettings[static_cast<size_t>(binding.byte)] = static_cast<uint8_t>(index + binding.offset);
    }
    hide();
}

void TForm_ComSettings::Button_CancelClick() {
    hide();
}
