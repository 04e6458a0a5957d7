// The window-less settings view of the unit tests: the shared in-memory model of the window's
// controls, which fails the test on a control name it does not know or a control of the wrong kind,
// and counts the calls that move the focus to the focus sink.
#pragma once

#include <gtest/gtest.h>

#include <string_view>

#include "settings/Datum.h"
#include "settings/MemorySettingsView.h"
#include "settings/SettingsControls.h"
#include "settings/SettingsImage.h"
#include "settings/SettingsView.h"

class FakeSettingsView : public MemorySettingsView {
  public:
    void FocusSink() override { ++focusSinkCalls; }

    int focusSinkCalls = 0;

  protected:
    void BadControl(std::string_view control, ControlFault fault) const override {
        if (fault == ControlFault::kUnknown)
            ADD_FAILURE() << "no settings control named " << control;
        else
            ADD_FAILURE() << control << " is not the kind of control used";
    }
};

// Registers a fresh fake view and puts the program-wide state back as at start-up: the image zero,
// the datum edits flag false. Unregisters the view at the end of the test.
class SettingsViewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsImage.fill(0);
        CustomDatumEditsEnabled = false;
        RegisterSettingsView(&view);
    }
    void TearDown() override { RegisterSettingsView(nullptr); }

    FakeSettingsView view;
};
