// Helpers for the end-to-end tests: emulated receivers on RFC 2217 loopback ports mapped to comm
// ports, the Settings Image a receiver's settings make, and the packets a receiver logged.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "operations/OperationWait.h"
#include "serial/Serial.h"
#include "settings/SettingsImage.h"

// `count` receivers on their own loopback ports, every packet logged to a file of this test.
inline std::unique_ptr<Emulator> StartEmulators(EmulatorOptions options, int count,
                                                const std::string& logPath) {
    options.usePty = false;
    options.listenHost = "127.0.0.1";
    options.listenPort = 0;
    options.count = count;
    options.logFile = logPath;
    std::remove(logPath.c_str());
    auto emulator = std::make_unique<Emulator>(options);
    std::string error;
    if (!emulator->Start(error)) {
        ADD_FAILURE() << "emulator did not start: " << error;
        return nullptr;
    }
    return emulator;
}

inline std::string TestLogPath() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return "/tmp/vc-operations-" + std::string(info->name()) + "-" + std::to_string(::getpid()) + ".log";
}

// Comm ports 1..20 point nowhere (an open fails) unless mapped.
inline void UnmapCommPorts() {
    for (int n = 1; n <= 20; ++n)
        SerialSetDeviceName(static_cast<uint8_t>(n), "/nonexistent/vc-test-tty" + std::to_string(n));
}

// The Settings Image a receiver's settings make when every group is loaded from it: each group is
// its report, except 2D Altitude, which is 00 and the first four bytes of report 4A.
inline void ImageFromReceiver(const ReceiverSettings& settings) {
    for (int g = 1; g <= kGroupCount; ++g) {
        uint8_t* place = SettingsGroupBytes(g);
        const uint8_t* report = settings.Group(g);
        if (g == kGroup2DAltitude) {
            place[0] = 0;
            std::copy(report, report + 4, place + 1);
        } else {
            std::copy(report, report + SettingsGroup(g).length, place);
        }
    }
}

// The packets receiver `receiver` (1-based) received, as "ID PAYLOAD" hex, in order.
inline std::vector<std::string> ReceivedPackets(const std::string& logPath, int receiver) {
    std::vector<std::string> packets;
    std::ifstream log(logPath);
    const std::string tag = " comm" + std::to_string(receiver) + " note rx ";
    std::string line;
    while (std::getline(log, line)) {
        const size_t at = line.find(tag);
        if (at == std::string::npos) continue;
        std::string packet = line.substr(at + tag.size());
        const size_t note = packet.find(" (");
        if (note != std::string::npos) packet.erase(note);
        packets.push_back(packet);
    }
    return packets;
}

inline int CountPackets(const std::vector<std::string>& packets, const std::string& prefix) {
    return static_cast<int>(std::count_if(packets.begin(), packets.end(),
                                          [&](const std::string& p) { return p.rfind(prefix, 0) == 0; }));
}

// Position of the first packet starting with `prefix` at or after `from`, −1 for none.
inline int FindPacket(const std::vector<std::string>& packets, const std::string& prefix, int from = 0) {
    for (size_t i = static_cast<size_t>(std::max(from, 0)); i < packets.size(); ++i)
        if (packets[i].rfind(prefix, 0) == 0) return static_cast<int>(i);
    return -1;
}

// What the summary shows, taken while it is up (the run resets the Port Contexts afterwards).
struct SummarySnapshot {
    std::array<uint8_t, kPortContextCount> results{};
    std::array<std::array<uint8_t, kGroupCount>, kPortContextCount> groups{};
    bool taken = false;

    void Take() {
        for (size_t i = 0; i < PortContexts.size(); ++i) {
            results[i] = PortContexts[i].portResult;
            groups[i] = PortContexts[i].groupStatus;
        }
        taken = true;
    }
};

// A fresh program state for each test: zero image, PC Serial Settings defaults, idle Port
// Contexts, no port open, comm ports pointing nowhere.
class EndToEndTest : public ::testing::Test {
  protected:
    void SetUp() override {
        SettingsImage.fill(0);
        StorePcSerialSettingsDefaults();
        for (auto& context : PortContexts) {
            context.operationMode = kModeIdle;
            context.linkState = kLinkIdle;
            context.groupStatus.fill(kGroupNothingPending);
            context.portResult = kResultNotInRun;
        }
        UnmapCommPorts();
        ResetOperationWaits();
        logPath = TestLogPath();
    }
    void TearDown() override {
        SerialCloseAll();
        for (auto& emulator : emulators) emulator->Stop();
        if (!HasFailure())
            for (const auto& path : logPaths) std::remove(path.c_str());
    }

    // Starts one emulator with a receiver per entry of commPorts and maps receiver k to comm port
    // commPorts[k]; returns the emulator's number for Emu() and Received(), −1 on failure.
    int Start(const EmulatorOptions& options, const std::vector<int>& commPorts) {
        const std::string path = logPath + "." + std::to_string(emulators.size());
        auto emulator = StartEmulators(options, static_cast<int>(commPorts.size()), path);
        if (!emulator) return -1;
        for (size_t k = 0; k < commPorts.size(); ++k)
            SerialSetDeviceName(static_cast<uint8_t>(commPorts[k]),
                                emulator->DeviceName(static_cast<int>(k)));
        emulators.push_back(std::move(emulator));
        logPaths.push_back(path);
        return static_cast<int>(emulators.size()) - 1;
    }

    Emulator& Emu(int number = 0) { return *emulators[static_cast<size_t>(number)]; }
    // The packets receiver k of emulator `number` received.
    std::vector<std::string> Received(int number, int receiver = 0) const {
        return ReceivedPackets(logPaths[static_cast<size_t>(number)], receiver + 1);
    }

    std::vector<std::unique_ptr<Emulator>> emulators;
    std::vector<std::string> logPaths;
    std::string logPath;
};
