// The settings controls of the main window's two tab pages, and the settings view over them.
#pragma once

class QWidget;

// Builds the group boxes and their controls of page 1 and page 2 into the two tab sheets.
void BuildSettingsPages(QWidget* tabSheet1, QWidget* tabSheet2);

// Resolves the settings controls and the focus sink of the main window by object name and
// registers them as the settings view.
void RegisterMainWindowSettingsView(QWidget* mainWindow);
