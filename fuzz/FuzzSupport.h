// What the fuzz targets share: a port of the real Serial Port Driver that receives exactly the bytes
// a target puts on it, the read-size cutter, and a settings view without a window.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "settings/MemorySettingsView.h"

// Comm port 1 (Port Context 0), opened Threaded once per process on a device that never delivers
// anything by itself; false when it could not be opened.
constexpr uint8_t kFuzzPort = 1;
bool FuzzPortReady();
// Stores the bytes in the port's Receive Ring as its I/O thread stores received bytes. At most
// kFuzzMaxRead bytes at a time, so that one read of the ring takes them all.
constexpr size_t kFuzzMaxRead = 4095;
void FuzzPortReceive(const uint8_t* data, size_t count);

// The sizes of successive reads, from a seed: mostly a few bytes, sometimes hundreds, now and then a
// whole ring's worth. The same seed gives the same cuts.
class ReadCutter {
  public:
    explicit ReadCutter(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    size_t Next();

  private:
    uint64_t Random();
    uint64_t state_;
};

// The shared window-less settings view (settings/MemorySettingsView.h): a control name it does not
// know, or a control used as a kind it is not, breaks the target's rule.
class FuzzSettingsView final : public MemorySettingsView {
  public:
    explicit FuzzSettingsView(const char* target) : target_(target) {}

  protected:
    void BadControl(std::string_view control, ControlFault fault) const override;

  private:
    const char* target_;
};
