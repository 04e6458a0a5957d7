// A scripted device to put under a driver port (through SetSerialDeviceMaker): it answers as the
// test sets it up and records what the driver did to it. Every field is behind the line's mutex,
// since the port's I/O thread calls the device while the test reads the record.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/SerialDevice.h"
#include "serial/SerialTesting.h"
#include "support/WaitUntil.h"

struct FakeLine {
    std::mutex mutex;

    // Answers.
    bool openResult = true;
    bool queueSizesResult = true;
    bool getResult = true;
    bool setResult = true;
    bool statusResult = true;
    bool purgeInputResult = true;
    bool purgeOutputResult = true;
    bool closeResult = true;
    bool readError = false;
    int emptyReadsBeforeInput = 0;  // reads that find nothing before the input shows
    std::deque<int> writeScript;    // results of the next writes (−1 refused, 0 timed out); then all go
    int32_t outputCount = 0;        // what the device reports in its output queue
    bool arriving = false;          // every status read finds one more byte coming in
    std::deque<uint8_t> input;
    std::deque<uint8_t> inputOnBreak;  // moves to input when a break starts
    bool writeError = false;           // every write is refused
    DeviceLineSettings settings{9600, 0, 8, 0};

    // Record.
    std::string openedName;
    int opens = 0;
    int closes = 0;
    int32_t inputQueueSize = 0;
    int32_t outputQueueSize = 0;
    std::vector<DeviceLineSettings> settingsWritten;
    int statusReads = 0;
    int reads = 0;
    int waits = 0;
    int purgesInput = 0;
    int purgesOutput = 0;
    std::vector<bool> breakCalls;
    bool breakOn = false;
    bool readDuringBreak = false;
    std::vector<std::vector<uint8_t>> writes;
    std::vector<int> writeTimeouts;
    int interrupts = 0;
};

class FakeSerialDevice final : public SerialDevice {
  public:
    explicit FakeSerialDevice(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}

    bool Open(const std::string& name) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        line_->openedName = name;
        ++line_->opens;
        return line_->openResult;
    }
    bool SetQueueSizes(int32_t inputSize, int32_t outputSize) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        line_->inputQueueSize = inputSize;
        line_->outputQueueSize = outputSize;
        return line_->queueSizesResult;
    }
    bool GetLineSettings(DeviceLineSettings& settings) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        if (!line_->getResult) return false;
        settings = line_->settings;
        return true;
    }
    bool SetLineSettings(const DeviceLineSettings& settings) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        line_->settingsWritten.push_back(settings);
        if (!line_->setResult) return false;
        line_->settings = settings;
        return true;
    }
    bool QueueCounts(int32_t& inputCount, int32_t& outputCount) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        ++line_->statusReads;
        if (line_->arriving) line_->input.push_back(0xAA);
        if (!line_->statusResult) return false;
        inputCount = static_cast<int32_t>(line_->input.size());
        outputCount = line_->outputCount;
        return true;
    }
    int Read(uint8_t* buffer, int maxCount) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        ++line_->reads;
        if (line_->breakOn) line_->readDuringBreak = true;
        if (line_->readError) return -1;
        if (line_->emptyReadsBeforeInput > 0) {
            --line_->emptyReadsBeforeInput;
            return 0;
        }
        int count = 0;
        while (count < maxCount && !line_->input.empty()) {
            buffer[count++] = line_->input.front();
            line_->input.pop_front();
        }
        return count;
    }
    bool WaitReadable(int) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        ++line_->waits;
        return true;
    }
    int Write(const uint8_t* data, int count, int timeoutMs) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        line_->writeTimeouts.push_back(timeoutMs);
        if (line_->writeError) return -1;
        if (!line_->writeScript.empty()) {
            const int result = line_->writeScript.front();
            line_->writeScript.pop_front();
            return result;
        }
        line_->writes.emplace_back(data, data + count);
        return count;
    }
    bool PurgeInput() override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        ++line_->purgesInput;
        if (line_->purgeInputResult) line_->input.clear();
        return line_->purgeInputResult;
    }
    bool PurgeOutput() override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        ++line_->purgesOutput;
        return line_->purgeOutputResult;
    }
    bool SetBreak(bool on) override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        line_->breakCalls.push_back(on);
        line_->breakOn = on;
        if (on) {
            line_->input.insert(line_->input.end(), line_->inputOnBreak.begin(), line_->inputOnBreak.end());
            line_->inputOnBreak.clear();
        }
        return true;
    }
    bool Close() override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        ++line_->closes;
        return line_->closeResult;
    }
    void Interrupt() override {
        std::lock_guard<std::mutex> guard(line_->mutex);
        ++line_->interrupts;
    }

  private:
    std::shared_ptr<FakeLine> line_;
};

// Puts a fresh FakeLine under every port opened from now on; the destructor restores the normal
// choice of device.
class FakeDeviceScope {
  public:
    FakeDeviceScope() : line_(std::make_shared<FakeLine>()) {
        std::shared_ptr<FakeLine> line = line_;
        SetSerialDeviceMaker([line](const std::string&) { return std::make_unique<FakeSerialDevice>(line); });
    }
    ~FakeDeviceScope() { SetSerialDeviceMaker(nullptr); }
    FakeDeviceScope(const FakeDeviceScope&) = delete;
    FakeDeviceScope& operator=(const FakeDeviceScope&) = delete;

    FakeLine& Line() { return *line_; }
    // Reads or changes the line under its mutex.
    template <typename Fn>
    auto With(Fn fn) {
        std::lock_guard<std::mutex> guard(line_->mutex);
        return fn(*line_);
    }

  private:
    std::shared_ptr<FakeLine> line_;
};
