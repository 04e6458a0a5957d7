#include "settings/SettingsView.h"

namespace {
SettingsView* registeredView = nullptr;
}

void RegisterSettingsView(SettingsView* view) {
    registeredView = view;
}

SettingsView* CurrentSettingsView() {
    return registeredView;
}
