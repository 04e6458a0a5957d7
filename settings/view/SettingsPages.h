// The settings controls of the main window's two tab pages, and the settings view over them.
#pragma once

class QWidget;

// Builds the group boxes and their controls of page 1 and page 2 (the forms SettingsPage1.ui and
// SettingsPage2.ui) into the two tab sheets, in their design-time state: edits empty, the five
// datum edits disabled, nothing checked, chosen or selected. A sheet without a layout gets the
// form's layout; a sheet that already has one gets the form as one widget added to it. With the
// default font the pages need about 697 × 420 pixels; the main window's tab sheets give 713 × 423.
void BuildSettingsPages(QWidget* tabSheet1, QWidget* tabSheet2);

// Resolves the settings controls and the focus sink (CheckBox_Dummy) of the main window by object
// name and registers them as the settings view; connects the operator's choice in ComboBox_Datum
// to ComboBox_DatumChange. The view is unregistered when the window is destroyed. Throws
// std::logic_error when a control is missing.
void RegisterMainWindowSettingsView(QWidget* mainWindow);
