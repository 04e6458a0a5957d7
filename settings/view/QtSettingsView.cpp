#include "settings/view/QtSettingsView.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <stdexcept>

#include "settings/SettingsControls.h"

namespace {

template <typename T>
QWidget* Resolve(QWidget* window, const char* name) {
    T* control = window->findChild<T*>(QString::fromLatin1(name));
    if (control == nullptr) throw std::logic_error(std::string("the main window has no ") + name);
    return control;
}

}  // namespace

QtSettingsView::QtSettingsView(QWidget* mainWindow) {
    for (const auto& b : kCheckBoxBindings) controls_[b.control] = Resolve<QCheckBox>(mainWindow, b.control);
    for (const auto& b : kRadioButtonBindings)
        controls_[b.control] = Resolve<QRadioButton>(mainWindow, b.control);
    for (const auto& b : kComboBoxBindings) controls_[b.control] = Resolve<QComboBox>(mainWindow, b.control);
    for (const auto& b : kEditBindings) controls_[b.control] = Resolve<QLineEdit>(mainWindow, b.control);
    focusSink_ = Resolve<QCheckBox>(mainWindow, kFocusSinkName);
}

template <typename T>
T* QtSettingsView::Control(std::string_view name) const {
    const auto it = controls_.find(name);
    // Display and capture name only controls of the tables this view resolved.
    if (it == controls_.end()) throw std::logic_error("no settings control named " + std::string(name));
    T* control = qobject_cast<T*>(it->second.data());
    if (control == nullptr) throw std::logic_error(std::string(name) + " is gone or of another type");
    return control;
}

void QtSettingsView::SetText(std::string_view control, const std::string& text) {
    Control<QLineEdit>(control)->setText(QString::fromStdString(text));
}

std::string QtSettingsView::Text(std::string_view control) const {
    return Control<QLineEdit>(control)->text().toStdString();
}

void QtSettingsView::SetChecked(std::string_view control, bool checked) {
    QAbstractButton* button = Control<QAbstractButton>(control);
    if (!checked && button->autoExclusive()) {
        // An exclusive radio button cannot be unchecked directly: lift the exclusivity for the
        // moment, so that its box is left with no button chosen.
        button->setAutoExclusive(false);
        button->setChecked(false);
        button->setAutoExclusive(true);
        return;
    }
    button->setChecked(checked);
}

bool QtSettingsView::Checked(std::string_view control) const {
    return Control<QAbstractButton>(control)->isChecked();
}

void QtSettingsView::SetItemIndex(std::string_view control, int index) {
    QComboBox* combo = Control<QComboBox>(control);
    // Selecting from code is not an operator's change: only the activated signal is connected.
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int QtSettingsView::ItemIndex(std::string_view control) const {
    return Control<QComboBox>(control)->currentIndex();
}

void QtSettingsView::SetEnabled(std::string_view control, bool enabled) {
    Control<QWidget>(control)->setEnabled(enabled);
}

bool QtSettingsView::Enabled(std::string_view control) const {
    return Control<QWidget>(control)->isEnabled();
}

void QtSettingsView::FocusSink() {
    if (focusSink_) focusSink_->setFocus(Qt::OtherFocusReason);
}
