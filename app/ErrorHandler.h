// The general error handler: an exception that escapes an event handler is shown in a box titled
// "Configurator" with the error icon and OK, and the program goes on; the handler's remaining steps
// are skipped.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>

inline constexpr const char* kApplicationTitle = "Configurator";

// The exception's message with a full stop appended when it does not already end with one.
QString ErrorMessageText(const QString& message);

// Shows the box for the exception being handled (call inside a catch block).
void ShowCurrentException();

// Runs handler and shows any exception escaping it. Menu commands run through this so that an
// exception never unwinds through the toolkit's own menu code.
template <typename Handler>
void RunGuarded(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ShowCurrentException();
    }
}

class ConfiguratorApplication : public QApplication {
    Q_OBJECT
  public:
    ConfiguratorApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};
