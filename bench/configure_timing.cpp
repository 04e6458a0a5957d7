// End-to-end timing of the long operations against emulated receivers on RFC 2217 loopback
// ports: configuring 1 and then 20 receivers side by side (the ports run in parallel, so the two
// wall times should be nearly equal; goal: ratio at most 1.05), and one load against the sum of
// the waits it makes (goal: at most 1.05). Usage: configure_timing [receivers]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "operations/ConfigureReceivers.h"
#include "operations/LoadFromReceiver.h"
#include "operations/OperationWait.h"
#include "operations/Operator.h"
#include "serial/Serial.h"
#include "settings/SettingsImage.h"

namespace {

using Clock = std::chrono::steady_clock;

// Prints what a person would be shown; the summary line per port.
class PrintingOperator : public Operator {
  public:
    void Warning(const std::string& title, const std::string& text) override {
        std::printf("  [%s] %s\n", title.c_str(), text.c_str());
    }
    bool AskOkCancel(const std::string& title, const std::string&) override {
        std::printf("  [%s] OK\n", title.c_str());
        return true;
    }
    void SetBusy(bool) override {}
    void ShowConfigurationSummary() override {
        int success = 0, other = 0;
        for (const auto& context : PortContexts) {
            if (context.portResult == kResultSuccess)
                ++success;
            else if (context.portResult != kResultNotInRun)
                ++other;
        }
        std::printf("  summary: %d successful, %d not\n", success, other);
    }
    void FocusSink() override {}
};

constexpr int kRuns = 3;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

// A receiver takes one client at a time: let it notice that the last run closed its port.
void AwaitDisconnected(const Emulator& emulator) {
    for (int i = 0; i < emulator.Count(); ++i)
        emulator.WaitFor(
            i, [](const ReceiverStatus& s) { return !s.connected; }, std::chrono::seconds(5));
}

double TimeConfigure(const Emulator& emulator, int receivers, Operator& op) {
    AwaitDisconnected(emulator);
    for (auto& context : PortContexts) context.operationMode = kModeIdle;
    for (int i = 0; i < receivers; ++i) PortContexts[static_cast<size_t>(i)].operationMode = kModeConfiguring;
    ResetOperationWaits();
    const auto start = Clock::now();
    ConfigureReceivers(op);
    const double wall = Seconds(Clock::now() - start);
    const double waits = static_cast<double>(OperationWaitTotal()) / 1000.0;
    std::printf("configure %2d receiver(s): %.3f s wall, %.3f s of waits (%zu), %.3f s besides the waits\n",
                receivers, wall, waits, OperationWaits().size(), wall - waits);
    return wall;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::atoi(argv[1]) : 20;
    if (count < 1 || count > kPortContextCount) {
        std::fprintf(stderr, "usage: configure_timing [receivers 1..20]\n");
        return 2;
    }
    EmulatorOptions options;
    options.count = count;
    Emulator emulator(options);
    std::string error;
    if (!emulator.Start(error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return 1;
    }
    for (int i = 0; i < count; ++i) SerialSetDeviceName(static_cast<uint8_t>(i + 1), emulator.DeviceName(i));
    StorePcSerialSettingsDefaults();
    PcSerialSettings[kPortRecordParity] =
        kParityCodeNone;  // 9600 8 none 1, as the receivers run: the first Link Check series answers
    PrintingOperator op;

    // A load first: it also fills the image the configure runs write back.
    SettingsImage.fill(0);
    ResetOperationWaits();
    const auto start = Clock::now();
    LoadFromReceiver(0, op);
    const double loadWall = Seconds(Clock::now() - start);
    const double loadWaits =
        static_cast<double>(OperationWaitTotal() + 400) / 1000.0;  // the 400 ms break included
    std::printf("load: %.3f s wall, %.3f s of fixed waits and break, ratio %.3f (goal <= 1.05)\n", loadWall,
                loadWaits, loadWall / loadWaits);

    // A run that needs one more 500 ms pass (a reply landing just after a pump) moves one wall time
    // by about 6 %: compare the medians of a few alternating runs, not a single pair.
    std::vector<double> ones;
    std::vector<double> manys;
    for (int run = 0; run < kRuns; ++run) {
        ones.push_back(TimeConfigure(emulator, 1, op));
        manys.push_back(TimeConfigure(emulator, count, op));
    }
    const double one = Median(ones);
    const double many = Median(manys);
    std::printf("configure medians of %d runs: 1 receiver %.3f s, %d receivers %.3f s\n", kRuns, one, count,
                many);
    std::printf("configure %d vs 1: ratio %.3f (goal <= 1.05)\n", count, many / one);
    emulator.Stop();
    return 0;
}
