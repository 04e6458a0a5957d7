#include "app/MessageBoxes.h"

#include <QApplication>
#include <utility>

#include "operations/windows/MessageBox.h"

namespace {
MessageBoxHook& Hook() {
    static MessageBoxHook hook;
    return hook;
}
}  // namespace

void SetMessageBoxHook(MessageBoxHook hook) {
    Hook() = std::move(hook);
}

void ShowMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text) {
    if (Hook()) {
        Hook()(icon, title, text);
        return;
    }
    FittingMessageBox box(icon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}
