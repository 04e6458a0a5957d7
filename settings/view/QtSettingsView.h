// The settings view over the main window's controls: every settings control and the focus sink are
// looked up by object name once, when the view is made, and reached through plain pointers after.
#pragma once

#include <QPointer>
#include <QWidget>
#include <map>
#include <string>

#include "settings/SettingsView.h"

class QtSettingsView : public SettingsView {
  public:
    // Throws std::logic_error naming the first control the window lacks.
    explicit QtSettingsView(QWidget* mainWindow);

    void SetText(std::string_view control, const std::string& text) override;
    std::string Text(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    bool Checked(std::string_view control) const override;
    void SetItemIndex(std::string_view control, int index) override;
    int ItemIndex(std::string_view control) const override;
    void SetEnabled(std::string_view control, bool enabled) override;
    bool Enabled(std::string_view control) const override;
    void FocusSink() override;

  private:
    template <typename T>
    T* Control(std::string_view name) const;

    std::map<std::string, QPointer<QWidget>, std::less<>> controls_;
    QPointer<QWidget> focusSink_;
};
