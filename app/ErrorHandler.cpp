#include "app/ErrorHandler.h"

#include "app/MessageBoxes.h"

QString ErrorMessageText(const QString& message) {
    if (message.endsWith(QLatin1Char('.'))) return message;
    return message + QLatin1Char('.');
}

void ShowCurrentException() {
    QString message;
    try {
        throw;
    } catch (const std::exception& error) {
        message = QString::fromLocal8Bit(error.what());
    } catch (...) {
        message = QStringLiteral("An unexpected error occurred");
    }
    ShowMessageBox(QMessageBox::Critical, QString::fromLatin1(kApplicationTitle), ErrorMessageText(message));
}

ConfiguratorApplication::ConfiguratorApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool ConfiguratorApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}
