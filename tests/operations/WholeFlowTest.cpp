// The operator's whole road once: load from one receiver, save the settings to a file, load the
// file, configure two other receivers from it side by side. And loads from receivers whose Port B
// runs at other line settings, learnt from their Break Reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <deque>
#include <mutex>

#include "bytes/ByteOrder.h"
#include "operations/ConfigureReceivers.h"
#include "operations/LoadFromReceiver.h"
#include "operations/SummaryTables.h"
#include "serial/SerialTesting.h"
#include "serial/network/NetworkDevice.h"
#include "settings/SettingsFile.h"
#include "support/RecordingOperator.h"
#include "tests/operations/EmulatorSupport.h"

namespace {

class WholeFlowTest : public EndToEndTest {};

TEST_F(WholeFlowTest, LoadSaveLoadFileAndConfigureTwoReceivers) {
    ASSERT_EQ(Start({}, {1}), 0);     // A
    ASSERT_EQ(Start({}, {2, 3}), 1);  // B and C, set up differently from A
    const ReceiverSettings a = Emu(0).Status(0).current;
    ReceiverSettings other = a;
    PutSingleBE(120.0f, other.Group(kGroup2DAltitude));
    other.Group(kGroupNMEAOutput)[1] = 5;
    PutDoubleBE(2.0e-5, other.Group(kGroupPPSWidth) + 1);
    other.Group(kGroupTimingOutputOptions)[1] = 1;
    Emu(1).SetCurrentSettings(0, other);
    Emu(1).SetCurrentSettings(1, other);

    RecordingOperator loadOp;
    ASSERT_EQ(LoadFromReceiver(0, loadOp), 1);
    EXPECT_TRUE(loadOp.Log().empty());

    const std::string path = logPath + ".dat";
    std::string error;
    ASSERT_TRUE(SaveSettingsImage(path, error)) << error;
    const auto loaded = SettingsImage;
    SettingsImage.fill(0);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    LoadSettingsFromFile(file);
    std::fclose(file);
    std::remove(path.c_str());
    ASSERT_EQ(SettingsImage, loaded);

    PortContexts[1].operationMode = kModeConfiguring;
    PortContexts[2].operationMode = kModeConfiguring;
    RecordingOperator op;
    SummarySnapshot summary;
    op.ExpectSummary([&] { summary.Take(); });
    ConfigureReceivers(op);
    ASSERT_TRUE(summary.taken);
    EXPECT_STREQ(PortResultText(summary.results[1]), "Configuration was successful.");
    EXPECT_STREQ(PortResultText(summary.results[2]), "Configuration was successful.");
    // B and C saved what the set commands carried: A's settings.
    for (int k = 0; k < 2; ++k) {
        const ReceiverStatus status = Emu(1).Status(k);
        for (int g = 1; g <= kGroupCount; ++g) {
            EXPECT_EQ(status.saved.groups[static_cast<size_t>(g - 1)], a.groups[static_cast<size_t>(g - 1)])
                << "receiver " << k << " group " << g;
        }
    }
}

// A network serial port whose receiver sends its Break Reply at 9600 8 none 1 whatever its Port B
// line: the reply is added to what the line delivers once the break ends. (The emulator sends it
// at the Port B settings, where a PC port at 9600 8 none 1 cannot read it.)
class BreakReplyAt9600 : public SerialDevice {
  public:
    BreakReplyAt9600(std::string replyText, std::shared_ptr<std::vector<uint8_t>> writtenBytes)
        : device(CreateNetworkDevice()), reply(std::move(replyText)), written(std::move(writtenBytes)) {}
    bool Open(const std::string& name) override { return device->Open(name); }
    bool SetQueueSizes(int32_t in, int32_t out) override { return device->SetQueueSizes(in, out); }
    bool GetLineSettings(DeviceLineSettings& s) override { return device->GetLineSettings(s); }
    bool SetLineSettings(const DeviceLineSettings& s) override { return device->SetLineSettings(s); }
    bool QueueCounts(int32_t& in, int32_t& out) override {
        const bool ok = device->QueueCounts(in, out);
        std::lock_guard<std::mutex> guard(mutex);
        in += static_cast<int32_t>(pending.size());
        return ok;
    }
    int Read(uint8_t* buffer, int maxCount) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (!pending.empty()) {
                int n = 0;
                while (n < maxCount && !pending.empty()) {
                    buffer[n++] = pending.front();
                    pending.pop_front();
                }
                return n;
            }
        }
        return device->Read(buffer, maxCount);
    }
    bool WaitReadable(int timeoutMs) override {
        {
            std::lock_guard<std::mutex> guard(mutex);
            if (!pending.empty()) return true;
        }
        return device->WaitReadable(timeoutMs);
    }
    int Write(const uint8_t* data, int count, int timeoutMs) override {
        const int n = device->Write(data, count, timeoutMs);
        std::lock_guard<std::mutex> guard(mutex);
        if (n > 0) written->insert(written->end(), data, data + n);
        return n;
    }
    bool PurgeInput() override {
        std::lock_guard<std::mutex> guard(mutex);
        pending.clear();
        return device->PurgeInput();
    }
    bool PurgeOutput() override { return device->PurgeOutput(); }
    bool SetBreak(bool on) override {
        const bool ok = device->SetBreak(on);
        if (!on) {
            std::lock_guard<std::mutex> guard(mutex);
            pending.insert(pending.end(), reply.begin(), reply.end());
        }
        return ok;
    }
    bool Close() override { return device->Close(); }
    void Interrupt() override { device->Interrupt(); }

  private:
    std::unique_ptr<SerialDevice> device;
    std::string reply;
    std::shared_ptr<std::vector<uint8_t>> written;  // everything the PC put on the line
    std::mutex mutex;
    std::deque<uint8_t> pending;
};

class BreakReplyLoadTest : public EndToEndTest {
  protected:
    void UseReplyAt9600(const PortLine& portB) {
        const std::string text = BreakReplyText(portB);
        auto bytes = written;
        SetSerialDeviceMaker([text, bytes](const std::string&) -> std::unique_ptr<SerialDevice> {
            return std::make_unique<BreakReplyAt9600>(text, bytes);
        });
    }
    void TearDown() override {
        EndToEndTest::TearDown();
        SetSerialDeviceMaker({});
    }
    bool WroteFrame(const std::vector<uint8_t>& frame) const {
        return std::search(written->begin(), written->end(), frame.begin(), frame.end()) != written->end();
    }
    std::shared_ptr<std::vector<uint8_t>> written = std::make_shared<std::vector<uint8_t>>();
};

// 4800 8 odd 1: Set Port Configuration for Port B carries codes 6, 6, 3, 1, 0 and protocols 2 and
// 2; the PC port then runs at 4800 8 odd 1 and the load succeeds there.
TEST_F(BreakReplyLoadTest, ReplyAt4800OddSetsPortBAndSwitchesThePcPort) {
    EmulatorOptions options;
    options.portB = {4800, 8, 1, 1};
    ASSERT_EQ(Start(options, {6}), 0);
    UseReplyAt9600(options.portB);
    RecordingOperator op;
    EXPECT_EQ(LoadFromReceiver(5, op), 1);
    EXPECT_TRUE(op.Log().empty());
    const ReceiverStatus status = Emu().Status(0);
    EXPECT_EQ(status.pcSide, (PortLine{4800, 8, 1, 1}));
    // The image holds the receiver's Port B at 4800 odd, loaded over the switched line.
    const uint8_t* portB = SettingsGroupBytes(kGroupPortBConfiguration);
    EXPECT_EQ(portB[1], 6);
    EXPECT_EQ(portB[4], 1);
    EXPECT_EQ(SettingsImage[static_cast<size_t>(SettingsGroup(kGroupPortAConfiguration).offset) + 1], 6);
    EXPECT_TRUE(
        WroteFrame({0x10, 0xBC, 0x01, 0x06, 0x06, 0x03, 0x01, 0x00, 0x00, 0x02, 0x02, 0x00, 0x10, 0x03}));
    // Break, Link Check, one probe, the set command's two waits, the answered Link Check pass, the
    // request pass and the empty one.
    EXPECT_EQ(OperationWaits(), (std::vector<int>{500, 500, 500, 500, 500, 500, 500, 500}));
}

// 600 baud: Error 12, then the requests go out at 9600 8 none 1 (and find nobody there).
TEST_F(BreakReplyLoadTest, ReplyAt600IsError12ThenTheLoadGoesOnAt9600None) {
    EmulatorOptions options;
    options.portB = {600, 8, 0, 1};
    ASSERT_EQ(Start(options, {9}), 0);
    UseReplyAt9600(options.portB);
    RecordingOperator op;
    op.ExpectWarning(
        "Error 12",
        "Port B of the receiver connected to com  9 is currently operating with a serial configuration "
        "with which this application cannot effectively communicate.  The application will attempt to "
        "set the receiver to 9600 8 NONE 1.");
    op.ExpectWarning("Error 30",
                     "The settings could not be retrieved from the receiver \nconnected to Comm  9.");
    EXPECT_EQ(LoadFromReceiver(8, op), 1);
    EXPECT_TRUE(op.ScriptDone());
    EXPECT_EQ(Emu().Status(0).pcSide, (PortLine{9600, 8, 0, 1}));
    EXPECT_FALSE(WroteFrame({0x10, 0xBC, 0x01, 0x03, 0x03}));  // no command to change the receiver's settings
    EXPECT_TRUE(WroteFrame({0x10, 0xBC, 0x01, 0x10, 0x03}));   // only its request
    // No Link Check pass after Error 12: the eight request passes follow the probe at once.
    std::vector<int> waits = {500, 500, 500};
    waits.insert(waits.end(), 8, 500);
    EXPECT_EQ(OperationWaits(), waits);
}

}  // namespace
