#include "settings/Datum.h"

#include "settings/SettingsView.h"

bool CustomDatumEditsEnabled = false;

namespace {
void SetCustomDatumEditsEnabled(SettingsView& view, bool enabled) {
    for (const char* edit : kCustomDatumEdits) view.SetEnabled(edit, enabled);
}
}  // namespace

void EnableCustomDatumEdits() {
    if (SettingsView* view = CurrentSettingsView()) SetCustomDatumEditsEnabled(*view, true);
}

void DisableCustomDatumEdits() {
    if (SettingsView* view = CurrentSettingsView()) SetCustomDatumEditsEnabled(*view, false);
}

void ComboBox_DatumChange(bool fromOperator) {
    SettingsView* view = CurrentSettingsView();
    if (view == nullptr) return;

    // No selection (-1) counts as "not Custom".
    const bool custom = view->ItemIndex("ComboBox_Datum") == 0;
    if (custom && !CustomDatumEditsEnabled) {
        CustomDatumEditsEnabled = true;
        EnableCustomDatumEdits();
    } else if (!custom && CustomDatumEditsEnabled) {
        CustomDatumEditsEnabled = false;
        DisableCustomDatumEdits();
    }
    if (fromOperator)
        for (const char* edit : kCustomDatumEdits) view->SetText(edit, "");
}
