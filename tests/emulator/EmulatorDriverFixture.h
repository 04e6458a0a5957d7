// The emulated receiver through the real program path: the fixture of the end-to-end suites.
// Serial Port Driver on an rfc2217:// (or pty) device name, Packet Link, Settings Commands and the
// Report Handler, as the load and configure operations use them.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "bytes/ByteOrder.h"
#include "emulator/Emulator.h"
#include "link/PortContext.h"
#include "messages/ReportHandler.h"
#include "messages/SettingsCommands.h"
#include "serial/Serial.h"
#include "settings/SettingsImage.h"
#include "support/WaitUntil.h"

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;
constexpr auto kDeadline = std::chrono::seconds(15);

// Packets seen by RecordingHandler (id, payload length, first payload byte).
struct SeenPacket {
    uint32_t id;
    uint32_t length;
    uint8_t first;
};
inline std::vector<SeenPacket> seenPackets;
inline void RecordingHandler(PortContext& context) {
    seenPackets.push_back({context.packetId, context.completedLength, context.payloadBuffer[0]});
}

class EmulatorDriver : public ::testing::Test {
  protected:
    void TearDown() override {
        SerialCloseAll();
        emulator_.reset();
        SerialResetDeviceNames();
        PortContexts[0] = PortContext{};
        SettingsImage.fill(0);
        seenPackets.clear();
    }

    void Start(EmulatorOptions options = {}) {
        emulator_ = std::make_unique<Emulator>(options);
        std::string error;
        ASSERT_TRUE(emulator_->Start(error)) << error;
        ASSERT_TRUE(SerialSetDeviceName(1, emulator_->DeviceName(0)));
        ASSERT_EQ(OpenPortContext(Context(), 1), 1);
    }

    static PortContext& Context() { return PortContexts[0]; }
    ReceiverStatus Status() const { return emulator_->Status(0); }
    bool WaitStatus(const std::function<bool(const ReceiverStatus&)>& condition) const {
        return emulator_->WaitFor(0, condition, kDeadline);
    }

    // Pumps the port into the handler until the condition holds (false after the deadline).
    static bool PumpUntil(const std::function<bool()>& condition, ReportHandlerFn handler = ReportHandler) {
        return WaitUntil(
            [&] {
                PumpPort(Context(), handler);
                return condition();
            },
            kWaitGuard, std::chrono::milliseconds(20));
    }

    static bool LinkCheck() {
        Context().linkState = kLinkCheckSent;
        SendLinkCheck(0);
        return PumpUntil([] { return Context().linkState == kLinkAnswered; });
    }

    // Requests the groups with the port in the given Operation Mode and waits until none is
    // still requested (or the deadline passes).
    static bool RequestGroups(uint8_t mode, const std::vector<int>& groups) {
        Context().operationMode = mode;
        for (const int groupNo : groups) {
            Context().groupStatus[static_cast<size_t>(groupNo - 1)] = kGroupRequested;
            SendRequest(groupNo, 0);
        }
        return PumpUntil([&] {
            for (const int groupNo : groups) {
                if (Context().groupStatus[static_cast<size_t>(groupNo - 1)] == kGroupRequested) return false;
            }
            return true;
        });
    }

    static std::vector<int> AllGroups() {
        std::vector<int> groups;
        for (int groupNo = 1; groupNo <= kGroupCount; ++groupNo) groups.push_back(groupNo);
        return groups;
    }

    static Bytes ImageGroup(int groupNo) {
        const SettingsGroupInfo& info = SettingsGroup(groupNo);
        return Bytes(SettingsImage.begin() + info.offset, SettingsImage.begin() + info.offset + info.length);
    }

    // The group as the program would hold it after loading it from the receiver's settings.
    static Bytes ExpectedImageGroup(const ReceiverSettings& settings, int groupNo) {
        const uint8_t* g = settings.Group(groupNo);
        if (groupNo == kGroup2DAltitude) return Bytes{0x00, g[0], g[1], g[2], g[3]};
        return Bytes(g, g + SettingsGroup(groupNo).length);
    }

    static void SendSets(const std::vector<int>& groups) {
        for (const int groupNo : groups) SendSet(groupNo, SettingsGroupBytes(groupNo), 0);
    }

    // A Break Reply probe as the load operation makes it: purge, break, then read what came.
    static bool ProbeAfterBreak(uint8_t* reply) {
        SerialPurgeReceive(1);
        SerialSendBreak(1, 400);
        return WaitUntil([&] { return ProbeBreakReply(reply, 0) == 1; }, kWaitGuard,
                         std::chrono::milliseconds(50));
    }

    std::unique_ptr<Emulator> emulator_;
};

using EmulatorThroughDriver = EmulatorDriver;
using EmulatorLine = EmulatorDriver;
using EmulatorFaults = EmulatorDriver;
