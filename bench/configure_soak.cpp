// Soak: configure runs back to back against 20 emulated receivers, each run with a fresh random
// mix of the emulator's faults (silent, a group that is ignored, a group that reads back different,
// a slow answer), checking every port's result against the fault it was given. At the end: runs,
// wrong results (goal 0), open descriptors and threads before and after (goal: equal), peak memory.
// Usage: configure_soak [SECONDS] (default 600) [SEED]
#include <dirent.h>
#include <sys/resource.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "link/PcSerialSettings.h"
#include "link/PortContext.h"
#include "operations/ConfigureReceivers.h"
#include "operations/LoadFromReceiver.h"
#include "operations/Operator.h"
#include "serial/Serial.h"
#include "settings/SettingsImage.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kReceivers = 20;

// Answers every question with OK and keeps the Port Results the summary would show.
class QuietOperator : public Operator {
  public:
    void Warning(const std::string&, const std::string&) override {}
    bool AskOkCancel(const std::string&, const std::string&) override { return true; }
    void SetBusy(bool) override {}
    void ShowConfigurationSummary() override {
        for (size_t i = 0; i < PortContexts.size(); ++i) results[i] = PortContexts[i].portResult;
    }
    void FocusSink() override {}
    std::array<uint8_t, kPortContextCount> results{};
};

enum class Fault { kNone, kSilent, kIgnore, kDiffer, kSlow };
constexpr const char* kFaultNames[] = {"none", "silent", "ignore", "differ", "slow"};

struct Injected {
    Fault fault = Fault::kNone;
    int group = 0;
};

uint8_t ExpectedResult(const Injected& injected) {
    switch (injected.fault) {
        case Fault::kSilent:
            return kResultNoAnswer;
        case Fault::kIgnore:
            return kResultGroupMissing;
        case Fault::kDiffer:
            return kResultGroupDiffers;
        case Fault::kNone:
        case Fault::kSlow:
            break;
    }
    return kResultSuccess;
}

int CountEntries(const char* folder) {
    DIR* dir = ::opendir(folder);
    if (dir == nullptr) return -1;
    int count = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
    return count;
}

long PeakKilobytes() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

std::unique_ptr<Emulator> StartReceiver(const Injected& injected) {
    EmulatorOptions options;
    options.count = 1;
    options.resetSilenceMs = 300;
    switch (injected.fault) {
        case Fault::kSilent:
            options.silent = true;
            break;
        case Fault::kIgnore:
            options.faults.ignore[static_cast<size_t>(injected.group)] = true;
            break;
        case Fault::kDiffer:
            options.faults.differ[static_cast<size_t>(injected.group)] = true;
            break;
        case Fault::kSlow:
            options.latencyMs = 150;
            break;
        case Fault::kNone:
            break;
    }
    auto emulator = std::make_unique<Emulator>(options);
    std::string error;
    if (!emulator->Start(error)) {
        std::fprintf(stderr, "emulator: %s\n", error.c_str());
        return nullptr;
    }
    return emulator;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
    const unsigned seed = argc > 2 ? static_cast<unsigned>(std::atoi(argv[2])) : 2026u;
    std::mt19937 random(seed);
    QuietOperator op;
    StorePcSerialSettingsDefaults();
    PcSerialSettings[kPortRecordParity] = kParityCodeNone;  // 9600 8 none 1, as the receivers run

    // The image written in every run: a healthy receiver's own settings.
    {
        auto source = StartReceiver({});
        if (!source) return 1;
        SerialSetDeviceName(1, source->DeviceName(0));
        SettingsImage.fill(0);
        LoadFromReceiver(0, op);
    }

    const int descriptorsBefore = CountEntries("/proc/self/fd");
    const int threadsBefore = CountEntries("/proc/self/task");
    const Clock::time_point end = Clock::now() + std::chrono::seconds(seconds);
    int runs = 0;
    int wrong = 0;
    int ports = 0;
    while (Clock::now() < end) {
        std::vector<Injected> injected(kReceivers);
        std::vector<std::unique_ptr<Emulator>> receivers;
        for (int i = 0; i < kReceivers; ++i) {
            injected[static_cast<size_t>(i)].fault = static_cast<Fault>(random() % 5);
            injected[static_cast<size_t>(i)].group = 1 + static_cast<int>(random() % kGroupCount);
            receivers.push_back(StartReceiver(injected[static_cast<size_t>(i)]));
            if (!receivers.back()) return 1;
            SerialSetDeviceName(static_cast<uint8_t>(i + 1), receivers.back()->DeviceName(0));
        }
        for (int i = 0; i < kPortContextCount; ++i)
            PortContexts[static_cast<size_t>(i)].operationMode =
                i < kReceivers ? kModeConfiguring : kModeIdle;
        op.results.fill(0);
        ConfigureReceivers(op);
        ++runs;
        for (int i = 0; i < kReceivers; ++i) {
            const uint8_t expected = ExpectedResult(injected[static_cast<size_t>(i)]);
            const uint8_t got = op.results[static_cast<size_t>(i)];
            ++ports;
            if (got != expected) {
                ++wrong;
                std::printf("run %d, Comm %d (%s, group %d): result %d, expected %d\n", runs, i + 1,
                            kFaultNames[static_cast<int>(injected[static_cast<size_t>(i)].fault)],
                            injected[static_cast<size_t>(i)].group, got, expected);
            }
        }
        receivers.clear();
        std::fflush(stdout);
    }
    const int descriptorsAfter = CountEntries("/proc/self/fd");
    const int threadsAfter = CountEntries("/proc/self/task");
    std::printf("soak: %d runs of %d receivers (%d ports) in %d s, seed %u\n", runs, kReceivers, ports,
                seconds, seed);
    std::printf("soak: wrong results %d (goal 0)\n", wrong);
    std::printf("soak: open descriptors %d before, %d after (goal: equal)\n", descriptorsBefore,
                descriptorsAfter);
    std::printf("soak: threads %d before, %d after (goal: equal)\n", threadsBefore, threadsAfter);
    std::printf("soak: peak memory %.1f MB\n", static_cast<double>(PeakKilobytes()) / 1024.0);
    return wrong == 0 && descriptorsBefore == descriptorsAfter && threadsBefore == threadsAfter ? 0 : 1;
}
