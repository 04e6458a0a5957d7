#include "operations/WindowOperator.h"

#include <QApplication>
#include <QMessageBox>

#include "operations/Forms.h"
#include "operations/Summary.h"
#include "settings/SettingsView.h"

void WindowOperator::Warning(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok, QApplication::activeWindow());
    box.setObjectName("MessageBox_Warning");
    box.exec();
}

bool WindowOperator::AskOkCancel(const std::string& title, const std::string& text) {
    QMessageBox box(QMessageBox::Warning, QString::fromStdString(title), QString::fromStdString(text),
                    QMessageBox::Ok | QMessageBox::Cancel, QApplication::activeWindow());
    box.setObjectName("MessageBox_OkCancel");
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok;
}

void WindowOperator::SetBusy(bool busy) {
    if (busy) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++busyDepth;
    } else if (busyDepth > 0) {
        QApplication::restoreOverrideCursor();
        --busyDepth;
    }
}

void WindowOperator::ShowConfigurationSummary() {
    if (Form_Summary != nullptr) {
        Form_Summary->ShowConfigurationSummary();
    } else {
        TForm_Summary summary;
        summary.ShowConfigurationSummary();
    }
}

void WindowOperator::FocusSink() {
    if (SettingsView* view = CurrentSettingsView()) view->FocusSink();
}

WindowOperator& TheWindowOperator() {
    static WindowOperator windowOperator;
    return windowOperator;
}
