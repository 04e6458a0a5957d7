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

// count receivers on ptys (pty) or network ports, with the given faults and factory Port B line.
inline std::unique_ptr<Emulator> StartEmulator(bool pty, int count, const ReceiverFaults& faults = {},
                                               bool silent = false, const PortLine& portB = {}) {
    EmulatorOptions options;
    options.usePty = pty;
    options.count = count;
    options.faults = faults;
    options.silent = silent;
    options.portB = portB;
    return StartEmulatorWith(options);
}
