// Every Settings Command through PacketSend and the serial driver to the line (a pty master).
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "link/PortContext.h"
#include "messages/CommandRows.h"
#include "serial/Serial.h"
#include "support/Pty.h"

namespace {

using namespace command_rows;

class CommandsOnTheLine : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(line.IsOpen());
        ASSERT_TRUE(SerialSetDeviceName(kCommIndex + 1, line.SlavePath()));
        ASSERT_EQ(OpenPortContext(PortContexts[kCommIndex], kCommIndex + 1), 1);
    }
    void TearDown() override {
        SerialCloseAll();
        SerialResetDeviceNames();
    }
    static constexpr int16_t kCommIndex = 11;  // Comm 12
    PtyPair line;
};

TEST_F(CommandsOnTheLine, EveryCommandLeavesAsItsGoldenFrameInCallOrder) {
    Bytes expected;
    for (const CommandRow& row : AllCommandRows()) {
        row.send(row.group.empty() ? nullptr : row.group.data(), kCommIndex);
        expected.insert(expected.end(), row.frame.begin(), row.frame.end());
    }
    EXPECT_EQ(line.Read(expected.size()), expected);
    EXPECT_TRUE(line.Read(1, std::chrono::milliseconds(300)).empty());
}

TEST_F(CommandsOnTheLine, CommIndexOutsideTheTableSendsNothing) {
    SendLinkCheck(-1);
    SendLinkCheck(20);
    SendRequest(3, 32767);
    SendCommand8E45(kCommIndex);
    EXPECT_EQ(line.Read(6), (Bytes{0x10, 0x8E, 0x45, 0x06, 0x10, 0x03}));
    EXPECT_TRUE(line.Read(1, std::chrono::milliseconds(300)).empty());
}

}  // namespace
