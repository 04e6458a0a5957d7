// Emulated receivers for the command-line tool's tests, run in the test's own process so that a
// test can look at what each receiver holds and logs.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "emulator/Emulator.h"

// Started, or nullptr with a test failure saying why.
inline std::unique_ptr<Emulator> StartEmulatorWith(const EmulatorOptions& options) {
    auto emulator = std::make_unique<Emulator>(options);
    std::string error;
    if (!emulator->Start(error)) {
        ADD_FAILURE() << "emulator: " << error;
        return nullptr;
    }
    return emulator;
}
