#include "settings/view/SettingsPages.h"

#include <QWidget>

// Placeholder until the settings pages land.
void BuildSettingsPages(QWidget*, QWidget*) {}
void RegisterMainWindowSettingsView(QWidget*) {}
