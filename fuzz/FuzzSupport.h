// What the fuzz targets share: a port of the real Serial Port Driver that receives exactly the bytes
// a target puts on it, the read-size cutter, and a settings view without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "settings/SettingsView.h"

// Comm port 1 (Port Context 0), opened Threaded once per process on a device that never delivers
// anything by itself; false when it could not be opened.
constexpr uint8_t kFuzzPort = 1;
bool FuzzPortReady();
// Stores the bytes in the port's Receive Ring as its I/O thread stores received bytes. At most
// kFuzzMaxRead bytes at a time, so that one read of the ring takes them all.
constexpr size_t kFuzzMaxRead = 4095;
void FuzzPortReceive(const uint8_t* data, size_t count);

// The sizes of successive reads, from a seed: mostly a few bytes, sometimes hundreds, now and then a
// whole ring's worth. The same seed gives the same cuts.
class ReadCutter {
public:
    explicit ReadCutter(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    size_t Next();

private:
    uint64_t Random();
    uint64_t state_;
};

// A settings view built from the control tables, as the window's controls behave where display and
// capture rely on them (an index outside a combo box's list selects nothing, choosing a radio button
// clears the others of its box). A control name it does not know breaks the target's rule.
class FuzzSettingsView : public SettingsView {
public:
    explicit FuzzSettingsView(const char* target);

    void SetText(std::string_view control, const std::string& text) override;
    std::string Text(std::string_view control) const override;
    void SetChecked(std::string_view control, bool checked) override;
    bool Checked(std::string_view control) const override;
    void SetItemIndex(std::string_view control, int index) override;
    int ItemIndex(std::string_view control) const override;
    void SetEnabled(std::string_view control, bool enabled) override;
    bool Enabled(std::string_view control) const override;
    void FocusSink() override {}

private:
    struct Control {
        enum Kind { kCheckBox, kRadioButton, kComboBox, kEdit };
        Kind kind = kEdit;
        const char* box = "";
        int itemCount = 0;
        std::string text;
        bool checked = false;
        int itemIndex = -1;
        bool enabled = true;
    };
    Control& Find(std::string_view name) const;

    const char* target_;
    mutable std::map<std::string, Control, std::less<>> controls_;
    mutable Control missing_;
};
