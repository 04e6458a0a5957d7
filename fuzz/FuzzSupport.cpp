#include "fuzz/FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "fuzz/FuzzTargets.h"
#include "link/PortContext.h"
#include "serial/Serial.h"
#include "serial/SerialTesting.h"

namespace {

FuzzFailureHandler failureHandler = nullptr;

// A line on which nothing arrives and everything written goes: the target alone decides what the
// port receives.
class QuietDevice final : public SerialDevice {
  public:
    bool Open(const std::string&) override { return true; }
    bool SetQueueSizes(int32_t, int32_t) override { return true; }
    bool GetLineSettings(DeviceLineSettings& settings) override {
        settings = line_;
        return true;
    }
    bool SetLineSettings(const DeviceLineSettings& settings) override {
        line_ = settings;
        return true;
    }
    bool QueueCounts(int32_t& inputCount, int32_t& outputCount) override {
        inputCount = 0;
        outputCount = 0;
        return true;
    }
    int Read(uint8_t*, int) override { return 0; }
    bool WaitReadable(int) override { return false; }
    int Write(const uint8_t*, int count, int) override { return count; }
    bool PurgeInput() override { return true; }
    bool PurgeOutput() override { return true; }
    bool SetBreak(bool) override { return true; }
    bool Close() override { return true; }

  private:
    DeviceLineSettings line_{9600, 0, 8, 0};
};

}  // namespace

void SetFuzzFailureHandler(FuzzFailureHandler handler) {
    failureHandler = handler;
}

void FuzzCheck(bool holds, const char* target, const char* rule) {
    if (holds) return;
    if (failureHandler != nullptr) {
        failureHandler(target, rule);
        return;
    }
    std::fprintf(stderr, "fuzz target %s: rule broken: %s\n", target, rule);
    std::abort();
}

bool FuzzPortReady() {
    static const bool ready = [] {
        SetSerialDeviceMaker([](const std::string&) { return std::make_unique<QuietDevice>(); });
        const bool opened = OpenPortContext(PortContexts[kFuzzPort - 1], kFuzzPort) != 0;
        SetSerialDeviceMaker(nullptr);
        // Closed before the port table goes away: its I/O thread must be stopped and joined.
        if (opened) std::atexit([] { SerialClose(kFuzzPort); });
        return opened;
    }();
    return ready;
}

void FuzzPortReceive(const uint8_t* data, size_t count) {
    for (size_t i = 0; i < count && i < kFuzzMaxRead; ++i) SerialStoreReceivedByte(kFuzzPort, data[i]);
}

uint64_t ReadCutter::Random() {
    // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

size_t ReadCutter::Next() {
    const uint64_t r = Random();
    switch (r % 8) {
        case 0:
            return 1;
        case 1:
        case 2:
        case 3:
            return 1 + static_cast<size_t>((r >> 8) % 16);
        case 4:
        case 5:
        case 6:
            return 1 + static_cast<size_t>((r >> 8) % 512);
        default:
            return 1 + static_cast<size_t>((r >> 8) % kFuzzMaxRead);
    }
}

void FuzzSettingsView::BadControl(std::string_view, ControlFault fault) const {
    FuzzCheck(fault != ControlFault::kUnknown, target_,
              "display and capture use only controls of the control tables");
    FuzzCheck(fault != ControlFault::kWrongKind, target_,
              "display and capture use each control as the kind it is");
}
