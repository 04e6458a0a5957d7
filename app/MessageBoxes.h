// Message boxes of the window program. Every box goes through ShowMessageBox so that tests can
// record boxes instead of blocking on a modal window.
#pragma once

#include <QMessageBox>
#include <QString>
#include <functional>

using MessageBoxHook = std::function<void(QMessageBox::Icon icon, const QString& title, const QString& text)>;

// Replaces the real box (an empty hook restores it).
void SetMessageBoxHook(MessageBoxHook hook);

// A modal box with the given icon, title, text and an OK button.
void ShowMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text);
